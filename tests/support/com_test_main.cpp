// Test entry: COM in a single-threaded apartment, as the program runs; a watchdog ends a test
// that stops making progress.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "capture/bounded_call.h"
#include "tests/support/simcam_devices.h"
#include "tests/support/watchdog.h"

int main(int argc, char** argv) {
  // Pixel checks read the screen where the window is: that needs the window's own coordinates.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  watchdog::Start(60000);
  const int result = RUN_ALL_TESTS();
  simcamtest::RestoreKit();
  EndBoundedCallWorkers();
  CoUninitialize();
  return result;
}
