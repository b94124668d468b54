// The capture device object, opening a device with its initial format, and teardown, against
// Wine's real filter graph and capture graph builder with the kit's devices.
#include "capture/capture_device.h"

#include <gtest/gtest.h>

#include "capture/pin_lookup.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/doubles/test_filter.h"
#include "tests/support/doubles/test_moniker.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"

using Microsoft::WRL::ComPtr;
using testsupport::Device;
using Inspector = CaptureDeviceInspector;
using Names = std::vector<std::wstring>;

namespace {

const wchar_t kCard[] =
    L"crossbar = Main: Tuner Composite SVideo<Extra.0 AudioTuner -> VideoDecoder AudioDecoder\n"
    L"crossbar = Extra: SVideo Composite -> VideoDecoder\n"
    L"tuner = yes\n";

class CaptureDeviceTest : public testsupport::KitTest {
 protected:
  // The format the opened device's capture pin reports: width, height and frame duration.
  static std::tuple<LONG, LONG, REFERENCE_TIME> Format(const CaptureDevice* device) {
    std::unique_ptr<MediaType> type = device->GetCaptureFormat();
    if (type == nullptr || type->cbFormat < sizeof(VIDEOINFOHEADER)) return {0, 0, 0};
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    return {info->bmiHeader.biWidth, info->bmiHeader.biHeight, info->AvgTimePerFrame};
  }
};

// An owning reference to a new device, as the source dialog holds it.
ComPtr<CaptureDevice> NewDevice() { return ComPtr<CaptureDevice>(new CaptureDevice()); }

TEST_F(CaptureDeviceTest, CountStartsAtZeroOnlyIUnknownIsAnsweredAndTheLastReleaseDestroys) {
  CaptureDevice* device = new CaptureDevice();
  EXPECT_EQ(Inspector::refCount(device), 0);
  EXPECT_EQ(device->AddRef(), 1u);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(device->QueryInterface(IID_IBaseFilter, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(device->QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<IUnknown*>(device));
  EXPECT_EQ(device->Release(), 1u);
  EXPECT_NE(Inspector::graph(device), nullptr);
  EXPECT_NE(Inspector::control(device), nullptr);
  EXPECT_EQ(device->GetName(), L"");
  EXPECT_EQ(device->GetWindowlessControl(), nullptr);
  EXPECT_EQ(device->GetMediaEvent(), nullptr);
  EXPECT_EQ(device->GetCaptureFormat(), nullptr);
  device->TearDown();  // never built: harmless
  EXPECT_EQ(device->Release(), 0u);
}

TEST_F(CaptureDeviceTest, OpenAddsTheFilterUnderItsNameWithTheLargestRgb24At15Fps) {
  Register({Device(L"Cam",
                   L"format = YUY2 1280x720 30\nformat = RGB24 640x480 30\nformat = RGB24 800x600 30\n"
                   L"format = RGB24 800x600 30 vih2\nformat = MJPG 1920x1080 30")});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Cam #01", testsupport::DeviceMoniker(1)), S_OK);
  EXPECT_EQ(device->GetName(), L"Cam #01");
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), Names{L"Cam #01"});
  EXPECT_EQ(Format(device.Get()), std::make_tuple(800L, 600L, REFERENCE_TIME{666666}));
}

TEST_F(CaptureDeviceTest, FormatChoiceTiesKeepTheEarlierAndVideoInfo2Counts) {
  // Equal areas: 800x600 (VideoInfo2) comes first and its size is chosen over the later 600x800.
  Register({Device(L"Cam", L"format = RGB24 800x600 30 vih2\nformat = RGB24 800x600 30\nformat = RGB24 600x800 30")});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Cam", testsupport::DeviceMoniker(1)), S_OK);
  EXPECT_EQ(Format(device.Get()), std::make_tuple(800L, 600L, REFERENCE_TIME{666666}));
}

TEST_F(CaptureDeviceTest, AbsurdCapabilitySizesArePassedOverForTheLargestRealOne) {
  Register({Device(L"Liar",
                   L"format = RGB24 320x240 30\nformat = RGB24 640x480 30\nadvertise = -2000x-2000\n"
                   L"advertise = 0x480\nadvertise = 100000x100000\nadvertise = 640x-480\n"
                   // 3 bytes a pixel fit 32 bits, rows padded to 4 bytes do not
                   L"advertise = 20001x71579")});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Liar", testsupport::DeviceMoniker(1)), S_OK);
  EXPECT_EQ(Format(device.Get()), std::make_tuple(640L, 480L, REFERENCE_TIME{666666}));
}

TEST_F(CaptureDeviceTest, FailingCapabilityEndsTheScanAndNonRgbOrMissingConfigSetsNothing) {
  Register({Device(L"Mid",
                   L"format = RGB24 320x240 30\nformat = RGB24 640x480 30\nformat = RGB24 1280x720 30\n"
                   L"fail = GetStreamCaps 2 E_FAIL"),
            Device(L"Yuv", L"format = YUY2 640x480 30\nformat = MJPG 1280x720 30"),
            Device(L"Bare", L"format = RGB24 640x480 30\nstream-config = no")});
  ComPtr<CaptureDevice> mid = NewDevice();
  ASSERT_EQ(mid->Open(L"Mid", testsupport::DeviceMoniker(1)), S_OK);
  EXPECT_EQ(Format(mid.Get()), std::make_tuple(320L, 240L, REFERENCE_TIME{666666}));
  ComPtr<CaptureDevice> yuv = NewDevice();
  EXPECT_EQ(yuv->Open(L"Yuv", testsupport::DeviceMoniker(2)), S_OK);
  std::unique_ptr<MediaType> kept = yuv->GetCaptureFormat();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->subtype, MEDIASUBTYPE_YUY2) << "the driver's default stays";
  ComPtr<CaptureDevice> bare = NewDevice();
  EXPECT_EQ(bare->Open(L"Bare", testsupport::DeviceMoniker(3)), S_OK);
  EXPECT_EQ(bare->GetCaptureFormat(), nullptr);
}

