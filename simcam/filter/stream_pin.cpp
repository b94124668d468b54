#include "simcam/filter/stream_pin.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "simcam/common/control.h"
#include "simcam/filter/capture_filter.h"
#include "simcam/filter/crossbar_filter.h"

namespace simcam {
namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

bool SameCapability(const VideoFormat& wanted, const VideoFormat& offered) {
  return wanted.pixels == offered.pixels && wanted.width == offered.width && wanted.height == offered.height &&
         wanted.videoInfo2 == offered.videoInfo2 && wanted.fps >= 1.0 && wanted.fps <= offered.fps + 0.01;
}

REFERENCE_TIME ClockNow(IReferenceClock* clock) {
  REFERENCE_TIME now = 0;
  if (clock != nullptr && SUCCEEDED(clock->GetTime(&now))) return now;
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<REFERENCE_TIME>(static_cast<double>(counter.QuadPart) * kUnitsPerSecond /
                                     static_cast<double>(frequency.QuadPart));
}

// Breaks a media type as a lying driver hands it out: none at all, a format block too small for
// its format type, or none behind a non-zero size.
void TellMediaTypeLie(Lie lie, AM_MEDIA_TYPE** type) {
  if (lie == Lie::Null) {
    FreeTaskMediaType(*type);
    *type = nullptr;
  } else if (lie == Lie::FormatSize) {
    (*type)->cbFormat = 4;
  } else if (lie == Lie::NullFormat) {
    CoTaskMemFree((*type)->pbFormat);
    (*type)->pbFormat = nullptr;
  }
}

}  // namespace

StreamPin::StreamPin(CaptureFilter* filter, std::wstring id, const GUID& category, bool configurable, bool renderable)
    : PinBase(filter, std::move(id), PINDIR_OUTPUT, category),
      device_(filter),
      configurable_(configurable),
      renderable_(renderable),
      wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

StreamPin::~StreamPin() { Deactivate(); }

STDMETHODIMP StreamPin::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  const DeviceProfile& profile = device_->profile();
  if (configurable_ && iid == IID_IAMStreamConfig && profile.streamConfig) {
    *object = nullptr;
    return device_->faults().Respond(L"PinQueryInterface", [&](Lie lie) {
      if (lie == Lie::Null) return S_OK;
      *object = static_cast<IAMStreamConfig*>(this);
      AddRef();
      return S_OK;
    });
  } else if (configurable_ && iid == IID_ISpecifyPropertyPages && profile.streamConfig &&
             profile.formatPages != PagesKind::None) {
    *object = static_cast<ISpecifyPropertyPages*>(this);
  } else {
    return PinBase::QueryInterface(iid, object);
  }
  AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* StreamPin::PreferredType() {
  VideoFormat format = device_->currentFormat();
  if (!renderable_) format.pixels = PixelFormat::MJPG;
  return CreateMediaTypeFor(format);
}

// The current format, or its picture in a layout the peer's own buffers need: the same answer at
// connection, to QueryAccept and for a type that arrives on a sample.
bool StreamPin::LayoutFor(const AM_MEDIA_TYPE& type, SampleLayout* layout) {
  const VideoFormat current = device_->currentFormat();
  VideoFormat format;
  if (FormatOfMediaType(type, &format) && SameCapability(format, current)) {
    *layout = NativeLayoutOf(current);
    return true;
  }
  return LayoutOfMediaType(type, current, layout);
}

bool StreamPin::Accepts(const AM_MEDIA_TYPE& type) {
  SampleLayout layout;
  return LayoutFor(type, &layout);
}

HRESULT StreamPin::CompleteConnection(IPin* peer, const AM_MEDIA_TYPE& type) {
  Microsoft::WRL::ComPtr<IMemInputPin> input;
  HRESULT hr = peer->QueryInterface(IID_PPV_ARGS(&input));
  if (FAILED(hr)) return hr;
  Microsoft::WRL::ComPtr<IMemAllocator> allocator;
  if (FAILED(input->GetAllocator(&allocator)) || allocator == nullptr) {
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&allocator));
    if (FAILED(hr)) return hr;
  }
  // The preferred type of a pin that offers only MJPG describes no picture of the current format.
  if (!LayoutFor(type, &layout_)) layout_ = NativeLayoutOf(device_->currentFormat());
  sampleLayoutRefused_ = false;
  const long long picture = std::max<long long>(
      ImageSizeOf(device_->currentFormat()), static_cast<long long>(layout_.stride) * device_->currentFormat().height);
  // A sample size asked for by the peer beyond what a buffer's size can say is refused, not wrapped.
  const long long bufferSize = std::max<long long>(type.lSampleSize, picture);
  if (bufferSize > LONG_MAX) return VFW_E_TYPE_NOT_ACCEPTED;
  ALLOCATOR_PROPERTIES wanted{3, static_cast<long>(bufferSize), 1, 0}, actual{};
  hr = allocator->SetProperties(&wanted, &actual);
  if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator.Get(), FALSE);
  if (FAILED(hr)) return hr;
  input_ = input;
  allocator_ = allocator;
  device_->EnsureUpstream();
  return S_OK;
}

