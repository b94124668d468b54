#include "app/app_state.h"

#include <cstdarg>
#include <cwchar>

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
HMENU g_menuBar = nullptr;
HMENU g_controlsMenu = nullptr;
Microsoft::WRL::ComPtr<CaptureDevice> g_currentDevice;
LONG g_videoWidth = 0;
LONG g_videoHeight = 0;
wchar_t g_windowTitle[100] = L"";
wchar_t g_windowClassName[100] = L"";
ULONG_PTR g_gdiplusToken = 0;
wchar_t g_messageText[2048] = L"";

int LoadResourceString(std::wstring* text, UINT id) {
  wchar_t buffer[256] = {};
  const int count = LoadStringW(g_instance, id, buffer, 255);
  *text = count > 0 ? buffer : L"Resource error!";
  return count;
}

void ShowDeviceError(HWND owner, UINT id, ...) {
  std::wstring format;
  if (LoadResourceString(&format, id) <= 0) return;
  va_list arguments;
  va_start(arguments, id);
  // The text comes from our string table only; device names are arguments, never the format.
  _vsnwprintf(g_messageText, 2047, format.c_str(), arguments);
  va_end(arguments);
  g_messageText[2047] = L'\0';
  MessageBoxW(owner, g_messageText, nullptr, MB_TASKMODAL | MB_ICONWARNING);
}
