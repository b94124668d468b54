#include "app/main_window.h"

#include <ole2.h>

#include "app/app_state.h"
#include "app/gdiplus_api.h"
#include "app/layout.h"
#include "capture/bounded_call.h"
#include "res/resource.h"

namespace {

constexpr int kInitialClientWidth = 640, kInitialClientHeight = 480;

void SetItem(UINT command, bool enabled) {
  EnableMenuItem(g_controlsMenu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN);
  windowClass.lpszClassName = g_windowClassName;
  windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  RegisterClassExW(&windowClass);
}

bool CreateMainWindow(HINSTANCE instance, int showCommand) {
  g_instance = instance;
  g_mainWindow = CreateWindowExW(0, g_windowClassName, g_windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 kInitialClientWidth, kInitialClientHeight, nullptr, nullptr, instance, nullptr);
  if (g_mainWindow == nullptr) return false;
  g_menuBar = GetMenu(g_mainWindow);
  if (g_menuBar != nullptr) g_controlsMenu = GetSubMenu(g_menuBar, 1);
  SizeClientTo(g_mainWindow, kInitialClientWidth, kInitialClientHeight);
  CloseCurrentDevice();
  ShowWindow(g_mainWindow, showCommand);
  UpdateWindow(g_mainWindow);
  return true;
}

void UpdateControlsMenu(CaptureDevice* device) {
  if (g_controlsMenu == nullptr) return;
  SetItem(CMD_FORMAT, device != nullptr && device->HasFormatPages());
  SetItem(CMD_VIDEO, device != nullptr && device->HasFilterPages());
  SetItem(CMD_INPUTS, device != nullptr && device->HasCrossbarInputs());
  SetItem(CMD_TV_TUNER, device != nullptr && device->HasTunerPages());
}

void CloseCurrentDevice() {
  UpdateControlsMenu(nullptr);
  if (g_currentDevice != nullptr) {
    // Held here too: the teardown's wait serves sent messages, and the device must outlive it.
    Microsoft::WRL::ComPtr<CaptureDevice> closing = g_currentDevice;
    closing->TearDown();
    closing->videoWindow = nullptr;
    if (g_currentDevice == closing) g_currentDevice.Reset();
  }
  BlankVideoArea();
}

void BlankVideoArea() {
  // Forget the last picture's size, so that the whole client area is painted black.
  g_videoWidth = 0;
  g_videoHeight = 0;
  if (g_mainWindow != nullptr) {
    InvalidateRect(g_mainWindow, nullptr, TRUE);
    UpdateWindow(g_mainWindow);
  }
}

bool StartApplication(HINSTANCE instance, int showCommand) {
  Gdiplus::GdiplusStartupInput startup;
  Gdiplus::GdiplusStartup(&g_gdiplusToken, &startup, nullptr);
  LoadStringW(instance, IDS_APP_TITLE, g_windowTitle, 100);
  LoadStringW(instance, IDS_WINDOW_CLASS, g_windowClassName, 100);
  RegisterMainWindowClass(instance);
  return CreateMainWindow(instance, showCommand);
}

int RunApplication(HINSTANCE instance, int showCommand) {
  const bool oleInitialised = SUCCEEDED(OleInitialize(nullptr));
  // Without a window nothing was opened that the process's own exit does not end: no shut-down.
  if (!StartApplication(instance, showCommand)) return 0;
  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN));
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0)) {
    if (TranslateAcceleratorW(message.hwnd, accelerators, &message) == 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  CloseCurrentDevice();
  // A driver call left behind holds locks that other DLLs' detach code may wait for, for ever
  // (ExitProcess runs that code; a vendor DLL's can wait for its stuck streaming thread). The
  // program keeps no data, so ending at once loses nothing.
  if (AnyCallAbandoned()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(message.wParam));
  // The idle workers may hold the renderer's per-thread state: ended here (each waited for up to
  // 1 s), each tears its own down. On Windows the process's exit would end them too; ending them
  // first is the orderly shut-down the platform documents. Abandoned workers are not among them.
  EndBoundedCallWorkers();
  if (g_controlsMenu != nullptr) {
    DestroyMenu(g_controlsMenu);
    g_controlsMenu = nullptr;
  }
  if (g_menuBar != nullptr) {
    DestroyMenu(g_menuBar);
    g_menuBar = nullptr;
  }
  Gdiplus::GdiplusShutdown(g_gdiplusToken);
  if (oleInitialised) OleUninitialize();
  return static_cast<int>(message.wParam);
}
