// Test entry: COM in a single-threaded apartment, as the program runs; a watchdog ends a test
// that stops making progress.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "capture/bounded_call.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/watchdog.h"

int main(int argc, char** argv) {
  // Pixel checks read the screen where the window is: that needs the window's own coordinates.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  testing::InitGoogleTest(&argc, argv);
  // A run at another scale must not pass at the default one because the scale was not applied.
  wchar_t scale[8] = L"";
  if (GetEnvironmentVariableW(L"MIRASEE_TEST_DPI", scale, 8) > 0 && GetDpiForSystem() != wcstoul(scale, nullptr, 10)) {
    fwprintf(stderr, L"The screen is at %u DPI, not the %ls asked for\n", GetDpiForSystem(), scale);
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  testsupport::StartWatchdog(60000);
  const int result = RUN_ALL_TESTS();
  testsupport::RestoreKit();
  EndBoundedCallWorkers();
  CoUninitialize();
  return result;
}
