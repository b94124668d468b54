#include "simcam/filter/crossbar_filter.h"

#include "simcam/common/control.h"

namespace simcam {
namespace {

// Not creatable: the capture filter makes its card's crossbars and tuner itself.
constexpr CLSID kCrossbarClsid = {0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0x20}};
constexpr CLSID kTunerClsid = {0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0x21}};
constexpr LONG kMinChannel = 1, kMaxChannel = 99;

// A page class that is registered nowhere.
constexpr CLSID kUnregisteredClsid = {0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0xff}};

}  // namespace

HRESULT FillPageList(FaultPlan& faults, PagesKind kind, const CLSID& page, const wchar_t* method, CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return faults.Respond(method, [&](Lie lie) -> HRESULT {
    if (lie == Lie::Null) kind = PagesKind::NullArray;
    if (kind == PagesKind::NullArray) pages->cElems = 1;
    if (kind != PagesKind::Pages && kind != PagesKind::Uncreatable) return S_OK;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (pages->pElems == nullptr) return E_OUTOFMEMORY;
    pages->pElems[0] = kind == PagesKind::Pages ? page : kUnregisteredClsid;
    pages->cElems = 1;
    return S_OK;
  });
}

CrossbarFilter::CrossbarFilter(std::shared_ptr<FaultPlan> faults, std::shared_ptr<RoutingState> routing, size_t index)
    : FilterBase(std::move(faults)), routing_(std::move(routing)), index_(index) {
  for (size_t i = 0; i < layout().inputs.size(); ++i)
    pins_.push_back(std::make_unique<AnalogPin>(this, L"In " + std::to_wstring(i), PINDIR_INPUT, GUID_NULL,
                                                IsAudioConnector(layout().inputs[i].type)));
  for (size_t i = 0; i < layout().outputs.size(); ++i)
    pins_.push_back(std::make_unique<AnalogPin>(this, L"Out " + std::to_wstring(i), PINDIR_OUTPUT, GUID_NULL,
                                                IsAudioConnector(layout().outputs[i].type)));
}

CLSID CrossbarFilter::ClassId() const { return kCrossbarClsid; }

STDMETHODIMP CrossbarFilter::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IAMCrossbar) {
    *object = nullptr;
    return faults().Respond(L"QueryCrossbar", [&](Lie lie) {
      if (lie == Lie::Null) return S_OK;
      *object = static_cast<IAMCrossbar*>(this);
      AddRef();
      return S_OK;
    });
  }
  return QueryFilterInterface(iid, object);
}

STDMETHODIMP CrossbarFilter::get_PinCounts(LONG* outputs, LONG* inputs) {
  if (outputs == nullptr || inputs == nullptr) return E_POINTER;
  *outputs = *inputs = 0;
  return faults().Respond(L"get_PinCounts", [&](Lie lie) -> HRESULT {
    *outputs = static_cast<LONG>(layout().outputs.size());
    *inputs = static_cast<LONG>(layout().inputs.size());
    if (lie == Lie::Zero || lie == Lie::Negative || lie == Lie::Huge)
      *outputs = *inputs = lie == Lie::Zero ? 0 : lie == Lie::Negative ? -1 : 0x7fffffff;
    return S_OK;
  });
}

HRESULT CrossbarFilter::CheckRoute(LONG output, LONG input) {
  if (output < 0 || static_cast<size_t>(output) >= layout().outputs.size() || input < 0 ||
      static_cast<size_t>(input) >= layout().inputs.size())
    return E_INVALIDARG;
  const CrossbarPinSpec& in = layout().inputs[static_cast<size_t>(input)];
  const CrossbarPinSpec& out = layout().outputs[static_cast<size_t>(output)];
  return in.routable && IsAudioConnector(in.type) == IsAudioConnector(out.type) ? S_OK : S_FALSE;
}

STDMETHODIMP CrossbarFilter::CanRoute(LONG output, LONG input) {
  return faults().Respond(L"CanRoute", [&]() -> HRESULT { return CheckRoute(output, input); });
}

STDMETHODIMP CrossbarFilter::Route(LONG output, LONG input) {
  return faults().Respond(L"Route", [&]() -> HRESULT {
    const HRESULT allowed = CheckRoute(output, input);
    if (allowed != S_OK) return FAILED(allowed) ? allowed : E_INVALIDARG;
    routing_->Route(index_, output, input);
    return S_OK;
  });
}

