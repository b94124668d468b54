// The simulated device kit against Wine's real filter graph and VMR-9, in a window of the test's
// own: what every later test relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "base/scoped.h"
#include "capture/pin_lookup.h"
#include "simcam/common/control.h"
#include "tests/support/doubles/test_filter.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"

using Microsoft::WRL::ComPtr;
using testsupport::Device;
using testsupport::PreviewGraph;
using testsupport::TestWindow;

namespace {

const wchar_t kCard[] =
    L"format = RGB24 640x480 30\n"
    L"crossbar = Main: Tuner~3 Composite~4 SVideo<Extra.0 AudioTuner~0 AudioLine~1 -> VideoDecoder~1 "
    L"AudioDecoder~0\n"
    L"crossbar = Extra: SVideo Composite -> VideoDecoder\n"
    L"tuner = yes\n";

// What Windows' renderers do with surfaces of their own: the allocator attaches the surface's type
// (here RGB32 640x480, top-down, rows 704 pixels apart) to the first sample it hands out.
class SurfaceAllocator : public testsupport::Counted<IMemAllocator> {
 public:
  SurfaceAllocator(IMemAllocator* memory, const AM_MEDIA_TYPE& surface) : memory_(memory), surface_(surface) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IMemAllocator) return *object = nullptr, E_NOINTERFACE;
    *object = static_cast<IMemAllocator*>(this);
    return AddRef(), S_OK;
  }
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* wanted, ALLOCATOR_PROPERTIES* actual) override {
    wanted->cbBuffer = std::max<long>(wanted->cbBuffer, static_cast<long>(surface_.lSampleSize));
    return memory_->SetProperties(wanted, actual);
  }
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override { return memory_->GetProperties(properties); }
  STDMETHODIMP Commit() override { return memory_->Commit(); }
  STDMETHODIMP Decommit() override { return memory_->Decommit(); }
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override {
    const HRESULT hr = memory_->GetBuffer(sample, start, end, flags);
    if (SUCCEEDED(hr) && !attached_) attached_ = SUCCEEDED((*sample)->SetMediaType(&surface_));
    return hr;
  }
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override { return memory_->ReleaseBuffer(sample); }

 private:
  ComPtr<IMemAllocator> memory_;
  AM_MEDIA_TYPE surface_;
  bool attached_ = false;
};

// An input pin that keeps a copy of each picture it receives.
class SurfaceSink : public testsupport::TestPin, public IMemInputPin {
 public:
  explicit SurfaceSink(IMemAllocator* allocator) : TestPin(PINDIR_INPUT, L"In", GUID_NULL), allocator_(allocator) {
    hasPropertySet = false;
  }
  std::vector<std::vector<BYTE>> pictures;  // read once the stream has stopped

  size_t Received() {
    std::lock_guard<std::mutex> guard(lock_);
    return pictures.size();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IMemInputPin) return TestPin::QueryInterface(iid, object);
    *object = static_cast<IMemInputPin*>(this);
    return AddRef(), S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return TestPin::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return TestPin::Release(); }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE*) override {
    return connector_ = connector, S_OK;
  }
  STDMETHODIMP Disconnect() override { return connector_.Reset(), S_OK; }
  STDMETHODIMP ConnectedTo(IPin** pin) override { return connector_.CopyTo(pin), *pin ? S_OK : VFW_E_NOT_CONNECTED; }
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override { return allocator_.CopyTo(allocator), S_OK; }
  STDMETHODIMP NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    std::lock_guard<std::mutex> guard(lock_);
    pictures.emplace_back(bytes, bytes + sample->GetActualDataLength());
    return S_OK;
  }
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* done) override {
    for (*done = 0; *done < count; ++*done) Receive(samples[*done]);
    return S_OK;
  }
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

 private:
  ComPtr<IMemAllocator> allocator_;
  ComPtr<IPin> connector_;
  std::mutex lock_;
};

class SimCamKit : public testsupport::KitTest {
 protected:
  ComPtr<IBaseFilter> Only(const simcam::DeviceProfile& device) {
    EXPECT_EQ(testsupport::ReplaceDevices({device}), S_OK);
    return testsupport::BindDevice(1);
  }
  // Runs the window until `done` or about three seconds.
  template <typename Done>
  bool PumpUntil(const TestWindow& window, Done done) {
    for (int i = 0; i < 60; ++i) {
      if (done()) return true;
      window.Pump(50);
    }
    return false;
  }
};