void StreamPin::BreakConnection() {
  Deactivate();
  input_.Reset();
  allocator_.Reset();
}

STDMETHODIMP StreamPin::SetFormat(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  return device_->faults().Respond(L"SetFormat", [&]() -> HRESULT {
    VideoFormat wanted;
    if (!FormatOfMediaType(*type, &wanted)) return VFW_E_INVALIDMEDIATYPE;
    if (wanted.fps <= 0) wanted.fps = 0;
    bool offered = false;
    for (const VideoFormat& capability : device_->profile().formats) {
      const bool sameSize =
          wanted.pixels == capability.pixels && wanted.width == capability.width && wanted.height == capability.height;
      if ((wanted.fps == 0 || device_->profile().fixedRate) && sameSize) wanted.fps = capability.fps;
      offered = offered || SameCapability(wanted, capability);
    }
    if (!offered) return VFW_E_INVALIDMEDIATYPE;
    if (device_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
    device_->SetCurrentFormat(wanted);
    // A connected pin changes its format through a reconnection, as drivers do.
    IFilterGraph* graph = device_->graph();
    Microsoft::WRL::ComPtr<IPin> receiver = peer();
    if (receiver == nullptr || graph == nullptr) return S_OK;
    graph->Disconnect(receiver.Get());
    graph->Disconnect(this);
    return graph->ConnectDirect(this, receiver.Get(), nullptr);
  });
}

STDMETHODIMP StreamPin::GetFormat(AM_MEDIA_TYPE** type) {
  if (type == nullptr) return E_POINTER;
  *type = nullptr;
  return device_->faults().Respond(L"GetFormat", [&](Lie lie) -> HRESULT {
    *type = CreateMediaTypeFor(device_->currentFormat());
    if (*type == nullptr) return E_OUTOFMEMORY;
    TellMediaTypeLie(lie, type);
    return S_OK;
  });
}

STDMETHODIMP StreamPin::GetNumberOfCapabilities(int* count, int* size) {
  if (count == nullptr || size == nullptr) return E_POINTER;
  *count = *size = 0;
  return device_->faults().Respond(L"GetNumberOfCapabilities", [&](Lie lie) -> HRESULT {
    *count = static_cast<int>(device_->profile().formats.size() + device_->profile().advertised.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    if (lie == Lie::Zero || lie == Lie::Negative || lie == Lie::Huge)
      *count = lie == Lie::Zero ? 0 : lie == Lie::Negative ? -1 : 0x7fffffff;
    // A caller that sizes its buffer by this answer gets the whole structure written into it.
    if (lie == Lie::SmallSize) *size = 4;
    return S_OK;
  });
}

STDMETHODIMP StreamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (type == nullptr || caps == nullptr) return E_POINTER;
  *type = nullptr;
  return device_->faults().Respond(L"GetStreamCaps", [&](Lie lie) -> HRESULT {
    const HRESULT answer = StreamCaps(index, type, caps);
    if (answer == S_OK) TellMediaTypeLie(lie, type);
    return answer;
  });
}

HRESULT StreamPin::StreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  const auto& formats = device_->profile().formats;
  const auto& advertised = device_->profile().advertised;
  if (index < 0 || static_cast<size_t>(index) >= formats.size() + advertised.size()) return S_FALSE;
  if (static_cast<size_t>(index) >= formats.size())
    return AdvertisedCapability(advertised[static_cast<size_t>(index) - formats.size()], type, caps);
  const VideoFormat& format = formats[static_cast<size_t>(index)];
  *type = CreateMediaTypeFor(format);
  if (*type == nullptr) return E_OUTOFMEMORY;
  VIDEO_STREAM_CONFIG_CAPS config{};
  config.guid = format.videoInfo2 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
  config.VideoStandard = AnalogVideo_None;
  config.InputSize = config.MinCroppingSize = config.MaxCroppingSize = {format.width, format.height};
  config.MinOutputSize = config.MaxOutputSize = {format.width, format.height};
  config.CropGranularityX = config.CropGranularityY = config.CropAlignX = config.CropAlignY = 1;
  config.OutputGranularityX = config.OutputGranularityY = 1;
  config.MinFrameInterval = static_cast<LONGLONG>(std::llround(kUnitsPerSecond / format.fps));
  config.MaxFrameInterval = kUnitsPerSecond;
  config.MinBitsPerSecond = static_cast<LONG>(ImageSizeOf(format) * 8);
  config.MaxBitsPerSecond = static_cast<LONG>(ImageSizeOf(format) * 8.0 * format.fps);
  std::memcpy(caps, &config, sizeof(config));
  return S_OK;
}

