// Building, running, repainting and restoring the preview graph in Wine's real graph, drawing into
// a window of the test's own.
#include "tests/support/kit/preview_graph.h"

#include <gtest/gtest.h>

#include "base/scoped.h"
#include "capture/capture_device.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/doubles/platform_doubles.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/simcam_devices.h"

using Microsoft::WRL::ComPtr;
using testsupport::Device;
using testsupport::TestWindow;
using Inspector = CaptureDeviceInspector;
using Names = std::vector<std::wstring>;

namespace {

class PreviewGraphTest : public testsupport::KitTest {
 protected:
  // A device opened on the only registered device and attached to `window`.
  ComPtr<CaptureDevice> Opened(const simcam::DeviceProfile& profile, HWND window) {
    EXPECT_EQ(testsupport::ReplaceDevices({profile}), S_OK);
    ComPtr<CaptureDevice> device(new CaptureDevice());
    EXPECT_EQ(device->Open(profile.name, testsupport::DeviceMoniker(1)), S_OK);
    device->videoWindow = window;
    return device;
  }
  static OAFilterState State(CaptureDevice* device) {
    OAFilterState state = -1;
    Inspector::control(device)->GetState(500, &state);
    return state;
  }
  static simcam::StreamStats Stats(CaptureDevice* device) {
    ComPtr<simcam::ISimCamDevice> kit;
    simcam::StreamStats stats{};
    if (SUCCEEDED(Inspector::captureFilter(device)->QueryInterface(simcam::IID_ISimCamDevice,
                                                                   reinterpret_cast<void**>(kit.GetAddressOf()))))
      kit->GetStats(&stats);
    return stats;
  }
  template <typename Done>
  static bool PumpUntil(const TestWindow& window, Done done) {
    for (int i = 0; i < 60; ++i) {
      if (done()) return true;
      window.Pump(50);
    }
    return false;
  }
};

TEST_F(PreviewGraphTest, BuiltGraphDrawsTheCaptureStreamIntoTheWindow) {
  TestWindow window(640, 480);
  testsupport::ClassDouble renderers(CLSID_VideoMixingRenderer9);
  ComPtr<CaptureDevice> device = Opened(Device(L"Cam", L"format = RGB24 640x480 30"), window.handle());
  EXPECT_EQ(device->Repaint(window.handle(), nullptr), E_FAIL) << "nothing to repaint before a build";
  ASSERT_TRUE(device->BuildPreviewGraph());
  // Any monitor is accepted here, where the only one is the default monitor 0.
  EXPECT_EQ(renderers.monitors.values(), std::vector<UINT>{0});
  EXPECT_EQ(Inspector::built(device.Get()), 1);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), (Names{L"Cam", L"VMR9"}));
  ComPtr<IPin> rendererPin;
  ASSERT_EQ(Inspector::capturePin(device.Get())->ConnectedTo(&rendererPin), S_OK);
  scoped::PinInfo rendererEnd;
  ASSERT_EQ(rendererPin->QueryPinInfo(&rendererEnd.info), S_OK);
  EXPECT_EQ(rendererEnd.info.pFilter, Inspector::renderer(device.Get()));
  EXPECT_EQ(State(device.Get()), State_Stopped);
  EXPECT_NE(device->GetWindowlessControl(), nullptr);
  EXPECT_NE(device->GetMediaEvent(), nullptr);

  ASSERT_TRUE(device->Run());
  ASSERT_TRUE(PumpUntil(window, [&] { return Stats(device.Get()).framesDelivered > 5; }));
  window.Pump(100);
  EXPECT_TRUE(testsupport::SameColour(window.PixelAt(40, 150), 0xffffff)) << std::hex << window.PixelAt(40, 150);
  EXPECT_TRUE(testsupport::SameColour(window.PixelAt(600, 470), simcam::kNoInputColour));
  EXPECT_TRUE(SUCCEEDED(device->Repaint(window.handle(), nullptr)));
  device->TearDown();
  EXPECT_EQ(device->GetWindowlessControl(), nullptr);
  EXPECT_EQ(device->GetMediaEvent(), nullptr);
}

TEST_F(PreviewGraphTest, PreviewPinIsRenderedByTheBuildersRendererWithItsWindowHidden) {
  TestWindow window(640, 480);
  testsupport::ClassDouble graphs(CLSID_FilterGraph);
  ComPtr<CaptureDevice> device = Opened(Device(L"Cam", L"preview-pin = category"), window.handle());
  ASSERT_TRUE(device->BuildPreviewGraph());
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())).size(), 3u);
  // A window that was never shown looks the same whether or not it was told to stay hidden.
  EXPECT_EQ(graphs.visible.values(), std::vector<long>{OAFALSE});
  ComPtr<IVideoWindow> hidden;
  ASSERT_EQ(
      Inspector::graph(device.Get())->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(hidden.GetAddressOf())),
      S_OK);
  long visible = OATRUE;
  EXPECT_EQ(hidden->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OAFALSE);
  long autoShow = OATRUE;
  EXPECT_EQ(hidden->get_AutoShow(&autoShow), S_OK);
  EXPECT_EQ(autoShow, OAFALSE);
}

// A destination twice as wide for its height as the picture: the picture keeps its shape in the
// middle. (Windows also letterboxes by a format's own picture aspect in this mode.)
TEST_F(PreviewGraphTest, TheRendererLetterboxesThePictureInsideItsDestination) {
  TestWindow window(640, 240);
  ComPtr<CaptureDevice> device = Opened(Device(L"Cam", L"format = RGB24 640x480 30"), window.handle());
  ASSERT_TRUE(device->BuildPreviewGraph());
  ASSERT_TRUE(device->Run());
  ASSERT_TRUE(PumpUntil(window, [&] { return Stats(device.Get()).framesDelivered > 5; }));
  window.Pump(100);
  // The picture is 320 x 240 from x 160; its first colour bar is white.
  EXPECT_EQ(window.PixelAt(40, 60), 0x000000u) << "beside the picture";
  EXPECT_TRUE(testsupport::SameColour(window.PixelAt(180, 60), 0xffffff)) << std::hex << window.PixelAt(180, 60);
}

