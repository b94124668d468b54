#include "controls/crossbar_router.h"

#include <wrl/client.h>

#include <new>
#include <utility>

#include "base/scoped.h"
#include "capture/pin_lookup.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kFirstAudioConnector = PhysConn_Audio_Tuner;
// Deeper chains than this are taken for a topology that loops through filters we cannot tell apart.
constexpr LONG kMaxDepth = 64;
// Real cards have a handful of inputs; a hostile chain of crossbars, each fed several times by the
// next, has exponentially many routes. The search keeps the first ones and gives up the rest.
constexpr size_t kMaxRoutes = 256;
constexpr LONG kMaxSearchSteps = 4096;

// Calls `visit(position, pin)` for the crossbar filter's pins in enumeration order until it
// returns true; false when the pins cannot be enumerated or none was chosen.
template <typename Visit>
[[nodiscard]] bool ForEachPin(IAMCrossbar* crossbar, Visit visit) {
  ComPtr<IBaseFilter> filter;
  if (crossbar->QueryInterface(IID_PPV_ARGS(&filter)) != S_OK || filter == nullptr) return false;
  ComPtr<IEnumPins> pins;
  if (filter->EnumPins(&pins) != S_OK || pins == nullptr) return false;
  ComPtr<IPin> pin;
  for (LONG position = 0;
       position < kMaxPinsPerFilter && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK && pin != nullptr;
       ++position)
    if (visit(position, pin.Get())) return true;
  return false;
}

// The crossbar's pin counts; a count no crossbar can have (negative, or more pins than a filter is
// walked for) is a driver's garbage and fails like the call itself.
[[nodiscard]] HRESULT PinCounts(IAMCrossbar* crossbar, LONG* outputs, LONG* inputs) {
  const HRESULT hr = crossbar->get_PinCounts(outputs, inputs);
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
  const bool plausible = *outputs >= 0 && *inputs >= 0 && *outputs <= kMaxPinsPerFilter && *inputs <= kMaxPinsPerFilter;
  return plausible ? S_OK : E_FAIL;
}

}  // namespace

CrossbarRouter::~CrossbarRouter() { static_cast<void>(Reset()); }

HRESULT CrossbarRouter::Build(IPin* analogVideoIn) {
  searchRoot = CrossbarHop{};
  searchSteps = 0;
  static_cast<void>(Reset());
  const HRESULT result = analogVideoIn != nullptr ? Search(analogVideoIn, &searchRoot, 0) : E_POINTER;
  static_cast<void>(Select(0));
  return result;
}

HRESULT CrossbarRouter::Reset() {
  while (!routes.empty()) {
    CrossbarHop* route = routes.back().get();
    for (LONG i = 0; i <= route[0].depth; ++i) route[i].crossbar->Release();
    routes.pop_back();
  }
  return S_OK;
}

CrossbarRouter& CrossbarRouter::operator=(CrossbarRouter&& other) noexcept {
  if (this == &other) return *this;
  static_cast<void>(Reset());
  routes = std::move(other.routes);
  other.routes.clear();
  current = other.current;
  return *this;
}

HRESULT CrossbarRouter::Count(LONG* count) const {
  *count = static_cast<LONG>(routes.size());
  return S_OK;
}

HRESULT CrossbarRouter::InputType(LONG index, LONG* type) const {
  if (index < 0 || static_cast<size_t>(index) >= routes.size()) return E_FAIL;
  *type = routes[static_cast<size_t>(index)][0].inputType;
  return S_OK;
}

HRESULT CrossbarRouter::Select(LONG index) {
  if (index < 0 || static_cast<size_t>(index) >= routes.size()) return E_FAIL;
  const CrossbarHop* route = routes[static_cast<size_t>(index)].get();
  if (route == nullptr) return E_FAIL;
  HRESULT result = E_FAIL;
  for (LONG i = 0; i <= route[0].depth; ++i) {
    const CrossbarHop& hop = route[i];
    result = hop.crossbar->Route(hop.outputIndex, hop.inputIndex);
    if (hop.outputRelated != -1 && hop.inputRelated != -1) hop.crossbar->Route(hop.outputRelated, hop.inputRelated);
  }
  current = index;
  return result;
}

HRESULT CrossbarRouter::SelectByType(LONG type) {
  for (size_t i = 0; i < routes.size(); ++i)
    if (routes[i][0].inputType == type) return Select(static_cast<LONG>(i));
  return E_FAIL;
}

void CrossbarRouter::TypeName(LONG type, std::wstring& name) {
  static const wchar_t* const video[] = {
      L"Video Tuner",         L"Video Composite",       L"Video SVideo", L"Video RGB", L"Video YRYBY",
      L"Video SerialDigital", L"Video ParallelDigital", L"Video SCSI",   L"Video AUX", L"Video 1394",
      L"Video USB",           L"Video Decoder",         L"Video Encoder"};
  static const wchar_t* const audio[] = {L"Audio Tuner",        L"Audio Line",   L"Audio Mic", L"Audio AESDigital",
                                         L"Audio SPDIFDigital", L"Audio SCSI",   L"Audio AUX", L"Audio 1394",
                                         L"Audio USB",          L"Audio Decoder"};
  name.clear();
  if (type >= 1 && type <= 13)
    name = video[type - 1];
  else if (type >= kFirstAudioConnector && type <= kFirstAudioConnector + 9)
    name = audio[type - kFirstAudioConnector];
  else
    name = L"Unknown";
}