TEST_F(SimCamKit, FramesArriveAtTheFormatRateAndAreDrawnInTheWindow) {
  TestWindow window(640, 480);
  {
    ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"format = RGB24 640x480 30"));
    ASSERT_NE(capture, nullptr);
    PreviewGraph preview(capture.Get(), window.handle());
    ASSERT_EQ(preview.result, S_OK);
    ASSERT_TRUE(SUCCEEDED(preview.control->Run()));
    ASSERT_TRUE(PumpUntil(window, [&] { return preview.Stats().framesDelivered > 0; }));
    const LONG first = preview.Stats().framesDelivered;
    window.Pump(1000);
    const LONG perSecond = preview.Stats().framesDelivered - first;
    EXPECT_GE(perSecond, 25);
    EXPECT_LE(perSecond, 33);
    EXPECT_EQ(preview.Stats().framesRefused, 0);
    EXPECT_TRUE(testsupport::SameColour(window.PixelAt(40, 150), 0xffffff)) << std::hex << window.PixelAt(40, 150);
    EXPECT_TRUE(testsupport::SameColour(window.PixelAt(600, 470), simcam::kNoInputColour));
    preview.control->Stop();
    const LONG stopped = preview.Stats().framesDelivered;
    window.Pump(200);
    EXPECT_EQ(preview.Stats().framesDelivered, stopped) << "a frame after Stop";
  }
}

TEST_F(SimCamKit, SetFormatChangesWhatIsStreamed) {
  TestWindow window(640, 480);
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"format = RGB24 640x480 30\nformat = RGB24 320x240 30"));
  ASSERT_NE(capture, nullptr);
  ComPtr<IPin> pin;
  ASSERT_EQ(capture->FindPin(L"Capture", &pin), S_OK);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(pin.As(&config), S_OK);
  int count = 0, size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(size, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  AM_MEDIA_TYPE* smaller = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps;
  ASSERT_EQ(config->GetStreamCaps(1, &smaller, reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(caps.MaxOutputSize.cx, 320);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(smaller->pbFormat);
  info->bmiHeader.biWidth = 352;  // not offered
  EXPECT_EQ(config->SetFormat(smaller), VFW_E_INVALIDMEDIATYPE);
  info->bmiHeader.biWidth = 320;
  info->AvgTimePerFrame = 666666;  // 15 fps: below the offered rate is fine
  EXPECT_EQ(config->SetFormat(smaller), S_OK);
  info->bmiHeader.biHeight = -240;
  EXPECT_EQ(config->SetFormat(smaller), VFW_E_INVALIDMEDIATYPE) << "every capability is bottom-up";
  EXPECT_EQ(pin->QueryAccept(smaller), S_OK) << "the same picture top-down, painted so";
  info->bmiHeader.biHeight = 240;
  EXPECT_EQ(config->SetFormat(smaller), S_OK);
  EXPECT_EQ(pin->QueryAccept(smaller), S_OK);
  CoTaskMemFree(smaller->pbFormat);
  CoTaskMemFree(smaller);

  PreviewGraph preview(capture.Get(), window.handle());
  ASSERT_EQ(preview.result, S_OK);
  ASSERT_TRUE(SUCCEEDED(preview.control->Run()));
  ASSERT_TRUE(PumpUntil(window, [&] { return preview.Stats().framesDelivered > 3; }));
  EXPECT_EQ(preview.Stats().width, 320);
  EXPECT_EQ(config->SetFormat(nullptr), E_POINTER);
  AM_MEDIA_TYPE* current = nullptr;
  ASSERT_EQ(config->GetFormat(&current), S_OK);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->AvgTimePerFrame, 666666);
  EXPECT_EQ(config->SetFormat(current), VFW_E_NOT_STOPPED) << "a running driver refuses a new format";
  CoTaskMemFree(current->pbFormat);
  CoTaskMemFree(current);
}

TEST_F(SimCamKit, RoutingACrossbarChangesThePicture) {
  TestWindow window(640, 480);
  ComPtr<IBaseFilter> capture = Only(Device(L"Card", kCard));
  ASSERT_NE(capture, nullptr);
  PreviewGraph preview(capture.Get(), window.handle());
  ASSERT_EQ(preview.result, S_OK);
  ComPtr<IAMCrossbar> main;
  ASSERT_EQ(preview.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture.Get(), IID_PPV_ARGS(&main)),
            S_OK);
  ComPtr<IAMTVTuner> tuner;
  EXPECT_EQ(
      preview.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture.Get(), IID_PPV_ARGS(&tuner)),
      S_OK);
  ASSERT_TRUE(SUCCEEDED(preview.control->Run()));
  ASSERT_TRUE(PumpUntil(window, [&] { return preview.Stats().framesDelivered > 3; }));
  EXPECT_STREQ(preview.Stats().routedInput, L"Main Tuner ch 4");
  EXPECT_TRUE(testsupport::SameColour(window.PixelAt(600, 470), simcam::RoutedInputColour(0)));

  EXPECT_EQ(main->CanRoute(0, 3), S_FALSE) << "audio input to the video output";
  EXPECT_EQ(main->Route(0, 1), S_OK);
  ASSERT_TRUE(PumpUntil(
      window, [&] { return testsupport::SameColour(window.PixelAt(600, 470), simcam::RoutedInputColour(1)); }));
  EXPECT_STREQ(preview.Stats().routedInput, L"Main Composite");
  EXPECT_EQ(main->Route(0, 2), S_OK);  // through the Extra crossbar, still at its S-Video
  ASSERT_TRUE(PumpUntil(
      window, [&] { return testsupport::SameColour(window.PixelAt(600, 470), simcam::RoutedInputColour(2)); }));
  EXPECT_STREQ(preview.Stats().routedInput, L"Extra SVideo");
}

