// Fitting a drop-down list to its entries, on real combo boxes.
#include "devices/drop_down_fit.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/scoped.h"
#include "tests/support/kit/preview_graph.h"

namespace {

// Records the height of the first size request the combo box receives (the fit's MoveWindow; the
// combo box may adjust itself afterwards).
LRESULT CALLBACK RecordHeight(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* height = reinterpret_cast<LONG*>(data);
  if (message == WM_WINDOWPOSCHANGING && (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_NOSIZE) == 0 &&
      *height == 0)
    *height = reinterpret_cast<WINDOWPOS*>(lParam)->cy;
  return DefSubclassProc(window, message, wParam, lParam);
}

struct Combo {
  testsupport::TestWindow parent{300, 200};
  HWND combo = CreateWindowW(L"ComboBox", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 10, 10, 60, 30,
                             parent.handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  // A font of the combo box's own, unlike the window system's: the fit must measure with it.
  HFONT font;
  LONG requestedHeight = 0;
  explicit Combo(const std::vector<std::wstring>& entries, int fontHeight = -25)
      : font(CreateFontW(fontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial")) {
    SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const auto& entry : entries) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SetWindowSubclass(combo, RecordHeight, 1, reinterpret_cast<DWORD_PTR>(&requestedHeight));
  }
  ~Combo() {
    RemoveWindowSubclass(combo, RecordHeight, 1);
    DestroyWindow(combo);
    DeleteObject(font);
  }
  RECT Dropped() const {
    RECT rect{};
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect;
  }
  LONG DroppedWidth() const { return static_cast<LONG>(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0)); }
  // What the widest entry measures in the combo box's own font, and the height of a line of it.
  void Measure(const std::vector<std::wstring>& entries, LONG* widest, LONG* lineHeight) const {
    scoped::WindowDC context(combo);
    SelectObject(context.get(), font);
    *widest = 0;
    for (const auto& entry : entries) {
      SIZE extent{};
      GetTextExtentPoint32W(context.get(), entry.c_str(), static_cast<int>(entry.size()), &extent);
      if (extent.cx > *widest) *widest = extent.cx;
    }
    TEXTMETRICW metrics{};
    GetTextMetricsW(context.get(), &metrics);
    *lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
  }
};

TEST(DropDownFit, ListBecomesAsWideAsItsWidestEntryPlusAScrollBarAndTallForItsEntries) {
  const std::vector<std::wstring> entries = {L"Video Composite", L"Video SVideo with a much longer name", L"Tuner"};
  Combo box(entries);
  LONG widest = 0, lineHeight = 0;
  box.Measure(entries, &widest, &lineHeight);
  RECT before{};
  GetWindowRect(box.combo, &before);
  FitDropDownWidth(box.parent.handle(), box.combo);
  EXPECT_EQ(box.DroppedWidth(), widest + GetSystemMetrics(SM_CXVSCROLL));
  // Wine's combo box sizes its dropped list itself; the height asked for is read from the request.
  EXPECT_EQ(box.requestedHeight, lineHeight * (3 + 2)) << "a line for each entry and two more";
  RECT after{};
  GetWindowRect(box.combo, &after);
  EXPECT_EQ(box.Dropped().top, after.top);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.right - after.left, before.right - before.left) << "the closed width stays";
}

// A window made unaware of scale is drawn at 100 % whatever the screen's scale: so is its list's
// scroll bar.
TEST(DropDownFit, TheScrollBarIsMeasuredAtItsWindowsScale) {
  const DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_UNAWARE);
  const std::vector<std::wstring> entries = {L"Camera"};
  Combo box(entries);
  SetThreadDpiAwarenessContext(previous);
  LONG widest = 0, lineHeight = 0;
  box.Measure(entries, &widest, &lineHeight);
  FitDropDownWidth(box.parent.handle(), box.combo);
  EXPECT_EQ(box.DroppedWidth(), widest + GetSystemMetricsForDpi(SM_CXVSCROLL, 96));
}

TEST(DropDownFit, MoreThanThirtyEntriesAllShowWhenTheListDrops) {
  std::vector<std::wstring> entries;
  for (int i = 1; i <= 40; ++i) entries.push_back(L"Camera " + std::to_wstring(i));
  Combo box(entries, -12);  // forty lines of it fit the screen at every scale
  FitDropDownWidth(box.parent.handle(), box.combo);
  SendMessageW(box.combo, CB_SHOWDROPDOWN, TRUE, 0);
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetComboBoxInfo(box.combo, &info));
  RECT list{};
  GetWindowRect(info.hwndList, &list);
  const LONG line = static_cast<LONG>(SendMessageW(box.combo, CB_GETITEMHEIGHT, 0, 0));
  SendMessageW(box.combo, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_GE(list.bottom - list.top, 40 * line) << "no entry scrolled out of sight";
}

TEST(DropDownFit, EmptyOrBlankListsAreLeftUntouched) {
  for (const auto& entries : {std::vector<std::wstring>{}, std::vector<std::wstring>{L"", L""}}) {
    Combo box(entries);
    SendMessageW(box.combo, CB_SETDROPPEDWIDTH, 250, 0);  // wider than the combo box: a narrower fit would show
    const RECT dropped = box.Dropped();
    FitDropDownWidth(box.parent.handle(), box.combo);
    EXPECT_EQ(box.DroppedWidth(), 250);
    EXPECT_EQ(box.Dropped().bottom, dropped.bottom);
    EXPECT_EQ(box.requestedHeight, 0) << "not resized";
  }
}

}  // namespace
