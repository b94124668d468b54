#include "devices/source_dialog.h"

#include <memory>
#include <new>

#include "app/app_state.h"
#include "devices/drop_down_fit.h"
#include "res/resource.h"

SourceDialog* g_sourceDialog = nullptr;

namespace {

void EndSourceDialog(HWND dialog, INT_PTR result) {
  EndDialog(dialog, result);
  g_sourceDialog = nullptr;
}

void InitialiseSourceDialog(HWND dialog, LPARAM parameter) {
  g_sourceDialog = reinterpret_cast<SourceDialog*>(parameter);
  EnableWindow(GetDlgItem(dialog, IDC_SOURCE_LIST), TRUE);
  EnableWindow(GetDlgItem(dialog, IDC_FORMAT_BUTTON), TRUE);
  if (g_sourceDialog == nullptr || g_sourceDialog->FillSourceList(dialog) != 1) return;
  std::wstring text;
  if (LoadResourceString(&text, IDS_NO_DEVICES) > 0) MessageBoxW(dialog, text.c_str(), nullptr, MB_ICONERROR);
  EndSourceDialog(dialog, 0);
}

}  // namespace

SourceDialog::~SourceDialog() {
  static_cast<void>(devices.Enumerate(GUID_NULL));  // empties the list: every moniker is released first
  selected.Reset();
}

bool ShowSourceDialog(SourceDialog* dialog, HWND owner) {
  const INT_PTR result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_SELECT_SOURCE), owner, SourceDialogProc,
                                         reinterpret_cast<LPARAM>(dialog));
  if (result == 0 && dialog != nullptr) dialog->selected.Reset();
  return result == 1;
}

bool IsCurrentDevice(IMoniker* device) {
  if (g_currentDevice == nullptr || device == nullptr) return false;
  const Microsoft::WRL::ComPtr<IMoniker> current = g_currentDevice->GetMoniker();
  return current != nullptr && current->IsEqual(device) == S_OK;
}

bool GetComboSelectionText(HWND dialog, int control, std::wstring* text) {
  HWND combo = GetDlgItem(dialog, control);
  if (combo == nullptr) return false;
  const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (index < 0 || length < 0) return false;
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[static_cast<size_t>(length) + 1]());
  if (buffer == nullptr) return false;
  const LRESULT count =
      SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.get()));
  if (count > 0) *text = buffer.get();
  return count > 0;
}

HRESULT SourceDialog::FillSourceList(HWND dialog) {
  HRESULT result = devices.Enumerate(CLSID_VideoInputDeviceCategory);
  if (FAILED(result)) return result;
  HWND combo = GetDlgItem(dialog, IDC_SOURCE_LIST);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const auto& entry : devices) {
    if (IsCurrentDevice(entry.second.Get())) continue;
    if (SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.first.c_str())) == CB_ERR) {
      result = E_OUTOFMEMORY;
      break;
    }
  }
  if (SendMessageW(combo, CB_GETCOUNT, 0, 0) == 0) return 1;
  FitDropDownWidth(dialog, combo);
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  return result;
}

bool SourceDialog::ApplySelection(HWND dialog) {
  std::wstring name;
  if (!GetComboSelectionText(dialog, IDC_SOURCE_LIST, &name)) return false;
  IMoniker* moniker = devices.Find(name);
  if (moniker == nullptr) return false;
  if (selected == nullptr) selected = new (std::nothrow) CaptureDevice();
  if (selected == nullptr) return false;
  if (selected->GetName() == name) return true;
  // Held here too: the open's wait serves sent messages, and the device must outlive it.
  const Microsoft::WRL::ComPtr<CaptureDevice> opening = selected;
  if (FAILED(opening->Open(name, moniker)) && selected == opening) selected.Reset();
  return selected != nullptr;
}

INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitialiseSourceDialog(dialog, lParam);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          // A source that fails to open leaves the dialog as it was, so another can be chosen.
          if (g_sourceDialog == nullptr)
            EndSourceDialog(dialog, 0);
          else if (g_sourceDialog->ApplySelection(dialog))
            EndSourceDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndSourceDialog(dialog, 0);
          return TRUE;
        case IDC_FORMAT_BUTTON:
          if (g_sourceDialog != nullptr && g_sourceDialog->ApplySelection(dialog))
            static_cast<void>(g_sourceDialog->GetSelected()->ShowFormatPages(dialog));
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      if (HWND combo = GetDlgItem(dialog, IDC_SOURCE_LIST)) SendMessageW(combo, CB_RESETCONTENT, 0, 0);
      return TRUE;
    default:
      return FALSE;
  }
}