STDMETHODIMP CrossbarFilter::get_IsRoutedTo(LONG output, LONG* input) {
  if (input == nullptr) return E_POINTER;
  if (output < 0 || static_cast<size_t>(output) >= layout().outputs.size()) return E_INVALIDARG;
  *input = routing_->RoutedTo(index_, output);
  return *input >= 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CrossbarFilter::get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) {
  if (related == nullptr || type == nullptr) return E_POINTER;
  *related = *type = 0;
  return faults().Respond(L"get_CrossbarPinInfo", [&](Lie lie) -> HRESULT {
    const auto& list = isInput ? layout().inputs : layout().outputs;
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return E_INVALIDARG;
    *related = lie == Lie::OutOfRange ? 1000 : list[static_cast<size_t>(index)].related;
    *type = list[static_cast<size_t>(index)].type;
    return S_OK;
  });
}

TunerFilter::TunerFilter(std::shared_ptr<FaultPlan> faults, std::shared_ptr<RoutingState> routing)
    : FilterBase(std::move(faults)), routing_(std::move(routing)) {
  pins_.push_back(std::make_unique<AnalogPin>(this, L"Analog Video", PINDIR_OUTPUT, GUID_NULL, false));
}

CLSID TunerFilter::ClassId() const { return kTunerClsid; }

STDMETHODIMP TunerFilter::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IAMTVTuner || iid == IID_IAMTuner) {
    *object = static_cast<IAMTVTuner*>(this);
  } else if (iid == IID_ISpecifyPropertyPages && routing_->profile().tunerPages != PagesKind::None) {
    *object = static_cast<ISpecifyPropertyPages*>(this);
  } else {
    return QueryFilterInterface(iid, object);
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP TunerFilter::put_Channel(LONG channel, LONG, LONG) {
  if (channel < kMinChannel || channel > kMaxChannel) return E_INVALIDARG;
  routing_->SetChannel(channel);
  return S_OK;
}

STDMETHODIMP TunerFilter::get_Channel(LONG* channel, LONG* video, LONG* audio) {
  if (channel == nullptr || video == nullptr || audio == nullptr) return E_POINTER;
  *channel = routing_->channel();
  *video = *audio = AMTUNER_SUBCHAN_DEFAULT;
  return S_OK;
}

STDMETHODIMP TunerFilter::ChannelMinMax(LONG* minimum, LONG* maximum) {
  if (minimum == nullptr || maximum == nullptr) return E_POINTER;
  *minimum = kMinChannel;
  *maximum = kMaxChannel;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_CountryCode(LONG* country) {
  if (country == nullptr) return E_POINTER;
  *country = 1;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_TuningSpace(LONG* space) {
  if (space == nullptr) return E_POINTER;
  *space = 0;
  return S_OK;
}

STDMETHODIMP TunerFilter::SignalPresent(LONG* strength) {
  if (strength == nullptr) return E_POINTER;
  *strength = AMTUNER_SIGNALPRESENT;
  return S_OK;
}

STDMETHODIMP TunerFilter::put_Mode(AMTunerModeType mode) { return mode == AMTUNER_MODE_TV ? S_OK : E_INVALIDARG; }

STDMETHODIMP TunerFilter::get_Mode(AMTunerModeType* mode) {
  if (mode == nullptr) return E_POINTER;
  *mode = AMTUNER_MODE_TV;
  return S_OK;
}

STDMETHODIMP TunerFilter::GetAvailableModes(LONG* modes) {
  if (modes == nullptr) return E_POINTER;
  *modes = AMTUNER_MODE_TV;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_AvailableTVFormats(LONG* standards) {
  if (standards == nullptr) return E_POINTER;
  *standards = AnalogVideo_PAL_B;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_TVFormat(LONG* standard) { return get_AvailableTVFormats(standard); }

STDMETHODIMP TunerFilter::AutoTune(LONG, LONG* signal) { return SignalPresent(signal); }

STDMETHODIMP TunerFilter::get_NumInputConnections(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_InputType(LONG, TunerInputType* type) {
  if (type == nullptr) return E_POINTER;
  *type = TunerInputAntenna;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_ConnectInput(LONG* index) {
  if (index == nullptr) return E_POINTER;
  *index = 0;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_VideoFrequency(LONG* frequency) {
  if (frequency == nullptr) return E_POINTER;
  *frequency = 55250000 + (routing_->channel() - 2) * 6000000;
  return S_OK;
}

STDMETHODIMP TunerFilter::get_AudioFrequency(LONG* frequency) {
  if (frequency == nullptr) return E_POINTER;
  *frequency = 59750000 + (routing_->channel() - 2) * 6000000;
  return S_OK;
}

STDMETHODIMP TunerFilter::GetPages(CAUUID* pages) {
  return FillPageList(faults(), routing_->profile().tunerPages, CLSID_SimCamTunerPage, L"GetTunerPages", pages);
}

}  // namespace simcam
