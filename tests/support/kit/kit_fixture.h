#pragma once

// The set-up every test against the kit's devices shares: the kit installed once, each case's
// devices registered, and at the end of each case none left and nothing of the kit alive.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"

namespace testsupport {

class KitTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(InstallKit()); }
  void TearDown() override {
    RemoveDevices();
    EXPECT_EQ(KitLiveObjects(), 0) << "a kit object outlived the case";
    EXPECT_EQ(KitLiveReferences(), 0) << "a reference to a kit object outlived the case";
  }
  static void Register(const std::vector<simcam::DeviceProfile>& devices) { ASSERT_EQ(ReplaceDevices(devices), S_OK); }
};

}  // namespace testsupport
