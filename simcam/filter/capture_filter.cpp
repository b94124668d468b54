#include "simcam/filter/capture_filter.h"

#include <cwchar>
#include <new>

#include "simcam/common/device_registry.h"
#include "simcam/filter/output_pin.h"
#include "simcam/filter/pin_enumerator.h"

namespace simcam {
namespace {

std::wstring CapturePinId(CapturePinKind kind) { return kind == CapturePinKind::None ? L"Still" : L"Capture"; }

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

}  // namespace

CaptureFilter::CaptureFilter() { ApplyProfile(DeviceProfile()); }

CaptureFilter::~CaptureFilter() = default;

void CaptureFilter::ApplyProfile(const DeviceProfile& profile) {
  pins_.clear();
  pins_.push_back(
      std::make_unique<OutputPin>(this, CapturePinId(profile.capturePin), CapturePinCategory(profile.capturePin)));
  faults_.Load(profile.faults);
}

STDMETHODIMP CaptureFilter::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
    *object = static_cast<IBaseFilter*>(this);
  } else if (iid == IID_IPersistPropertyBag) {
    *object = static_cast<IPersistPropertyBag*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CaptureFilter::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CaptureFilter::Release() {
  const ULONG remaining = --references_;
  if (remaining == 0) delete this;
  return remaining;
}

STDMETHODIMP CaptureFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = kFilterClsid;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Stop() {
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Stopped;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Pause() {
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Paused;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Run(REFERENCE_TIME) {
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Running;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *state = state_;
  // A live source cannot deliver data while paused.
  return state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CaptureFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::mutex> guard(lock_);
  clock_ = clock;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *clock = clock_.Get();
  if (*clock != nullptr) (*clock)->AddRef();
  return S_OK;
}

STDMETHODIMP CaptureFilter::EnumPins(IEnumPins** pins) {
  if (pins == nullptr) return E_POINTER;
  *pins = nullptr;
  const HRESULT injected = faults_.Check(L"EnumPins");
  if (injected != S_OK) return injected;
  std::vector<IPin*> list;
  for (const auto& pin : pins_) list.push_back(pin.get());
  *pins = new (std::nothrow) PinEnumerator(this, std::move(list));
  return *pins != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CaptureFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  const HRESULT injected = faults_.Check(L"FindPin");
  if (injected != S_OK) return injected;
  for (const auto& candidate : pins_) {
    if (candidate->id() == id) {
      *pin = candidate.get();
      (*pin)->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CaptureFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  std::wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
  info->achName[MAX_FILTER_NAME - 1] = L'\0';
  info->pGraph = graph_;
  if (graph_ != nullptr) graph_->AddRef();
  return S_OK;
}

STDMETHODIMP CaptureFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::mutex> guard(lock_);
  graph_ = graph;
  name_ = name != nullptr ? name : L"";
  return S_OK;
}

STDMETHODIMP CaptureFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

STDMETHODIMP CaptureFilter::InitNew() { return S_OK; }

STDMETHODIMP CaptureFilter::Load(IPropertyBag* bag, IErrorLog* log) {
  if (bag == nullptr) return E_POINTER;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  HRESULT hr = bag->Read(kProfileValue, &value, log);
  if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal != nullptr) ApplyProfile(ParseDevice(value.bstrVal));
  VariantClear(&value);
  // Without a profile the filter keeps its plain default device.
  const HRESULT injected = faults_.Check(L"Load");
  return injected != S_OK ? injected : S_OK;
}

STDMETHODIMP CaptureFilter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

}  // namespace simcam