TEST_F(SimCamKit, DeviceLossReachesTheGraphsEventQueue) {
  TestWindow window(640, 480);
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"lose-after = 5"));
  ASSERT_NE(capture, nullptr);
  PreviewGraph preview(capture.Get(), window.handle());
  ASSERT_EQ(preview.result, S_OK);
  ASSERT_TRUE(SUCCEEDED(preview.control->Run()));
  long code = 0;
  LONG_PTR first = 0, second = 0;
  ASSERT_TRUE(PumpUntil(window, [&] {
    while (preview.events->GetEvent(&code, &first, &second, 10) == S_OK) {
      preview.events->FreeEventParams(code, first, second);
      if (code == EC_DEVICE_LOST) return true;
    }
    return false;
  }));
  EXPECT_EQ(second, 0);
  window.Pump(200);
  EXPECT_EQ(preview.Stats().framesDelivered, 5) << "a lost device delivers nothing more";
}

TEST_F(SimCamKit, InjectedFaultFiresExactlyAtTheKthCall) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"fail = GetStreamCaps 2 E_OUTOFMEMORY"));
  ASSERT_NE(capture, nullptr);
  ComPtr<IPin> pin;
  ASSERT_EQ(capture->FindPin(L"Capture", &pin), S_OK);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(pin.As(&config), S_OK);
  const HRESULT expected[] = {S_OK, E_OUTOFMEMORY, S_OK};
  for (HRESULT wanted : expected) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    EXPECT_EQ(config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), wanted);
    if (type != nullptr) {
      CoTaskMemFree(type->pbFormat);
      CoTaskMemFree(type);
    }
  }
}

TEST_F(SimCamKit, ProgramOnlyFaultsCountOnlyTheExecutablesOwnCalls) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"fail = EnumPins 1 E_FAIL program"));
  ASSERT_NE(capture, nullptr);
  testsupport::ResetKitCallCounts();
  testsupport::TestWindow window(320, 240);
  {
    testsupport::PreviewGraph graph(capture.Get(), window.handle());
    ASSERT_EQ(graph.result, S_OK) << "the graph's own pin enumerations are not the program's";
    EXPECT_GT(testsupport::KitCallCount(L"EnumPins", false), 0);
    EXPECT_EQ(testsupport::KitCallCount(L"EnumPins", true), 0);
  }
  ComPtr<IEnumPins> pins;
  EXPECT_EQ(capture->EnumPins(&pins), E_FAIL);
  EXPECT_EQ(capture->EnumPins(&pins), S_OK);
  EXPECT_EQ(testsupport::KitCallCount(L"EnumPins", true), 2);
  EXPECT_EQ(testsupport::KitInjectedFaults(), 1);
}

TEST_F(SimCamKit, AnEnumeratorWithBrokenMovesRewindsToItsEndAndClonesNothing) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"lie = EnumPins 1 broken-moves program"));
  ASSERT_NE(capture, nullptr);
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(capture->EnumPins(&pins), S_OK);
  ComPtr<IPin> pin;
  EXPECT_EQ(pins->Skip(1000), S_OK);
  EXPECT_EQ(pins->Next(1, &pin, nullptr), S_OK) << "Skip did not move";
  EXPECT_EQ(pins->Reset(), S_OK);
  EXPECT_EQ(pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr), S_FALSE) << "Reset went to the end";
  ComPtr<IEnumPins> clone;
  EXPECT_EQ(pins->Clone(&clone), S_OK);
  EXPECT_EQ(clone, nullptr);
}