TEST_F(PreviewGraphTest, UnrenderablePreviewOrMissingWindowFailsTheBuild) {
  TestWindow window(640, 480);
  ComPtr<CaptureDevice> preview =
      Opened(Device(L"Cam", L"preview-pin = category\npreview-renderable = no"), window.handle());
  EXPECT_FALSE(preview->BuildPreviewGraph());
  EXPECT_EQ(Inspector::renderer(preview.Get()), nullptr) << "the build ended before the renderer";
  preview->TearDown();

  ComPtr<CaptureDevice> detached = Opened(Device(L"Cam"), nullptr);
  EXPECT_FALSE(detached->BuildPreviewGraph());
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(detached.Get())), Names{L"Cam"});
}

TEST_F(PreviewGraphTest, FailureAfterTheRendererIsAddedLeavesItUntilTeardownDropsTheReference) {
  TestWindow window(640, 480);
  // VMR-9 accepts no MJPG: rendering the capture stream fails after the renderer was added.
  ComPtr<CaptureDevice> device = Opened(Device(L"Cam", L"format = MJPG 1280x720 30"), window.handle());
  EXPECT_FALSE(device->BuildPreviewGraph());
  EXPECT_NE(Inspector::renderer(device.Get()), nullptr);
  EXPECT_NE(device->GetWindowlessControl(), nullptr);
  EXPECT_EQ(Inspector::built(device.Get()), 0);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), (Names{L"Cam", L"VMR9"}));
  device->TearDown();
  EXPECT_EQ(Inspector::renderer(device.Get()), nullptr);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), (Names{L"Cam", L"VMR9"}))
      << "never connected, so not reachable by teardown";
}

TEST_F(PreviewGraphTest, CrossbarRoutesAreBuiltForACardAndLeftEmptyOtherwise) {
  TestWindow window(640, 480);
  ComPtr<CaptureDevice> card =
      Opened(Device(L"Card", L"crossbar = Main: Tuner Composite AudioLine -> VideoDecoder AudioDecoder\ntuner = yes"),
             window.handle());
  ASSERT_TRUE(card->BuildPreviewGraph());
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(card.Get())).size(), 4u) << "capture, crossbar, tuner, VMR9";
  LONG state = card->SaveStateAndTearDown();
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(card.Get())), Names{L"Card"});
  ASSERT_TRUE(card->RebuildAndRestore(state));
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(card.Get())).size(), 4u) << "the card's filters come back";
}

TEST_F(PreviewGraphTest, DeviceLossReachesTheWindowAsAGraphEvent) {
  TestWindow window(640, 480);
  ComPtr<CaptureDevice> device = Opened(Device(L"Cam", L"lose-after = 3"), window.handle());
  ASSERT_TRUE(device->BuildPreviewGraph());
  ASSERT_TRUE(device->Run());
  ComPtr<IMediaEventEx> events = device->GetMediaEvent();
  ASSERT_NE(events, nullptr);
  // Each queued event is announced by message WM_APP + 1 (0x8001) with instance data 0.
  const UINT announcement = 0x8001;
  bool lost = false;
  for (int i = 0; i < 100 && !lost; ++i) {
    MSG message{};
    if (!PeekMessageW(&message, window.handle(), announcement, announcement, PM_REMOVE)) {
      Sleep(30);
      continue;
    }
    EXPECT_EQ(message.lParam, 0);
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (!lost && events->GetEvent(&code, &first, &second, 10) == S_OK) {
      events->FreeEventParams(code, first, second);
      lost = code == EC_DEVICE_LOST;
    }
  }
  EXPECT_TRUE(lost);
}

TEST_F(PreviewGraphTest, StateSurvivesTeardownAndRebuild) {
  TestWindow window(640, 480);
  ComPtr<CaptureDevice> device = Opened(Device(L"Cam"), window.handle());
  EXPECT_EQ(device->SaveStateAndTearDown(), -1) << "never built";
  EXPECT_TRUE(device->RebuildAndRestore(-1));
  EXPECT_EQ(Inspector::built(device.Get()), 0) << "nothing built for -1";

  ASSERT_TRUE(device->BuildPreviewGraph());
  LONG state = device->SaveStateAndTearDown();
  EXPECT_EQ(state, State_Stopped);
  ASSERT_TRUE(device->RebuildAndRestore(state));
  EXPECT_EQ(State(device.Get()), State_Paused) << "a stopped graph comes back paused";

  state = device->SaveStateAndTearDown();
  EXPECT_EQ(state, State_Paused);
  ASSERT_TRUE(device->RebuildAndRestore(state));
  EXPECT_EQ(State(device.Get()), State_Paused);

  ASSERT_TRUE(device->Run());
  ASSERT_TRUE(PumpUntil(window, [&] { return State(device.Get()) == State_Running; }));
  state = device->SaveStateAndTearDown();
  EXPECT_EQ(state, State_Running);
  ASSERT_TRUE(device->RebuildAndRestore(state));
  EXPECT_EQ(State(device.Get()), State_Running);
  const LONG before = Stats(device.Get()).framesDelivered;
  EXPECT_TRUE(PumpUntil(window, [&] { return Stats(device.Get()).framesDelivered > before + 3; }))
      << "frames flow again after the rebuild";
}

}  // namespace
