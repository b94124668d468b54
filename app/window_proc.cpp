#include <wrl/client.h>

#include "app/app_state.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "capture/bounded_call.h"
#include "capture/graph_event.h"
#include "devices/source_dialog.h"
#include "res/resource.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kRebuildPause = 300;

// The device whose loss box is open: the box's nested loop drains the same queue again, and a
// second loss of that device must not open a second box.
CaptureDevice* lossBeingReported = nullptr;

// Closes `device` unless a nested loop (a box's) has already replaced or closed it.
void CloseIfStillCurrent(CaptureDevice* device) {
  if (g_currentDevice.Get() == device) CloseCurrentDevice();
}

// A device whose driver stopped answering in a state change is lost to the user. It is closed
// before the box, so that nothing handled in the box's loop reaches the stuck device again.
// False when the device still answers.
bool ReportIfStalled(CaptureDevice* device) {
  if (device == nullptr || !device->IsStalled()) return false;
  const std::wstring name = device->GetName();
  CloseIfStillCurrent(device);
  ShowDeviceError(g_mainWindow, IDS_DEVICE_LOST, name.c_str());
  return true;
}

// Ends a failed start: the device is shown in the error while still current, then dropped. The
// box runs a nested message loop, so the device may have stopped being current meanwhile. A start
// that failed because the driver stopped answering is reported as the device's loss.
bool FailStart(CaptureDevice* device, bool tearDown) {
  if (ReportIfStalled(device)) return false;
  ShowDeviceError(g_mainWindow, IDS_START_FAILED, device->GetName().c_str());
  if (tearDown) device->TearDown();
  device->videoWindow = nullptr;
  if (g_currentDevice.Get() == device) {
    g_currentDevice.Reset();
    BlankVideoArea();
  }
  return false;
}

void SelectSource(HWND window) {
  SourceDialog dialog;
  if (!ShowSourceDialog(&dialog, window)) return;
  ComPtr<CaptureDevice> chosen = dialog.GetSelected();
  if (chosen != nullptr) StartDevice(chosen.Get());
}

void ChangeFormat(HWND window) {
  if (g_currentDevice == nullptr) return;
  ComPtr<CaptureDevice> held = g_currentDevice;
  CloseCurrentDevice();
  if (ReportIfStalled(held.Get())) return;
  held->ShowFormatPages(window);
  if (StartDevice(held.Get())) return;
  std::wstring text;
  if (LoadResourceString(&text, IDS_FORMAT_RESTART_FAILED) > 0)
    MessageBoxW(window, text.c_str(), nullptr, MB_ICONERROR);
}

// The Inputs, Video and TV Tuner dialogs hold the device themselves: it may be closed meanwhile.
template <typename Show>
void WithCurrentDevice(Show show) {
  if (g_currentDevice == nullptr) return;
  ComPtr<CaptureDevice> held = g_currentDevice;
  show(held.Get());
}

bool HandleCommand(HWND window, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case CMD_ABOUT:
      DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), window, AboutDialogProc, 0);
      return true;
    case CMD_EXIT:
      CloseCurrentDevice();
      DestroyWindow(window);
      return true;
    case CMD_SELECT_SOURCE:
      SelectSource(window);
      return true;
    case CMD_INPUTS:
      WithCurrentDevice([window](CaptureDevice* device) { device->ShowInputDialog(window); });
      return true;
    case CMD_VIDEO:
      WithCurrentDevice([window](CaptureDevice* device) { device->ShowFilterPages(window); });
      return true;
    case CMD_FORMAT:
      ChangeFormat(window);
      return true;
    case CMD_TV_TUNER:
      WithCurrentDevice([window](CaptureDevice* device) { device->ShowTunerPages(window); });
      return true;
    default:
      return false;
  }
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window, &paint);
  if (g_currentDevice != nullptr) g_currentDevice->Repaint(window, context);
  EndPaint(window, &paint);
}

}  // namespace

bool StartDevice(CaptureDevice* device) {
  if (device == nullptr || g_mainWindow == nullptr) return false;
  ComPtr<CaptureDevice> own(device);
  ComPtr<CaptureDevice> previous = g_currentDevice;
  CloseCurrentDevice();
  ReportIfStalled(previous.Get());
  g_currentDevice = own;
  own->videoWindow = g_mainWindow;
  if (!own->BuildPreviewGraph()) return FailStart(own.Get(), false);
  if (!FitWindowToVideo()) return FailStart(own.Get(), true);
  if (!own->Run()) return FailStart(own.Get(), true);
  UpdateControlsMenu(own.Get());
  return true;
}

void HandleGraphEvents(HWND window) {
  if (g_currentDevice == nullptr) return;
  ComPtr<IMediaEventEx> events = g_currentDevice->GetMediaEvent();
  if (events == nullptr) return;
  long code = 0;
  LONG_PTR first = 0, second = 0;
  while (SUCCEEDED(events->GetEvent(&code, &first, &second, 0))) {
    // A second loss in the same batch finds the device already closed, or its box still open:
    // nothing more to say.
    if (code == EC_DEVICE_LOST && g_currentDevice != nullptr && g_currentDevice.Get() != lossBeingReported) {
      ComPtr<CaptureDevice> lost = g_currentDevice;
      lossBeingReported = lost.Get();
      ShowDeviceError(window, IDS_DEVICE_LOST, lost->GetName().c_str());
      lossBeingReported = nullptr;
      CloseIfStillCurrent(lost.Get());
    }
    events->FreeEventParams(code, first, second);
  }
}

void HandleSysColorChange(HWND window) {
  if (g_currentDevice == nullptr) return;
  ComPtr<CaptureDevice> device = g_currentDevice;
  const LONG state = device->SaveStateAndTearDown();
  if (ReportIfStalled(device.Get())) return;
  Sleep(kRebuildPause);
  if (device->RebuildAndRestore(state) || ReportIfStalled(device.Get())) return;
  ShowDeviceError(window, IDS_START_FAILED, device->GetName().c_str());
  CloseIfStillCurrent(device.Get());
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      RefreshVideoArea();
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_ERASEBKGND:
      return EraseVideoBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_SYSCOLORCHANGE:
      // Sent while a state change is waited for: the device is half torn down, so the rebuild
      // waits its turn in the queue.
      if (WaitingForBoundedCall())
        PostMessageW(window, message, wParam, lParam);
      else
        HandleSysColorChange(window);
      return 0;
    case WM_COMMAND:
      return HandleCommand(window, wParam) ? 0 : DefWindowProcW(window, message, wParam, lParam);
    case WM_GRAPH_EVENT:
      HandleGraphEvents(window);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
