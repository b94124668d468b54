// The Controls probes and the device's own property pages in Wine's real property frame.
#include <gtest/gtest.h>

#include "capture/capture_device.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"

using Microsoft::WRL::ComPtr;
using testsupport::Device;
using testsupport::ModalDriver;

namespace {

struct Probes {
  bool format, filter, tuner;
  bool operator==(const Probes& other) const {
    return format == other.format && filter == other.filter && tuner == other.tuner;
  }
};

std::ostream& operator<<(std::ostream& out, const Probes& probes) {
  return out << "format " << probes.format << ", filter " << probes.filter << ", tuner " << probes.tuner;
}

class DevicePages : public testsupport::KitTest {
 protected:
  ComPtr<CaptureDevice> Opened(const std::wstring& settings) {
    EXPECT_EQ(testsupport::ReplaceDevices({Device(L"Cam", settings)}), S_OK);
    ComPtr<CaptureDevice> device(new CaptureDevice());
    EXPECT_EQ(device->Open(L"Cam", testsupport::DeviceMoniker(1)), S_OK);
    return device;
  }
  static Probes Probe(CaptureDevice* device) {
    return {device->HasFormatPages(), device->HasFilterPages(), device->HasTunerPages()};
  }
};

TEST_F(DevicePages, ProbesAnswerExactlyWhenPagesExist) {
  const struct {
    const wchar_t* settings;
    Probes expected;
  } cases[] = {
      {L"", {true, true, false}},
      {L"crossbar = Main: Tuner Composite -> VideoDecoder\ntuner = yes", {true, true, true}},
      {L"format-pages = zero\nfilter-pages = zero", {false, false, false}},
      {L"format-pages = none\nfilter-pages = none", {false, false, false}},
      {L"stream-config = no", {false, true, false}},
      {L"crossbar = Main: Tuner -> VideoDecoder\ntuner = yes\ntuner-pages = zero", {true, true, false}},
      {L"fail = GetFilterPages 1 E_OUTOFMEMORY", {true, false, false}},
      {L"filter-pages = null-array\nformat-pages = null-array", {false, false, false}},
  };
  for (const auto& item : cases) {
    ComPtr<CaptureDevice> device = Opened(item.settings);
    EXPECT_EQ(Probe(device.Get()), item.expected) << item.settings;
  }
  ComPtr<CaptureDevice> unopened(new CaptureDevice());
  EXPECT_EQ(Probe(unopened.Get()), (Probes{false, false, false}));
  EXPECT_EQ(unopened->ShowFormatPages(nullptr), E_FAIL);
  EXPECT_EQ(unopened->ShowFilterPages(nullptr), E_FAIL);
  EXPECT_EQ(unopened->ShowTunerPages(nullptr), E_FAIL);
}

TEST_F(DevicePages, OpenersShowTheKitsPagesInAModalFrame) {
  testsupport::TestWindow owner(320, 240);
  ComPtr<CaptureDevice> device = Opened(L"crossbar = Main: Tuner -> VideoDecoder\ntuner = yes");
  for (auto show : {&CaptureDevice::ShowFilterPages, &CaptureDevice::ShowTunerPages, &CaptureDevice::ShowFormatPages}) {
    ModalDriver driver([](HWND frame) {
      if (testsupport::FindControl(frame, 100, L"ComboBox") == nullptr) return false;  // page not shown yet
      testsupport::PressButton(frame, IDCANCEL);
      return true;
    });
    EXPECT_EQ((device.Get()->*show)(owner.handle()), S_OK);
    EXPECT_TRUE(driver.acted()) << "the frame showed the page's controls";
  }
}

TEST_F(DevicePages, ZeroPagesShowNothingAndMissingTunerFails) {
  ComPtr<CaptureDevice> device = Opened(L"filter-pages = zero\nformat-pages = none");
  ModalDriver driver([](HWND frame) {
    testsupport::PressButton(frame, IDCANCEL);
    return true;
  });
  EXPECT_EQ(device->ShowFilterPages(nullptr), S_OK);
  EXPECT_EQ(device->ShowFormatPages(nullptr), E_NOINTERFACE);
  EXPECT_TRUE(FAILED(device->ShowTunerPages(nullptr)));
  // A count with no array is no pages; a frame whose only page cannot be created could not be
  // closed, so none is opened.
  ComPtr<CaptureDevice> lying = Opened(L"filter-pages = uncreatable\nformat-pages = null-array");
  EXPECT_TRUE(FAILED(lying->ShowFilterPages(nullptr)));
  EXPECT_EQ(lying->ShowFormatPages(nullptr), S_OK);
  EXPECT_FALSE(driver.seen()) << "no frame opened";
}

TEST_F(DevicePages, FormatChosenOnThePageIsWhatStreamsAfterTheRebuild) {
  testsupport::TestWindow window(640, 480);
  ComPtr<CaptureDevice> device = Opened(L"format = RGB24 640x480 30\nformat = RGB24 320x240 30");
  device->videoWindow = window.handle();
  ModalDriver driver([](HWND frame) {
    HWND list = testsupport::FindControl(frame, 100, L"ComboBox");
    if (list == nullptr) return false;
    SendMessageW(list, CB_SETCURSEL, 1, 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(100, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    testsupport::PressButton(frame, IDOK);
    return true;
  });
  EXPECT_EQ(device->ShowFormatPages(window.handle()), S_OK);
  ASSERT_TRUE(driver.acted());
  ASSERT_TRUE(device->BuildPreviewGraph());
  ASSERT_TRUE(device->Run());
  simcam::StreamStats stats{};
  ComPtr<simcam::ISimCamDevice> kit;
  ASSERT_EQ(CaptureDeviceInspector::captureFilter(device.Get())
                ->QueryInterface(simcam::IID_ISimCamDevice, reinterpret_cast<void**>(kit.GetAddressOf())),
            S_OK);
  for (int i = 0; i < 60 && stats.framesDelivered < 3; ++i) {
    window.Pump(50);
    kit->GetStats(&stats);
  }
  EXPECT_GE(stats.framesDelivered, 3);
  EXPECT_EQ(stats.width, 320);
}

}  // namespace
