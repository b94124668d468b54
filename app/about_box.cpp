// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "app/app_state.h"
#include "app/main_window.h"
#include "res/resource.h"

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    case IDC_WEB_BUTTON: {
      std::wstring page;
      if (LoadResourceString(&page, IDS_WEB_PAGE) != 0)
        ShellExecuteW(dialog, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return TRUE;
    }
    default:
      return FALSE;
  }
}
