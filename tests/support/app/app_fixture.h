#pragma once

// The real main window of the program, created in the test process as start-up creates it, with
// the kit's devices; modal windows are driven with ModalDriver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "simcam/common/profile.h"

namespace testsupport {

class AppTest : public testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  static void Pump(DWORD milliseconds);
  static void Command(UINT id) { SendMessageW(g_mainWindow, WM_COMMAND, id, 0); }
  static SIZE ClientSize();
  // The colour at a client point of the main window, as 0xRRGGBB.
  static DWORD PixelAt(int x, int y);
  static bool ItemEnabled(UINT command);
  static bool AllControlsGreyed();
  // The capture filter of the current device, or null without one.
  static IBaseFilter* CurrentCaptureFilter();
  // Registers the devices, then runs File > Select Source and confirms the entry `name`.
  static bool Select(const std::wstring& name);
  static void Register(const std::vector<simcam::DeviceProfile>& devices);
  // Whether the Controls items were greyed right after the main window was created.
  static bool greyedAtStartUp;
};

}  // namespace testsupport