// An RGB24 capability of a size the device only claims, described as a driver would.
HRESULT StreamPin::AdvertisedCapability(SIZE size, AM_MEDIA_TYPE** type, BYTE* caps) {
  scoped::TaskMemory<AM_MEDIA_TYPE> created(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
  scoped::TaskMemory<VIDEOINFOHEADER> info(static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER))));
  if (!created || !info) return E_OUTOFMEMORY;
  *info.get() = VIDEOINFOHEADER{};
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = size.cx;
  info->bmiHeader.biHeight = size.cy;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 24;
  *created.get() = AM_MEDIA_TYPE{};
  created->majortype = MEDIATYPE_Video;
  created->subtype = MEDIASUBTYPE_RGB24;
  created->formattype = FORMAT_VideoInfo;
  created->cbFormat = sizeof(VIDEOINFOHEADER);
  created->pbFormat = reinterpret_cast<BYTE*>(info.release());
  *type = created.release();
  VIDEO_STREAM_CONFIG_CAPS config{};
  config.guid = FORMAT_VideoInfo;
  config.InputSize = config.MinOutputSize = config.MaxOutputSize = size;
  std::memcpy(caps, &config, sizeof(config));
  return S_OK;
}

STDMETHODIMP StreamPin::GetPages(CAUUID* pages) {
  return FillPageList(device_->faults(), device_->profile().formatPages, CLSID_SimCamFormatPage, L"GetFormatPages",
                      pages);
}

HRESULT StreamPin::Activate() {
  if (allocator_ == nullptr) return S_OK;
  return allocator_->Commit();
}

void StreamPin::Start(REFERENCE_TIME start) {
  start_ = start;
  running_ = true;
  if (input_ == nullptr || thread_.joinable()) return;
  ResetEvent(wake_.get());
  thread_ = std::thread([this] { Stream(); });
}

void StreamPin::Deactivate() {
  running_ = false;
  // Decommit first: a thread waiting for a buffer held downstream returns at once.
  if (allocator_ != nullptr) allocator_->Decommit();
  if (thread_.joinable()) {
    SetEvent(wake_.get());
    thread_.join();
  }
}

bool StreamPin::WaitUntil(REFERENCE_TIME due) {
  for (;;) {
    const REFERENCE_TIME now = ClockNow(device_->clock());
    if (now >= due) return true;
    const DWORD milliseconds = static_cast<DWORD>((due - now + 9999) / 10000);
    if (WaitForSingleObject(wake_.get(), milliseconds) == WAIT_OBJECT_0) return false;
  }
}

void StreamPin::Stream() {
  const REFERENCE_TIME frameTime =
      static_cast<REFERENCE_TIME>(std::llround(kUnitsPerSecond / device_->currentFormat().fps));
  LONGLONG number = 0;
  REFERENCE_TIME streamTime = 0;
  for (;;) {
    // A stalled device's thread hangs in its driver: whoever joins it waits for ever.
    if (device_->stalled()) device_->Hang();
    if (!running_ || device_->lost()) {
      if (WaitForSingleObject(wake_.get(), 5) == WAIT_OBJECT_0) return;
      continue;
    }
    // Live: the frame whose capture time has come, on the graph's clock.
    const REFERENCE_TIME start = device_->clock() != nullptr ? start_.load() : 0;
    const REFERENCE_TIME now = ClockNow(device_->clock());
    if (streamTime < now - start - frameTime) streamTime = std::max<REFERENCE_TIME>(0, now - start);
    if (!WaitUntil(start + streamTime)) return;
    if (!running_) continue;
    Deliver(number++, streamTime, frameTime);
    streamTime += frameTime;
  }
}

void StreamPin::Deliver(LONGLONG number, REFERENCE_TIME streamTime, REFERENCE_TIME frameTime) {
  Microsoft::WRL::ComPtr<IMediaSample> sample;
  if (FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0)) || sample == nullptr) return;
  if (!AdoptSampleLayout(sample.Get())) return;
  if (patternGeneration_ != device_->pictureGeneration()) {
    patternGeneration_ = device_->pictureGeneration();
    std::wstring name;
    DWORD colour = 0;
    LONG brightness = 100;
    device_->Picture(&name, &colour, &brightness);
    pattern_.Configure(device_->currentFormat(), name, colour, brightness);
  }
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  const long written = pattern_.Paint(buffer, sample->GetSize(), number, layout_);
  if (written == 0) return;
  sample->SetActualDataLength(written);
  REFERENCE_TIME begin = streamTime, end = streamTime + frameTime;
  sample->SetTime(&begin, &end);
  sample->SetSyncPoint(TRUE);
  const HRESULT hr = input_->Receive(sample.Get());
  device_->CountFrame(hr == S_OK);
}

// A renderer with surfaces of its own attaches the layout it needs to a sample, which holds from
// that sample on. One the kit cannot paint gets no picture, on that sample and the ones after it,
// rather than a wrong one.
bool StreamPin::AdoptSampleLayout(IMediaSample* sample) {
  AM_MEDIA_TYPE* type = nullptr;
  if (sample->GetMediaType(&type) == S_OK && type != nullptr) {
    sampleLayoutRefused_ = !LayoutFor(*type, &layout_);
    FreeTaskMediaType(type);
  }
  return !sampleLayoutRefused_;
}

STDMETHODIMP StreamPin::Disconnect() {
  if (configurable_ && IsConnected()) device_->BlockAt(BlockIn::Disconnect);
  return PinBase::Disconnect();
}

}  // namespace simcam