bool CrossbarRouter::OnSearchPath(IAMCrossbar* crossbar, const CrossbarHop* hop) const {
  for (const CrossbarHop* stage = hop; stage != nullptr; stage = stage->downstream)
    if (stage->crossbar == crossbar) return true;
  return false;
}

HRESULT CrossbarRouter::Search(IPin* input, CrossbarHop* hop, LONG depth) {
  const HRESULT notCrossbar = depth > 0 ? S_FALSE : E_FAIL;
  ComPtr<IPin> upstream;
  if (input->ConnectedTo(&upstream) != S_OK || upstream == nullptr) return notCrossbar;
  scoped::PinInfo owner;
  if (upstream->QueryPinInfo(&owner.info) != S_OK || owner.info.pFilter == nullptr) return S_OK;
  ComPtr<IAMCrossbar> crossbar;
  if (owner.info.pFilter->QueryInterface(IID_PPV_ARGS(&crossbar)) != S_OK || crossbar == nullptr) return notCrossbar;
  // A crossbar already on this path (a loop), or a chain beyond any real card, is not followed.
  if (OnSearchPath(crossbar.Get(), hop->downstream) || depth >= kMaxDepth) return S_OK;

  LONG outputs = 0, inputs = 0, outputIndex = -1, outputRelated = -1, outputType = 0;
  HRESULT hr = PinCounts(crossbar.Get(), &outputs, &inputs);
  if (hr != S_OK) return hr;
  if (IndexOfPin(crossbar.Get(), &outputIndex, false, upstream.Get()) != S_OK) return S_OK;
  hr = crossbar->get_CrossbarPinInfo(FALSE, outputIndex, &outputRelated, &outputType);
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;

  CrossbarHop next{};
  for (LONG i = 0; i < inputs; ++i) {
    // Every input looked at counts, so that wide crossbars are bounded as well as long chains.
    if (++searchSteps > kMaxSearchSteps) break;
    LONG inputRelated = -1, inputType = 0;
    if (crossbar->get_CrossbarPinInfo(TRUE, i, &inputRelated, &inputType) != S_OK) continue;
    if (inputType >= kFirstAudioConnector) continue;
    if (crossbar->CanRoute(outputIndex, i) != S_OK) continue;
    IPin* inputPin = nullptr;
    const bool found = PinAtIndex(crossbar.Get(), i, true, &inputPin) == S_OK;
    next = CrossbarHop{};
    *hop = CrossbarHop{&next,         hop->downstream, i,         outputIndex, inputRelated,
                       outputRelated, crossbar.Get(),  inputType, outputType,  depth};
    next.downstream = hop;
    // An input whose pin cannot be found cannot be followed upstream: it ends a route here.
    const HRESULT r = found ? Search(inputPin, &next, depth + 1) : S_FALSE;
    if (r == S_FALSE) {
      hop->upstream = nullptr;
      static_cast<void>(SaveRoute(hop));
    }
  }
  return S_OK;
}

HRESULT CrossbarRouter::SaveRoute(const CrossbarHop* outermost) {
  if (routes.size() >= kMaxRoutes) return S_FALSE;
  const LONG count = outermost->depth + 1;
  Route route(new (std::nothrow) CrossbarHop[static_cast<size_t>(count)]);
  if (route == nullptr) return E_OUTOFMEMORY;
  const CrossbarHop* stage = outermost;
  for (LONG k = 0; k < count && stage != nullptr; ++k, stage = stage->downstream) {
    route[k] = *stage;
    route[k].crossbar->AddRef();
  }
  for (LONG k = 0; k < count; ++k) {
    route[k].upstream = k > 0 ? &route[k - 1] : nullptr;
    route[k].downstream = k + 1 < count ? &route[k + 1] : nullptr;
  }
  try {
    routes.push_back(std::move(route));
  } catch (const std::bad_alloc&) {
    for (LONG k = 0; k < count; ++k) route[k].crossbar->Release();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CrossbarRouter::PinAtIndex(IAMCrossbar* crossbar, LONG index, bool input, IPin** pin) {
  *pin = nullptr;
  LONG outputs = 0, inputs = 0;
  if (PinCounts(crossbar, &outputs, &inputs) != S_OK) return E_FAIL;
  const LONG wanted = input ? index : inputs + index;
  // The pin is handed out without a reference of its own: the crossbar filter keeps it alive.
  static_cast<void>(ForEachPin(crossbar, [&](LONG position, IPin* candidate) {
    if (position != wanted) return false;
    *pin = candidate;
    return true;
  }));
  return *pin != nullptr ? S_OK : E_FAIL;
}

HRESULT CrossbarRouter::IndexOfPin(IAMCrossbar* crossbar, LONG* index, bool input, IPin* pin) {
  LONG outputs = 0, inputs = 0;
  if (PinCounts(crossbar, &outputs, &inputs) != S_OK) return E_FAIL;
  const bool found = ForEachPin(crossbar, [&](LONG position, IPin* candidate) {
    if (candidate != pin) return false;
    *index = input ? position : position - inputs;
    return true;
  });
  return found ? S_OK : E_FAIL;
}