TEST_F(CaptureDeviceTest, OpenFailures) {
  Register({Device(L"Good"), Device(L"Busy", L"fail = ConnectedTo 1 E_UNEXPECTED"),
            Device(L"Unbindable", L"fail = Load 1 E_ACCESSDENIED"), Device(L"No Pin", L"capture-pin = none")});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Good", testsupport::DeviceMoniker(1)), S_OK);
  EXPECT_EQ(device->Open(L"Other", nullptr), E_POINTER);
  EXPECT_EQ(device->GetName(), L"Good") << "a null moniker changes nothing";
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), Names{L"Good"});

  EXPECT_EQ(device->Open(L"Busy", testsupport::DeviceMoniker(2)), E_FAIL);
  EXPECT_EQ(device->GetName(), L"Busy") << "a connected pin keeps name, filter and pin";
  EXPECT_NE(Inspector::capturePin(device.Get()), nullptr);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), Names{}) << "neither device stays in the graph";

  EXPECT_EQ(device->Open(L"Unbindable", testsupport::DeviceMoniker(3)), E_ACCESSDENIED);
  EXPECT_EQ(device->GetName(), L"");
  EXPECT_EQ(Inspector::captureFilter(device.Get()), nullptr);
  EXPECT_EQ(device->Open(L"No Pin", testsupport::DeviceMoniker(4)), VFW_E_NOT_FOUND);
  EXPECT_EQ(device->GetName(), L"");
  EXPECT_EQ(Inspector::captureFilter(device.Get()), nullptr);
  EXPECT_EQ(Inspector::capturePin(device.Get()), nullptr);
}

TEST_F(CaptureDeviceTest, ReopeningReplacesTheEarlierFilterInTheGraph) {
  Register({Device(L"First"), Device(L"Second")});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"First", testsupport::DeviceMoniker(1)), S_OK);
  ASSERT_EQ(device->Open(L"Second", testsupport::DeviceMoniker(2)), S_OK);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), Names{L"Second"});
}

TEST_F(CaptureDeviceTest, TearDownRemovesEverythingAroundTheCaptureFilterTwiceHarmlessly) {
  Register({Device(L"Card", kCard)});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Card", testsupport::DeviceMoniker(1)), S_OK);
  IFilterGraph2* graph = Inspector::graph(device.Get());
  ASSERT_EQ(graph->Render(Inspector::capturePin(device.Get())), S_OK);  // the platform's own renderer
  ComPtr<IBaseFilter> unconnected;
  ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&unconnected)),
            S_OK);
  ASSERT_EQ(graph->AddFilter(unconnected.Get(), L"Stray"), S_OK);
  EXPECT_EQ(testsupport::FilterNames(graph).size(), 6u) << "capture, two crossbars, tuner, renderer, stray";

  device->TearDown();
  EXPECT_EQ(testsupport::FilterNames(graph), (Names{L"Card", L"Stray"})) << "an unconnected filter is not reachable";
  ComPtr<IPin> analog;
  ASSERT_EQ(FindAnalogVideoInPin(Inspector::captureFilter(device.Get()), &analog), S_OK);
  ComPtr<IPin> upstream;
  EXPECT_EQ(analog->ConnectedTo(&upstream), VFW_E_NOT_CONNECTED);
  device->TearDown();
  EXPECT_EQ(testsupport::FilterNames(graph), (Names{L"Card", L"Stray"}));
  EXPECT_EQ(Inspector::built(device.Get()), 0);
  graph->RemoveFilter(unconnected.Get());
}

