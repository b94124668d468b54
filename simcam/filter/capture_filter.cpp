#include "simcam/filter/capture_filter.h"

#include <iterator>
#include <mutex>
#include <set>
#include <string>

#include "base/scoped.h"
#include "simcam/common/device_registry.h"
#include "simcam/filter/analog_pin.h"
#include "simcam/filter/crossbar_filter.h"
#include "simcam/filter/stream_pin.h"

namespace simcam {
namespace {

GUID CapturePinCategory(CapturePinKind kind) {
  switch (kind) {
    case CapturePinKind::Category:
      return PIN_CATEGORY_CAPTURE;
    case CapturePinKind::NameOnly:
      return GUID_NULL;
    case CapturePinKind::None:
      return PIN_CATEGORY_STILL;
  }
  return GUID_NULL;
}

GUID PreviewPinCategory(PreviewPinKind kind) {
  return kind == PreviewPinKind::Category    ? PIN_CATEGORY_PREVIEW
         : kind == PreviewPinKind::VideoPort ? PIN_CATEGORY_VIDEOPORT
                                             : GUID_NULL;
}

void Connect(PinBase* output, PinBase* input) {
  if (!output->IsConnected() && !input->IsConnected()) output->ConnectTo(input);
}

void Disconnect(PinBase* pin) {
  Microsoft::WRL::ComPtr<IPin> peer = pin->peer();
  if (peer != nullptr) peer->Disconnect();
  pin->Disconnect();
}

// Devices that were slow once in this process, by name and settings (a registered device's name
// may live outside its stored settings), as a new filter is bound for each use.
std::mutex slowDevicesLock;
std::set<std::wstring> slowDevices;
std::atomic<bool> detachWaits{false};

}  // namespace

bool DetachWaitsForHungDevice() { return detachWaits; }

CaptureFilter::CaptureFilter() : FilterBase(std::make_shared<FaultPlan>()) { ApplyProfile(DeviceProfile()); }

CaptureFilter::~CaptureFilter() {
  ReleaseCard();
  pins_.clear();  // stream pins stop their threads while the filter is still whole
}

void CaptureFilter::ReleaseCard() {
  DisconnectUpstream();
  crossbars_.clear();
  tuner_.Reset();
  analogIn_ = nullptr;
}

void CaptureFilter::ApplyProfile(const DeviceProfile& profile) {
  profile_ = profile;
  if (profile_.formats.empty()) profile_.formats = DefaultFormats();
  if (profile_.defaultFormat >= profile_.formats.size()) profile_.defaultFormat = 0;
  current_ = profile_.formats[profile_.defaultFormat];
  routing_ = std::make_shared<RoutingState>(profile_);
  faults().Load(profile_.faults);

  ReleaseCard();
  pins_.clear();
  pins_.push_back(std::make_unique<StreamPin>(this, profile_.capturePin == CapturePinKind::None ? L"Still" : L"Capture",
                                              CapturePinCategory(profile_.capturePin), true, true));
  if (profile_.previewPin != PreviewPinKind::None)
    pins_.push_back(std::make_unique<StreamPin>(this, L"Preview", PreviewPinCategory(profile_.previewPin), false,
                                                profile_.previewRenderable));
  if (profile_.crossbars.empty()) return;
  auto analogIn =
      std::make_unique<AnalogPin>(this, L"Analog Video In", PINDIR_INPUT, PIN_CATEGORY_ANALOGVIDEOIN, false);
  analogIn_ = analogIn.get();
  pins_.push_back(std::move(analogIn));
  // Out of memory, the card has no crossbars and no tuner: its analog input stays unconnected.
  for (size_t i = 0; i < profile_.crossbars.size(); ++i) {
    Microsoft::WRL::ComPtr<CrossbarFilter> crossbar(new (std::nothrow) CrossbarFilter(faultPlan(), routing_, i));
    if (crossbar == nullptr) return ReleaseCard();
    crossbars_.push_back(std::move(crossbar));
  }
  if (profile_.tuner) {
    tuner_ = new (std::nothrow) TunerFilter(faultPlan(), routing_);
    if (tuner_ == nullptr) return ReleaseCard();
  }
}

STDMETHODIMP CaptureFilter::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IPersistPropertyBag) {
    *object = static_cast<IPersistPropertyBag*>(this);
  } else if (iid == IID_ISpecifyPropertyPages && profile_.filterPages != PagesKind::None) {
    *object = static_cast<ISpecifyPropertyPages*>(this);
  } else if (iid == IID_ISimCamDevice) {
    *object = static_cast<ISimCamDevice*>(this);
  } else {
    return QueryFilterInterface(iid, object);
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP CaptureFilter::InitNew() { return S_OK; }

STDMETHODIMP CaptureFilter::Load(IPropertyBag* bag, IErrorLog* log) {
  if (bag == nullptr) return E_POINTER;
  scoped::Variant text;
  text.value.vt = VT_BSTR;
  // Without a profile the filter stays the plain default webcam; a damaged one binds no device.
  HRESULT result = S_OK;
  if (SUCCEEDED(bag->Read(kProfileValue, &text.value, log)) && text.value.vt == VT_BSTR &&
      text.value.bstrVal != nullptr) {
    DeviceProfile profile;
    if (ParseDevice(text.value.bstrVal, &profile))
      ApplyProfile(profile);
    else
      result = E_INVALIDARG;
  }
  return FAILED(result) ? result : faults().Check(L"Load");
}

STDMETHODIMP CaptureFilter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

STDMETHODIMP CaptureFilter::GetPages(CAUUID* pages) {
  return FillPageList(faults(), profile_.filterPages, CLSID_SimCamVideoPage, L"GetFilterPages", pages);
}

VideoFormat CaptureFilter::currentFormat() {
  std::lock_guard<std::mutex> guard(lock_);
  return current_;
}

void CaptureFilter::SetCurrentFormat(const VideoFormat& format) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    current_ = format;
  }
  ++pictureChanges_;
}

