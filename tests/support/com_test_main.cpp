// Test entry: COM in a single-threaded apartment, as the program runs; a watchdog ends a test
// that stops making progress.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "capture/bounded_call.h"
#include "tests/support/watchdog.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  watchdog::Start(60000);
  const int result = RUN_ALL_TESTS();
  EndBoundedCallWorkers();
  CoUninitialize();
  return result;
}
