#pragma once

#include <windows.h>

// Widens a drop-down list to its widest entry and makes it tall enough for every entry.
void FitDropDownWidth(HWND dialog, HWND combo);
