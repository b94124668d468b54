#include "devices/drop_down_fit.h"

#include <commctrl.h>

#include <memory>
#include <new>

#include "base/scoped.h"

namespace {

// A vertical scroll bar's width at `window`'s own scale (100 % for a window unaware of scale,
// whatever its monitor's); Windows before 10's 1607 release has no metric for a given scale, and
// the fallback measures at the process's scale.
int ScrollBarWidthFor(HWND window) {
  using MetricForDpi = int(WINAPI*)(int, UINT);
  using DpiOfWindow = UINT(WINAPI*)(HWND);
  HMODULE user = GetModuleHandleW(L"user32.dll");
  const auto metricForDpi =
      reinterpret_cast<MetricForDpi>(reinterpret_cast<void*>(GetProcAddress(user, "GetSystemMetricsForDpi")));
  const auto dpiOfWindow =
      reinterpret_cast<DpiOfWindow>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
  if (metricForDpi == nullptr || dpiOfWindow == nullptr) return GetSystemMetrics(SM_CXVSCROLL);
  return metricForDpi(SM_CXVSCROLL, dpiOfWindow(window));
}

}  // namespace

void FitDropDownWidth(HWND dialog, HWND combo) {
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  if (count <= 0) return;
  LRESULT longest = 0;
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length > longest) longest = length;
  }
  if (longest == 0) return;
  std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[static_cast<size_t>(longest) + 1]);
  if (text == nullptr) return;

  LONG height = 0, widest = 0;
  {
    scoped::WindowDC measuring(combo);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(combo, WM_GETFONT, 0, 0));
    // Never selected back: the combo box's class has no private device context, and a common one
    // forgets what was selected in it when it is released.
    if (font != nullptr) SelectObject(measuring.get(), font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(measuring.get(), &metrics);
    height = (metrics.tmHeight + metrics.tmExternalLeading) * static_cast<LONG>(count + 2);
    for (LRESULT i = 0; i < count; ++i) {
      // An entry that grew since it was measured would not fit the buffer: skip it.
      if (SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) > longest) continue;
      const LRESULT length =
          SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.get()));
      SIZE extent{};
      if (length >= 0 && GetTextExtentPoint32W(measuring.get(), text.get(), static_cast<int>(length), &extent) &&
          extent.cx > widest)
        widest = extent.cx;
    }
  }
  const LONG width = widest + ScrollBarWidthFor(combo);
  SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
  RECT window{}, dropped{};
  GetWindowRect(combo, &window);
  SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  POINT topLeft = {dropped.left, dropped.top};
  ScreenToClient(dialog, &topLeft);
  MoveWindow(combo, topLeft.x, topLeft.y, window.right - window.left, height, TRUE);
  // The common controls' own combo box (version 6, which the manifest selects) shows at most 30
  // entries whatever height it is given, unless told how many to show.
  SendMessageW(combo, CB_SETMINVISIBLE, static_cast<WPARAM>(count), 0);
}
