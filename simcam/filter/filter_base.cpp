#include "simcam/filter/filter_base.h"

#include <new>

#include "simcam/common/device_registry.h"
#include "simcam/filter/pin_base.h"
#include "simcam/filter/pin_enumerator.h"

namespace simcam {

FilterBase::FilterBase(std::shared_ptr<FaultPlan> faults) : faults_(std::move(faults)) {}

HRESULT FilterBase::QueryFilterInterface(REFIID iid, void** object) {
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
    *object = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

CLSID FilterBase::ClassId() const { return kFilterClsid; }

STDMETHODIMP FilterBase::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = ClassId();
  return S_OK;
}

FILTER_STATE FilterBase::state() {
  std::lock_guard<std::mutex> guard(lock_);
  return state_;
}

HRESULT FilterBase::OnStateChange(FILTER_STATE, FILTER_STATE, REFERENCE_TIME) { return S_OK; }

void FilterBase::OnJoinGraph(IFilterGraph*) {}

FILTER_STATE FilterBase::ExchangeState(FILTER_STATE to) {
  std::lock_guard<std::mutex> guard(lock_);
  const FILTER_STATE from = state_;
  state_ = to;
  return from;
}

STDMETHODIMP FilterBase::Stop() { return OnStateChange(ExchangeState(State_Stopped), State_Stopped, 0); }

STDMETHODIMP FilterBase::Pause() { return OnStateChange(ExchangeState(State_Paused), State_Paused, 0); }

STDMETHODIMP FilterBase::Run(REFERENCE_TIME start) {
  return faults_->Respond(L"Run", [&]() -> HRESULT {
    FILTER_STATE from = ExchangeState(State_Running);
    if (from == State_Stopped) {
      const HRESULT paused = OnStateChange(State_Stopped, State_Paused, 0);
      if (FAILED(paused)) return paused;
      from = State_Paused;
    }
    return OnStateChange(from, State_Running, start);
  });
}

STDMETHODIMP FilterBase::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *state = state_;
  // A live source cannot deliver data while paused.
  return state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP FilterBase::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::mutex> guard(lock_);
  clock_ = clock;
  return S_OK;
}

STDMETHODIMP FilterBase::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *clock = clock_.Get();
  if (*clock != nullptr) (*clock)->AddRef();
  return S_OK;
}

STDMETHODIMP FilterBase::EnumPins(IEnumPins** pins) {
  if (pins == nullptr) return E_POINTER;
  *pins = nullptr;
  return faults_->Respond(L"EnumPins", [&](Lie lie) -> HRESULT {
    if (lie == Lie::Null) return S_OK;
    std::vector<IPin*> list;
    for (const auto& pin : pins_) list.push_back(pin.get());
    *pins = PinEnumerator::Create(this, std::move(list), 0, lie);
    return *pins != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP FilterBase::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  return faults_->Respond(L"FindPin", [&](Lie lie) -> HRESULT {
    if (lie == Lie::Null) return S_OK;
    for (const auto& candidate : pins_) {
      if (candidate->id() == id) {
        *pin = candidate.get();
        (*pin)->AddRef();
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  });
}

IPin* FilterBase::OtherPin(IPin* pin) {
  for (const auto& candidate : pins_)
    if (static_cast<IPin*>(candidate.get()) != pin) return candidate.get();
  return pin;
}

STDMETHODIMP FilterBase::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  info->achName[name_.copy(info->achName, MAX_FILTER_NAME - 1)] = L'\0';
  info->pGraph = graph_;
  if (graph_ != nullptr) graph_->AddRef();
  return S_OK;
}

STDMETHODIMP FilterBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    graph_ = graph;
    name_ = name != nullptr ? name : L"";
  }
  OnJoinGraph(graph);
  return S_OK;
}

STDMETHODIMP FilterBase::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

}  // namespace simcam
