#pragma once

#include <windows.h>

#include "controls/crossbar_router.h"

// Runs dialog 129 over `router`; true when it ended with result 1 (it never does).
[[nodiscard]] bool RunInputDialog(CrossbarRouter* router, HWND owner);
INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
[[nodiscard]] bool GetComboSelectionData(HWND dialog, int control, LONG_PTR* data);