void CaptureFilter::Picture(std::wstring* name, DWORD* colour, LONG* brightness) {
  routing_->RoutedPicture(name, colour);
  *brightness = brightness_;
}

STDMETHODIMP CaptureFilter::SetBrightness(LONG percent) {
  if (percent < 0 || percent > 100) return E_INVALIDARG;
  brightness_ = percent;
  ++pictureChanges_;
  return S_OK;
}

void CaptureFilter::CountFrame(bool accepted) {
  if (!accepted) {
    ++refused_;
    return;
  }
  if (accepted_ == 0) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    firstFrameQpc_ = now.QuadPart;
  }
  const LONG frames = ++accepted_;
  if (frames == profile_.loseAfterFrames) ReportDeviceLost();
  if (frames == profile_.stallAfterFrames) stalled_ = true;
}

void CaptureFilter::Hang() {
  if (profile_.detachWaits) detachWaits = true;
  WaitForEver();
}

void CaptureFilter::WaitForEver() {
  for (;;) Sleep(INFINITE);
}

void CaptureFilter::BlockAt(BlockIn place) {
  if (profile_.blockIn != place) return;
  if (profile_.blockForMs == 0) Hang();
  {
    std::lock_guard<std::mutex> guard(slowDevicesLock);
    if (!slowDevices.insert(profile_.name + L"\n" + profile_.text).second) return;
  }
  Sleep(profile_.blockForMs);
}

STDMETHODIMP CaptureFilter::LoseDevice() {
  ReportDeviceLost();
  return S_OK;
}

void CaptureFilter::ReportDeviceLost() {
  if (lost_.exchange(true)) return;
  IFilterGraph* owner = graph();
  if (owner == nullptr) return;
  Microsoft::WRL::ComPtr<IMediaEventSink> sink;
  if (SUCCEEDED(owner->QueryInterface(IID_PPV_ARGS(&sink))))
    sink->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), 0);
}

