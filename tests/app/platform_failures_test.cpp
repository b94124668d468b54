// The platform's own calls on the build and run path, failed one at a time through doubles of
// the filter graph and the video renderer: box 104 names the device, no device stays, the
// Controls items are greyed, the window is black and the kit gets everything back.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/app/app_fixture.h"
#include "tests/support/doubles/platform_doubles.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"

using testsupport::AppTest;
using testsupport::ClassDouble;
using testsupport::Device;
using testsupport::ModalDriver;

namespace {

const wchar_t kStartFailed[] = L"Unable to start the selected device \"Cam\"";

class PlatformFailure : public AppTest {
 protected:
  // Starts "Cam" while the doubles are in place; the boxes shown, in order.
  std::vector<std::wstring> StartCam() {
    std::vector<std::wstring> boxes;
    ModalDriver driver([&](HWND dialog) {
      if (HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST)) {
        SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Cam"));
        testsupport::PressButton(dialog, IDOK);
        return true;
      }
      // The user first drags the box over the picture, so that what is left there shows.
      RECT box{}, client{};
      GetWindowRect(dialog, &box);
      GetClientRect(g_mainWindow, &client);
      MapWindowPoints(g_mainWindow, nullptr, reinterpret_cast<POINT*>(&client), 2);
      const POINT target = {(client.left + client.right - (box.right - box.left)) / 2,
                            (client.top + client.bottom - (box.bottom - box.top)) / 2};
      if (box.left != target.x || box.top != target.y) {
        SetWindowPos(dialog, nullptr, target.x, target.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        return false;
      }
      boxCentre = {(client.right - client.left) / 2, (client.bottom - client.top) / 2};
      boxes.push_back(testsupport::DialogText(dialog));
      testsupport::PressButton(dialog, IDOK);
      return true;
    });
    Command(CMD_SELECT_SOURCE);
    Pump(100);
    return boxes;
  }
  void ExpectFailedStart(const std::vector<std::wstring>& boxes, const char* what) {
    EXPECT_EQ(boxes, std::vector<std::wstring>{kStartFailed}) << what;
    EXPECT_EQ(g_currentDevice, nullptr) << what;
    EXPECT_TRUE(AllControlsGreyed()) << what;
    EXPECT_EQ(testsupport::KitLiveObjects(), 0) << what;
    EXPECT_EQ(testsupport::KitLiveReferences(), 0) << what;
  }
  POINT boxCentre{};
};

TEST_F(PlatformFailure, EachFailingRendererStepEndsTheStartWithBox104) {
  Register({Device(L"Cam", L"format = RGB24 320x240 30")});
  ClassDouble renderer(CLSID_VideoMixingRenderer9);
  ASSERT_TRUE(renderer.registered());
  renderer.faults.create = E_OUTOFMEMORY;
  ExpectFailedStart(StartCam(), "renderer not created");
  renderer.faults.create = S_OK;
  for (const IID& iid : {IID_IVMRFilterConfig9, IID_IVMRWindowlessControl9, IID_IVMRMonitorConfig9}) {
    renderer.faults.refusedInterface = iid;
    ExpectFailedStart(StartCam(), "an interface of the renderer refused");
  }
  renderer.faults.refusedInterface = GUID_NULL;
  renderer.faults.defaultMonitor = E_FAIL;
  ExpectFailedStart(StartCam(), "no default monitor");
  EXPECT_GE(renderer.created, 4);
}

TEST_F(PlatformFailure, AStartThatFailsAtRunLeavesNoDeviceAndABlackWindow) {
  Register({Device(L"Good", L"format = RGB24 640x480 30"), Device(L"Cam", L"format = RGB24 640x480 30")});
  ASSERT_TRUE(Select(L"Good"));
  Pump(500);
  ASSERT_NE(PixelAt(40, 150), 0x000000u) << "the picture is drawn";
  ClassDouble graph(CLSID_FilterGraph);
  graph.faults.run = E_FAIL;
  ExpectFailedStart(StartCam(), "Run fails");
  EXPECT_EQ(graph.created, 1);
  EXPECT_EQ(PixelAt(boxCentre.x, boxCentre.y), 0x000000u) << "nothing of the box stays where it was";
  EXPECT_EQ(PixelAt(40, 150), 0x000000u) << "nor of the last picture";
}

TEST_F(PlatformFailure, AGraphWhoseStateCannotBeReadComesBackRunningAfterAColourChange) {
  Register({Device(L"Cam")});
  ClassDouble graph(CLSID_FilterGraph);
  ASSERT_TRUE(Select(L"Cam"));
  graph.faults.getState = E_FAIL;
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  graph.faults.getState = S_OK;
  ASSERT_NE(g_currentDevice, nullptr);
  ASSERT_NE(g_currentDevice->GetWindowlessControl(), nullptr) << "rebuilt, not left without a graph";
  Microsoft::WRL::ComPtr<IMediaControl> control;
  ASSERT_EQ(g_currentDevice->GetMediaEvent().As(&control), S_OK);
  OAFilterState state = -1;
  control->GetState(500, &state);
  EXPECT_EQ(state, State_Running);
}

TEST_F(PlatformFailure, AVideoWithoutANativeSizeKeepsTheWindowsSize) {
  Register({Device(L"Cam", L"format = RGB24 320x240 30")});
  ClassDouble renderer(CLSID_VideoMixingRenderer9);
  renderer.faults.nativeVideoSize = E_FAIL;
  ASSERT_TRUE(Select(L"Cam"));
  EXPECT_NE(g_currentDevice, nullptr);
  EXPECT_EQ(ClientSize().cx, 640);
  EXPECT_EQ(ClientSize().cy, 480);
}

}  // namespace
