#pragma once

#include <windows.h>

#include "capture/capture_device.h"

void RegisterMainWindowClass(HINSTANCE instance);
[[nodiscard]] bool CreateMainWindow(HINSTANCE instance, int showCommand);
// Greys the four Controls items, or with a device enables each by its probe.
void UpdateControlsMenu(CaptureDevice* device);
void CloseCurrentDevice();
// Paints the whole client area black, as it is without a device.
void BlankVideoArea();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Makes `device` the current device and runs its preview; the caller keeps its own reference.
[[nodiscard]] bool StartDevice(CaptureDevice* device);
void HandleGraphEvents(HWND window);
void HandleSysColorChange(HWND window);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Start-up in a thread whose COM is initialised: GDI+, the window's strings and class, the main
// window shown with `showCommand`; false without a window.
[[nodiscard]] bool StartApplication(HINSTANCE instance, int showCommand);
// The whole program from start-up to shut-down; returns the exit code.
int RunApplication(HINSTANCE instance, int showCommand);