TEST_F(CaptureDeviceTest, ReleasingADeviceNeverBuiltTearsDownWhatItsGraphHolds) {
  Register({Device(L"Card", kCard)});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Card", testsupport::DeviceMoniker(1)), S_OK);
  ComPtr<IFilterGraph2> graph = Inspector::graph(device.Get());
  ASSERT_EQ(graph->Render(Inspector::capturePin(device.Get())), S_OK);
  ASSERT_EQ(testsupport::FilterNames(graph.Get()).size(), 5u);
  device.Reset();
  EXPECT_EQ(testsupport::FilterNames(graph.Get()), Names{L"Card"});
}

// A driver may report a capability structure smaller than the one it writes.
TEST(CapabilityBuffer, HoldsTheWholeStructureWhateverSizeTheDriverReports) {
  testsupport::TestFilter* filter = new testsupport::TestFilter;
  testsupport::TestPin* pin = filter->AddPin(PINDIR_OUTPUT, L"Capture", PIN_CATEGORY_CAPTURE);
  pin->capabilitySize = 4;
  ComPtr<IMoniker> moniker;
  moniker.Attach(new testsupport::TestMoniker(filter, VARIANT{}));
  filter->Release();
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Sized", moniker), S_OK);
  EXPECT_GE(pin->capabilityBlockBytes, sizeof(VIDEO_STREAM_CONFIG_CAPS));
  EXPECT_EQ(pin->formatsSet, 1) << "the capability it describes is chosen";
}

TEST_F(CaptureDeviceTest, RemovalFunctionsIgnoreNullArguments) {
  Register({Device(L"Cam")});
  ComPtr<CaptureDevice> device = NewDevice();
  ASSERT_EQ(device->Open(L"Cam", testsupport::DeviceMoniker(1)), S_OK);
  RemoveDownstream(nullptr, Inspector::graph(device.Get()));
  RemoveUpstream(Inspector::captureFilter(device.Get()), nullptr);
  EXPECT_EQ(testsupport::FilterNames(Inspector::graph(device.Get())), Names{L"Cam"});
}

// Teardown walks what drivers report; these in-process filters report loops, enumerators that
// never end and filters that cannot list their pins. None is in the graph, whose removal of them
// fails harmlessly: only the walk is under test.
TEST(TearDownWalk, EndsOnLoopsEndlessEnumeratorsAndUnlistablePinsAndStaysInStep) {
  ComPtr<IFilterGraph2> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)), S_OK);
  using testsupport::TestFilter;
  TestFilter *capture = new TestFilter, *loop = new TestFilter, *unlistable = new TestFilter, *side = new TestFilter;
  testsupport::Link(capture->AddPin(PINDIR_OUTPUT, L"Out"), loop->AddPin(PINDIR_INPUT, L"In"));
  testsupport::Link(loop->AddPin(PINDIR_OUTPUT, L"Back"), capture->AddPin(PINDIR_INPUT, L"In"));
  RemoveDownstream(capture, graph.Get());
  EXPECT_EQ(loop->pins[0]->disconnects, 1) << "a looped connection is broken once, not followed for ever";

  // A filter that cannot list its pins is reached twice; the second way must still be broken.
  testsupport::Link(capture->AddPin(PINDIR_OUTPUT, L"First"), unlistable->AddPin(PINDIR_INPUT, L"In 1"));
  testsupport::Link(capture->AddPin(PINDIR_OUTPUT, L"Second"), side->AddPin(PINDIR_INPUT, L"In"));
  testsupport::TestPin* sideOut = side->AddPin(PINDIR_OUTPUT, L"Out");
  testsupport::Link(sideOut, unlistable->AddPin(PINDIR_INPUT, L"In 2"));
  unlistable->enumPinsResult = E_FAIL;
  RemoveDownstream(capture, graph.Get());
  EXPECT_EQ(sideOut->disconnects, 1);

  // A filter reached again by a second way after the first way's walk has left it: entered again,
  // so that the second connection is broken too.
  TestFilter *middle = new TestFilter, *joined = new TestFilter;
  TestFilter* start = new TestFilter;
  testsupport::Link(start->AddPin(PINDIR_OUTPUT, L"To middle"), middle->AddPin(PINDIR_INPUT, L"In"));
  testsupport::Link(middle->AddPin(PINDIR_OUTPUT, L"Out"), joined->AddPin(PINDIR_INPUT, L"In 1"));
  testsupport::TestPin* direct = start->AddPin(PINDIR_OUTPUT, L"To joined");
  testsupport::Link(direct, joined->AddPin(PINDIR_INPUT, L"In 2"));
  RemoveDownstream(start, graph.Get());
  EXPECT_EQ(direct->disconnects, 1);
  for (TestFilter* filter : {start, middle, joined}) filter->Release();

  for (bool givesNull : {true, false}) {
    side->walk.givesNull = givesNull;
    side->walk.repeatsFirst = !givesNull;
    RemoveDownstream(side, graph.Get());  // returns: the walk is bounded
  }
  for (TestFilter* filter : {capture, loop, unlistable, side}) filter->Release();
}

}  // namespace