STDMETHODIMP CaptureFilter::GetStats(StreamStats* stats) {
  if (stats == nullptr) return E_POINTER;
  *stats = StreamStats{};
  stats->framesDelivered = accepted_;
  stats->framesRefused = refused_;
  stats->firstFrameQpc = firstFrameQpc_;
  const VideoFormat format = currentFormat();
  stats->width = format.width;
  stats->height = format.height;
  std::wstring name;
  DWORD colour = 0;
  routing_->RoutedPicture(&name, &colour);
  stats->routedInput[name.copy(stats->routedInput, std::size(stats->routedInput) - 1)] = L'\0';
  return S_OK;
}

std::vector<StreamPin*> CaptureFilter::streamPins() {
  std::vector<StreamPin*> list;
  for (const auto& pin : pins_)
    if (auto* stream = dynamic_cast<StreamPin*>(pin.get())) list.push_back(stream);
  return list;
}

STDMETHODIMP CaptureFilter::LoseAtNextStateChange(LONG state) {
  lossState_ = state;
  return S_OK;
}

HRESULT CaptureFilter::OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) {
  if (to == State_Paused && from == State_Stopped) BlockAt(BlockIn::Pause);
  if (to == State_Running) BlockAt(BlockIn::Run);
  if (to == State_Stopped && from != State_Stopped) BlockAt(BlockIn::Stop);
  LONG armed = to;
  if (lossState_.compare_exchange_strong(armed, -1)) ReportDeviceLost();
  // Unplugged hardware does not start again, whichever graph it is put in.
  if (lost_ && from == State_Stopped && to != State_Stopped) return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
  for (StreamPin* pin : streamPins()) {
    if (to == State_Stopped) {
      pin->Deactivate();
    } else if (from == State_Stopped) {
      const HRESULT hr = pin->Activate();
      if (FAILED(hr)) return hr;
    } else if (to == State_Running) {
      pin->Start(start);
    } else {
      pin->Idle();
    }
  }
  return S_OK;
}

void CaptureFilter::OnJoinGraph(IFilterGraph* graph) {
  if (graph != nullptr)
    EnsureUpstream();
  else
    DisconnectUpstream();
}

void CaptureFilter::EnsureUpstream() {
  IFilterGraph* owner = graph();
  if (owner == nullptr || analogIn_ == nullptr || analogIn_->IsConnected()) return;
  for (const auto& crossbar : crossbars_)
    if (crossbar->graph() != owner)
      owner->AddFilter(crossbar.Get(), (L"SimCam Crossbar " + crossbar->layout().name).c_str());
  if (tuner_ != nullptr && tuner_->graph() != owner) owner->AddFilter(tuner_.Get(), L"SimCam TV Tuner");

  Connect(crossbars_[0]->OutputPin(0), analogIn_);
  bool tunerConnected = tuner_ == nullptr;
  for (const auto& crossbar : crossbars_) {
    const auto& inputs = crossbar->layout().inputs;
    for (size_t i = 0; i < inputs.size(); ++i) {
      if (inputs[i].fedBy >= 0) {
        Connect(crossbars_[static_cast<size_t>(inputs[i].fedBy)]->OutputPin(static_cast<size_t>(inputs[i].fedByOutput)),
                crossbar->InputPin(i));
      } else if (inputs[i].type == PhysConn_Video_Tuner && !tunerConnected) {
        Connect(tuner_->OutputPin(), crossbar->InputPin(i));
        tunerConnected = true;
      }
    }
  }
}

// Connected pins count on each other; leaving the graph must not leave a cycle behind.
void CaptureFilter::DisconnectUpstream() {
  if (analogIn_ != nullptr) Disconnect(analogIn_);
  for (const auto& crossbar : crossbars_) {
    for (size_t i = 0; i < crossbar->layout().inputs.size(); ++i) Disconnect(crossbar->InputPin(i));
    for (size_t i = 0; i < crossbar->layout().outputs.size(); ++i) Disconnect(crossbar->OutputPin(i));
  }
  if (tuner_ != nullptr) Disconnect(tuner_->OutputPin());
}

}  // namespace simcam
