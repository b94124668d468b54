#include "controls/input_dialog.h"

#include <string>

#include "app/app_state.h"
#include "capture/capture_device.h"
#include "devices/drop_down_fit.h"
#include "res/resource.h"

namespace {

CrossbarRouter* g_inputRouter = nullptr;  // the router of the one open input dialog

void FillInputList(HWND dialog, CrossbarRouter* router) {
  HWND combo = GetDlgItem(dialog, IDC_INPUT_LIST);
  if (combo == nullptr) return;
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  LONG count = 0;
  static_cast<void>(router->Count(&count));
  for (LONG i = 0; i < count; ++i) {
    LONG type = 0;
    if (FAILED(router->InputType(i, &type))) break;
    std::wstring name;
    CrossbarRouter::TypeName(type, name);
    const LRESULT item = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (item == CB_ERR) break;
    SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(type));
  }
  FitDropDownWidth(dialog, combo);
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  LONG current = 0;
  if (SUCCEEDED(router->InputType(router->current, &current))) {
    std::wstring name;
    CrossbarRouter::TypeName(current, name);
    SendMessageW(combo, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
}

}  // namespace

bool CaptureDevice::HasCrossbarInputs() {
  LONG count = 0;
  return SUCCEEDED(crossbarRouter.Count(&count)) && count >= 1;
}

HRESULT CaptureDevice::ShowInputDialog(HWND owner) { return RunInputDialog(&crossbarRouter, owner) ? S_OK : E_FAIL; }

bool RunInputDialog(CrossbarRouter* router, HWND owner) {
  return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_INPUT), owner, InputDialogProc,
                         reinterpret_cast<LPARAM>(router)) == 1;
}

bool GetComboSelectionData(HWND dialog, int control, LONG_PTR* data) {
  if (data == nullptr) return false;
  HWND combo = GetDlgItem(dialog, control);
  const LRESULT index = combo != nullptr ? SendMessageW(combo, CB_GETCURSEL, 0, 0) : CB_ERR;
  if (index < 0) {
    *data = 0;
    return false;
  }
  *data = SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  return true;
}

INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      g_inputRouter = reinterpret_cast<CrossbarRouter*>(lParam);
      if (g_inputRouter != nullptr) FillInputList(dialog, g_inputRouter);
      return TRUE;
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam);
      if (id == IDCANCEL || id == IDC_DONE_BUTTON) {
        EndDialog(dialog, 0);
        g_inputRouter = nullptr;
        return TRUE;
      }
      LONG_PTR type = 0;
      if (id == IDC_INPUT_LIST && HIWORD(wParam) == CBN_SELCHANGE && GetComboSelectionData(dialog, id, &type) &&
          g_inputRouter != nullptr)
        static_cast<void>(g_inputRouter->SelectByType(static_cast<LONG>(type)));
      return FALSE;
    }
    case WM_DESTROY:
      if (HWND combo = GetDlgItem(dialog, IDC_INPUT_LIST)) SendMessageW(combo, CB_RESETCONTENT, 0, 0);
      return TRUE;
    default:
      return FALSE;
  }
}