TEST_F(SimCamKit, PagesAreRealCreatablePropertyPages) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam"));
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(capture.As(&pages), S_OK);
  scoped::PageArray list;
  ASSERT_EQ(pages->GetPages(&list.pages), S_OK);
  ASSERT_EQ(list.pages.cElems, 1u);
  ComPtr<IPropertyPage> page;
  EXPECT_EQ(CoCreateInstance(list.pages.pElems[0], nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page)), S_OK);
  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"Video");
  CoTaskMemFree(info.pszTitle);

  ComPtr<IBaseFilter> zero = Only(Device(L"Zero", L"filter-pages = zero"));
  ASSERT_EQ(zero.As(&pages), S_OK);
  scoped::PageArray empty;
  ASSERT_EQ(pages->GetPages(&empty.pages), S_OK);
  EXPECT_EQ(empty.pages.cElems, 0u);
  ComPtr<IBaseFilter> none = Only(Device(L"None", L"filter-pages = none"));
  EXPECT_EQ(none.As(&pages), E_NOINTERFACE);
}

// The frame makes the page as large as the page says: every control must lie within that.
TEST_F(SimCamKit, APageSaysTheSizeItsControlsTakeAtTheScreensScale) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam"));
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(capture.As(&pages), S_OK);
  scoped::PageArray list;
  ASSERT_EQ(pages->GetPages(&list.pages), S_OK);
  ASSERT_EQ(list.pages.cElems, 1u);
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(CoCreateInstance(list.pages.pElems[0], nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page)), S_OK);
  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  CoTaskMemFree(info.pszTitle);
  IUnknown* objects[] = {capture.Get()};
  ASSERT_EQ(page->SetObjects(1, objects), S_OK);
  testsupport::TestWindow frame(800, 600);
  const RECT area = {0, 0, info.size.cx, info.size.cy};
  ASSERT_EQ(page->Activate(frame.handle(), &area, FALSE), S_OK);
  HWND dialog = FindWindowExW(frame.handle(), nullptr, nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  int controls = 0;
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, frame.handle(), reinterpret_cast<POINT*>(&rect), 2);
    ++controls;
    EXPECT_LE(rect.right, info.size.cx) << "control " << controls;
    EXPECT_LE(rect.bottom, info.size.cy) << "control " << controls;
  }
  EXPECT_EQ(controls, 2) << "a label and a list";
  page->Deactivate();
  page->SetObjects(0, nullptr);
}

// Streams two pictures of an RGB32 640x480 device into `sink`, connected with `type` (or the pin's
// own choice).
std::vector<std::vector<BYTE>> TwoPictures(IBaseFilter* capture, SurfaceSink* sink, const AM_MEDIA_TYPE* type) {
  ComPtr<IPin> pin;
  EXPECT_EQ(FindCapturePin(capture, &pin), S_OK);
  if (pin == nullptr || pin->Connect(sink, type) != S_OK) return {};
  EXPECT_EQ(capture->Run(0), S_OK);
  for (int i = 0; i < 100 && sink->Received() < 2; ++i) Sleep(20);
  capture->Stop();
  pin->Disconnect();
  sink->Disconnect();
  return sink->pictures;
}

// A Windows renderer's surface: top-down, rows 704 pixels apart. The colour bars, as a user names
// them, run left to right across the picture's top three quarters; row 105's start lies 320 pixels
// on in a picture painted with rows 640 pixels apart, four bars away.
void ExpectTopDownBarsInRowsOf704(const std::vector<std::vector<BYTE>>& pictures) {
  ASSERT_GE(pictures.size(), 2u);
  const DWORD bars[] = {0xffffff, 0xffff00, 0x00ffff, 0x00ff00, 0xff00ff, 0xff0000, 0x0000ff, 0x000000};
  for (size_t picture = 0; picture < 2; ++picture) {
    const std::vector<BYTE>& bytes = pictures[picture];
    ASSERT_EQ(bytes.size(), 704u * 480 * 4);
    const auto pixel = [&bytes](size_t x, size_t row) {
      const BYTE* bgr = &bytes[(row * 704 + x) * 4];
      return static_cast<DWORD>(bgr[2] << 16 | bgr[1] << 8 | bgr[0]);
    };
    for (size_t bar = 0; bar < 8; ++bar) {
      for (size_t row : {100, 105})
        EXPECT_EQ(pixel(40 + 80 * bar, row), bars[bar]) << "picture " << picture << ", bar " << bar << ", row " << row;
      EXPECT_EQ(pixel(40 + 80 * bar, 400), pixel(40, 400)) << "the bottom quarter is one band";
    }
  }
}

