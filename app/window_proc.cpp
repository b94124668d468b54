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
// Events taken per WM_GRAPH_EVENT: a driver that floods its graph with events must not hold this
// thread; the rest wait their turn behind the other messages.
constexpr int kEventBatch = 32;

// Closes `device` unless a nested loop (a box's) has already replaced or closed it.
void CloseIfStillCurrent(CaptureDevice* device) {
  if (g_currentDevice.Get() == device) CloseCurrentDevice();
}

// The box for a device's loss, once per device whichever path finds the loss first.
void ReportLoss(CaptureDevice* device, HWND owner) {
  if (device->lossReported) return;
  device->lossReported = true;
  ShowDeviceError(owner, IDS_DEVICE_LOST, device->GetName().c_str());
}

// A device whose driver stopped answering is lost to the user. It is closed before the box, so
// that nothing handled in the box's loop reaches it again. False when the device still answers.
// The caller holds its own reference to the device.
[[nodiscard]] bool ReportIfStalled(CaptureDevice* device) {
  if (device == nullptr || !device->IsStalled()) return false;
  CloseIfStillCurrent(device);
  ReportLoss(device, g_mainWindow);
  return true;
}

// Ends a failed start: the device is shown in the error while still current, then dropped. The
// box runs a nested message loop, so the device may have stopped being current meanwhile. A start
// that failed because the driver stopped answering is reported as the device's loss.
[[nodiscard]] bool FailStart(CaptureDevice* device, bool tearDown) {
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
  if (chosen != nullptr) static_cast<void>(StartDevice(chosen.Get()));  // a failure was shown
}

void ChangeFormat(HWND window) {
  if (g_currentDevice == nullptr) return;
  ComPtr<CaptureDevice> held = g_currentDevice;
  CloseCurrentDevice();
  if (ReportIfStalled(held.Get())) return;
  static_cast<void>(held->ShowFormatPages(window));
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

[[nodiscard]] bool HandleCommand(HWND window, WPARAM wParam) {
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
      WithCurrentDevice([window](CaptureDevice* device) { static_cast<void>(device->ShowInputDialog(window)); });
      return true;
    case CMD_VIDEO:
      WithCurrentDevice([window](CaptureDevice* device) { static_cast<void>(device->ShowFilterPages(window)); });
      return true;
    case CMD_FORMAT:
      ChangeFormat(window);
      return true;
    case CMD_TV_TUNER:
      WithCurrentDevice([window](CaptureDevice* device) { static_cast<void>(device->ShowTunerPages(window)); });
      return true;
    default:
      return false;
  }
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window, &paint);
  if (g_currentDevice != nullptr) static_cast<void>(g_currentDevice->Repaint(window, context));
  EndPaint(window, &paint);
}

// Windows suggests where the window goes at a monitor's new scale. The window moves and resizes at
// once; only the layout its WM_SIZE redoes waits, like any resize, while a state change is waited
// for.
void MoveToSuggestedRect(HWND window, LPARAM suggestion) {
  const auto* rect = reinterpret_cast<const RECT*>(suggestion);
  SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void FillBlack(HDC context, const RECT& area) {
  FillRect(context, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// During a bounded call only sent messages arrive here (from other threads, and what this thread
// sends while handling them), and the device's graph is with the worker. Whatever could start
// another teardown or reach the graph waits until the wait ends (commands, graph events, close,
// system commands, colour and display changes, resizes); paints and erases are black. Anything
// else, WM_DPICHANGED included, is handled as usual.
[[nodiscard]] bool HandleDuringWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_COMMAND:
    case WM_GRAPH_EVENT:
    case WM_CLOSE:
    case WM_SYSCOMMAND:
    case WM_SYSCOLORCHANGE:
    case WM_DISPLAYCHANGE:
    case WM_SIZE:
      DeferUntilWaitEnds(window, message, wParam, lParam);
      *result = 0;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC context = BeginPaint(window, &paint);
      FillBlack(context, paint.rcPaint);
      EndPaint(window, &paint);
      DeferUntilWaitEnds(window, WM_SIZE, 0, 0);  // the picture comes back with the layout
      *result = 0;
      return true;
    }
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window, &client);
      FillBlack(reinterpret_cast<HDC>(wParam), client);
      *result = 1;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

bool StartDevice(CaptureDevice* device) {
  if (device == nullptr || g_mainWindow == nullptr) return false;
  ComPtr<CaptureDevice> own(device);
  {
    // The previous device goes before anything of the new one is built.
    ComPtr<CaptureDevice> previous = g_currentDevice;
    CloseCurrentDevice();
    static_cast<void>(ReportIfStalled(previous.Get()));
  }
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
  ComPtr<CaptureDevice> device = g_currentDevice;
  ComPtr<IMediaEventEx> events = device->GetMediaEvent();
  if (events == nullptr) return;
  long code = 0;
  LONG_PTR first = 0, second = 0;
  int taken = 0;
  for (; taken < kEventBatch && SUCCEEDED(events->GetEvent(&code, &first, &second, 0)); ++taken) {
    // A loss found after the device was closed, or while its box is open, has nothing more to say.
    if (code == EC_DEVICE_LOST && g_currentDevice == device) {
      ReportLoss(device.Get(), window);
      CloseIfStillCurrent(device.Get());
    }
    events->FreeEventParams(code, first, second);
    // A graph left to a stuck driver's worker is not called from here again, nor finally released.
    if (device->IsStalled()) {
      ReleaseOffThisThread(events.Detach());
      return;
    }
  }
  if (taken == kEventBatch) PostMessageW(window, WM_GRAPH_EVENT, 0, 0);
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

// The windowless renderer must hear of every display change (resolution, docking, a remote
// session reconnecting), or its picture can stay black or frozen on the new surface.
void HandleDisplayChange() {
  if (g_currentDevice != nullptr)
    if (const auto windowless = g_currentDevice->GetWindowlessControl()) windowless->DisplayModeChanged();
  RefreshVideoArea();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (WaitingForBoundedCall() && HandleDuringWait(window, message, wParam, lParam, &result)) return result;
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
      HandleSysColorChange(window);
      return 0;
    case WM_DISPLAYCHANGE:
      HandleDisplayChange();
      return 0;
    case WM_DPICHANGED:
      MoveToSuggestedRect(window, lParam);
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
