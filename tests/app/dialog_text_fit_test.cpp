// Every static text and button caption of the program's dialogs fits its control in the control's
// own font: nothing of a line is wrapped away or cut.
#include <gtest/gtest.h>

#include <string>

#include "base/scoped.h"
#include "controls/input_dialog.h"
#include "devices/source_dialog.h"
#include "res/resource.h"
#include "tests/support/app/app_fixture.h"

using testsupport::AppTest;

namespace {

struct Misfit {
  std::wstring text;
  LONG textWidth, controlWidth;
};

// What a button's or group box's frame takes from the width its caption can use.
constexpr LONG kFrameMargin = 8;

BOOL CALLBACK CheckControl(HWND control, LPARAM parameter) {
  wchar_t className[16] = L"", text[256] = L"";
  GetClassNameW(control, className, 16);
  GetWindowTextW(control, text, 256);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  const bool isStatic = lstrcmpiW(className, L"Static") == 0, isButton = lstrcmpiW(className, L"Button") == 0;
  if ((!isStatic && !isButton) || text[0] == L'\0' || (isStatic && (style & SS_TYPEMASK) == SS_BITMAP)) return TRUE;
  RECT measured = {0, 0, 0, 0};
  {
    scoped::WindowDC context(control);
    SelectObject(context.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const UINT prefix = isStatic && (style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0;
    DrawTextW(context.get(), text, -1, &measured, DT_CALCRECT | DT_SINGLELINE | prefix);
  }
  RECT client{};
  GetClientRect(control, &client);
  const LONG usable = client.right - (isButton ? kFrameMargin : 0);
  // Each of these controls holds one line: a text wider than it wraps, and the rest is hidden.
  if (measured.right > usable)
    reinterpret_cast<std::vector<Misfit>*>(parameter)->push_back({text, measured.right, usable});
  return TRUE;
}

std::vector<Misfit> MisfitsOf(UINT templateId, DLGPROC procedure) {
  HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), g_mainWindow, procedure, 0);
  EXPECT_NE(dialog, nullptr) << templateId;
  std::vector<Misfit> misfits;
  EnumChildWindows(dialog, CheckControl, reinterpret_cast<LPARAM>(&misfits));
  DestroyWindow(dialog);
  return misfits;
}

class DialogText : public AppTest {};

TEST_F(DialogText, EveryTextAndCaptionFitsItsControl) {
  for (const auto& [id, procedure] : {std::pair<UINT, DLGPROC>{IDD_ABOUT, AboutDialogProc},
                                      {IDD_INPUT, InputDialogProc},
                                      {IDD_SELECT_SOURCE, SourceDialogProc}}) {
    for (const Misfit& misfit : MisfitsOf(id, procedure))
      ADD_FAILURE() << "dialog " << id << ": " << testing::PrintToString(misfit.text) << " needs " << misfit.textWidth
                    << " pixels, its control offers " << misfit.controlWidth;
  }
}

}  // namespace
