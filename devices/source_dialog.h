#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "capture/capture_device.h"
#include "devices/device_list.h"

// The state of one "Select video capture source" dialog.
class SourceDialog {
 public:
  SourceDialog() = default;
  SourceDialog(const SourceDialog&) = delete;
  SourceDialog& operator=(const SourceDialog&) = delete;
  virtual ~SourceDialog();

  Microsoft::WRL::ComPtr<CaptureDevice> GetSelected() const { return selected; }
  // Fills the list with every device but the current one; 1 when none is left to offer.
  [[nodiscard]] HRESULT FillSourceList(HWND dialog);
  // Makes `selected` a device opened on the chosen entry.
  [[nodiscard]] bool ApplySelection(HWND dialog);

 private:
  friend bool ShowSourceDialog(SourceDialog* dialog, HWND owner);

  Microsoft::WRL::ComPtr<CaptureDevice> selected;
  DeviceList devices;
};

extern SourceDialog* g_sourceDialog;

// Runs the modal dialog; true when it ended with OK and `selected` holds an opened device.
[[nodiscard]] bool ShowSourceDialog(SourceDialog* dialog, HWND owner);
INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Whether `device` is the one being previewed, whatever name the latest listing gave it.
[[nodiscard]] bool IsCurrentDevice(IMoniker* device);
[[nodiscard]] bool GetComboSelectionText(HWND dialog, int control, std::wstring* text);