struct Surface {
  VIDEOINFOHEADER format{};
  AM_MEDIA_TYPE type{};
  Surface() {
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), 704, -480, 1, 32, BI_RGB, 704 * 480 * 4, 0, 0, 0, 0};
    format.rcSource = format.rcTarget = {0, 0, 640, 480};
    type = {MEDIATYPE_Video, MEDIASUBTYPE_RGB32, TRUE,
            FALSE,           704 * 480 * 4,      FORMAT_VideoInfo,
            nullptr,         sizeof(format),     reinterpret_cast<BYTE*>(&format)};
  }
};

// A sink whose allocator, as a renderer's own does, attaches `surface` to the first sample.
ComPtr<SurfaceSink> SinkAttaching(const AM_MEDIA_TYPE& surface) {
  ComPtr<IMemAllocator> memory;
  if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&memory))))
    return nullptr;
  ComPtr<IMemAllocator> allocator;
  allocator.Attach(new SurfaceAllocator(memory.Get(), surface));
  ComPtr<SurfaceSink> sink;
  sink.Attach(new SurfaceSink(allocator.Get()));
  return sink;
}

TEST_F(SimCamKit, APictureIsPaintedInTheLayoutTheRenderersOwnAllocatorAttaches) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"format = RGB32 640x480 30"));
  const Surface surface;
  ComPtr<SurfaceSink> sink = SinkAttaching(surface.type);
  ASSERT_NE(sink, nullptr);
  ExpectTopDownBarsInRowsOf704(TwoPictures(capture.Get(), sink.Get(), nullptr));
}

TEST_F(SimCamKit, APictureIsPaintedInTheLayoutAskedForAtConnection) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"format = RGB32 640x480 30"));
  const Surface surface;
  ComPtr<IMemAllocator> memory;
  ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&memory)), S_OK);
  ComPtr<SurfaceSink> sink;
  sink.Attach(new SurfaceSink(memory.Get()));
  ExpectTopDownBarsInRowsOf704(TwoPictures(capture.Get(), sink.Get(), &surface.type));
}

TEST_F(SimCamKit, AConnectionOrSampleLayoutItCannotHonourGetsNoPicture) {
  ComPtr<IBaseFilter> capture = Only(Device(L"Cam", L"format = RGB32 640x480 30"));
  ComPtr<IPin> pin;
  ASSERT_EQ(FindCapturePin(capture.Get(), &pin), S_OK);
  ComPtr<IMemAllocator> memory;
  ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&memory)), S_OK);
  ComPtr<SurfaceSink> plain;
  plain.Attach(new SurfaceSink(memory.Get()));
  Surface huge;
  huge.type.lSampleSize = 0x90000000;  // 2.25 GiB: more than a buffer's size can say
  EXPECT_EQ(pin->Connect(plain.Get(), &huge.type), VFW_E_TYPE_NOT_ACCEPTED);
  pin->Disconnect();
  plain->Disconnect();
  for (const GUID& pixels : {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32}) {
    AM_MEDIA_TYPE partial{};
    partial.majortype = MEDIATYPE_Video;
    partial.subtype = pixels;
    const bool own = pixels == MEDIASUBTYPE_RGB32;
    EXPECT_EQ(pin->Connect(plain.Get(), &partial), own ? S_OK : VFW_E_NO_ACCEPTABLE_TYPES)
        << (own ? "RGB32" : "RGB24") << " asked of an RGB32 device";
    pin->Disconnect();
    plain->Disconnect();
  }

  // Attached to the first sample: rows narrower than the picture, or wider than its buffers hold.
  for (const LONG rowWidth : {320, 704}) {
    Surface surface;
    surface.format.bmiHeader.biWidth = rowWidth;
    surface.type.lSampleSize = 0;
    ComPtr<SurfaceSink> sink = SinkAttaching(surface.type);
    ASSERT_NE(sink, nullptr);
    ASSERT_EQ(pin->Connect(sink.Get(), nullptr), S_OK);
    ASSERT_EQ(capture->Run(0), S_OK);
    Sleep(500);
    capture->Stop();
    pin->Disconnect();
    sink->Disconnect();
    EXPECT_EQ(sink->Received(), 0u) << "rows of " << rowWidth << " pixels: nothing on that sample or after it";
  }
}

}  // namespace
