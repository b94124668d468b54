#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "capture/capture_device.h"

// The process-wide state of the shell; touched on the user-interface thread only.
extern HINSTANCE g_instance;
extern HWND g_mainWindow;
extern HMENU g_menuBar;
extern HMENU g_controlsMenu;
extern Microsoft::WRL::ComPtr<CaptureDevice> g_currentDevice;
extern LONG g_videoWidth;
extern LONG g_videoHeight;
extern wchar_t g_windowTitle[100];
extern wchar_t g_windowClassName[100];
extern ULONG_PTR g_gdiplusToken;
extern wchar_t g_messageText[2048];

// The string resource `id` (at most 254 characters); returns LoadStringW's count, 0 when missing.
int LoadResourceString(std::wstring* text, UINT id);
// A task-modal warning box whose text is string `id` used as the format for the arguments.
void ShowDeviceError(HWND owner, UINT id, ...);
