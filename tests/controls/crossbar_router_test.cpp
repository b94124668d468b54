// Routes through the simulated card's chained crossbars, in Wine's real graph.
#include "controls/crossbar_router.h"

#include <gtest/gtest.h>

#include "capture/pin_lookup.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kCard[] =
    L"format = RGB24 640x480 30\n"
    L"crossbar = Main: Tuner~3 Composite~4 SVideo<Extra.0 AudioTuner~0 AudioLine~1 -> VideoDecoder~1 "
    L"AudioDecoder~0\n"
    L"crossbar = Extra: SVideo Composite -> VideoDecoder\n";

using CrossbarRouting = testsupport::KitTest;

TEST_F(CrossbarRouting, ChainedCrossbarsGiveDepthFirstRoutesAndSelectReroutesThePicture) {
  ASSERT_EQ(testsupport::ReplaceDevices({testsupport::Device(L"Card", kCard)}), S_OK);
  testsupport::TestWindow window(640, 480);
  ComPtr<IBaseFilter> capture = testsupport::BindDevice(1);
  ASSERT_NE(capture, nullptr);
  testsupport::PreviewGraph preview(capture.Get(), window.handle());
  ASSERT_EQ(preview.result, S_OK);
  ComPtr<IPin> analogIn;
  ASSERT_EQ(FindAnalogVideoInPin(capture.Get(), &analogIn), S_OK);

  CrossbarRouter router;
  ASSERT_EQ(router.Build(analogIn.Get()), S_OK);
  LONG count = 0;
  EXPECT_EQ(router.Count(&count), S_OK);
  ASSERT_EQ(count, 4);  // the fed S-Video input of Main is no route itself; audio inputs are skipped
  const LONG types[] = {1, 2, 3, 2};
  for (LONG i = 0; i < 4; ++i) {
    LONG type = 0;
    EXPECT_EQ(router.InputType(i, &type), S_OK);
    EXPECT_EQ(type, types[i]) << "route " << i;
  }
  LONG type = 0;
  EXPECT_EQ(router.InputType(4, &type), E_FAIL);
  EXPECT_EQ(router.current, 0);
  const LONG referencesAfterBuild = testsupport::KitLiveReferences();
  ASSERT_EQ(router.Build(analogIn.Get()), S_OK);
  EXPECT_EQ(testsupport::KitLiveReferences(), referencesAfterBuild) << "one reference per stored hop";

  ASSERT_TRUE(SUCCEEDED(preview.control->Run()));
  EXPECT_EQ(router.Select(3), S_OK);
  EXPECT_EQ(router.current, 3);
  bool shown = false;
  for (int i = 0; i < 60 && !shown; ++i) {
    window.Pump(50);
    shown = testsupport::SameColour(window.PixelAt(600, 470), simcam::RoutedInputColour(3));
  }
  EXPECT_TRUE(shown) << "the picture shows Extra's Composite input";
  EXPECT_STREQ(preview.Stats().routedInput, L"Extra Composite");
  EXPECT_EQ(router.SelectByType(2), S_OK);
  EXPECT_EQ(router.current, 1) << "the lower of two Composite routes";
  EXPECT_EQ(router.SelectByType(4), E_FAIL);
  EXPECT_EQ(router.Select(4), E_FAIL);
  EXPECT_EQ(router.current, 1);

  EXPECT_EQ(router.Reset(), S_OK);
  EXPECT_EQ(router.Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(router.Reset(), S_OK);
}

TEST_F(CrossbarRouting, AnalogInputWithoutCrossbarFailsWithNoRoutes) {
  ASSERT_EQ(testsupport::ReplaceDevices({testsupport::Device(L"Card", kCard)}), S_OK);
  ComPtr<IBaseFilter> capture = testsupport::BindDevice(1);  // never in a graph: nothing upstream
  ComPtr<IPin> analogIn;
  ASSERT_EQ(FindAnalogVideoInPin(capture.Get(), &analogIn), S_OK);
  CrossbarRouter router;
  EXPECT_EQ(router.Build(analogIn.Get()), E_FAIL);
  LONG count = -1;
  static_cast<void>(router.Count(&count));
  EXPECT_EQ(count, 0);
}

// Counts no crossbar can have are a driver's garbage: nothing is built on them (a count of
// 2^31 - 1 inputs would otherwise be walked input by input).
TEST_F(CrossbarRouting, AbsurdPinCountsAreRefused) {
  for (const wchar_t* lie : {L"negative", L"huge"}) {
    ASSERT_EQ(testsupport::ReplaceDevices(
                  {testsupport::Device(L"Card", kCard + std::wstring(L"lie = get_PinCounts 1 ") + lie + L" program")}),
              S_OK);
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)), S_OK);
    ComPtr<IBaseFilter> capture = testsupport::BindDevice(1);
    ASSERT_NE(capture, nullptr);
    ASSERT_EQ(graph->AddFilter(capture.Get(), L"Card"), S_OK);  // the card's crossbars join in front of it
    ComPtr<IPin> analogIn;
    ASSERT_EQ(FindAnalogVideoInPin(capture.Get(), &analogIn), S_OK);
    CrossbarRouter router;
    EXPECT_EQ(router.Build(analogIn.Get()), E_FAIL) << lie;
    LONG count = -1;
    static_cast<void>(router.Count(&count));
    EXPECT_EQ(count, 0) << lie;
  }
}

TEST(CrossbarTypeName, NamesEveryConnectorAndUnknownOtherwise) {
  std::wstring name = L"previous";
  CrossbarRouter::TypeName(1, name);
  EXPECT_EQ(name, L"Video Tuner");
  CrossbarRouter::TypeName(13, name);
  EXPECT_EQ(name, L"Video Encoder");
  CrossbarRouter::TypeName(0x1009, name);
  EXPECT_EQ(name, L"Audio Decoder");
  for (LONG other : {0L, 14L, 15L, 0x0fffL, 0x100aL, -1L}) {
    CrossbarRouter::TypeName(other, name);
    EXPECT_EQ(name, L"Unknown") << other;
  }
}

}  // namespace
