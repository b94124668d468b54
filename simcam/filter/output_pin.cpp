#include "simcam/filter/output_pin.h"

#include <cstring>

#include "simcam/filter/capture_filter.h"

namespace simcam {

OutputPin::OutputPin(CaptureFilter* filter, std::wstring id, const GUID& category)
    : filter_(filter), id_(std::move(id)), category_(category) {}

STDMETHODIMP OutputPin::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const HRESULT injected = filter_->faults().Check(L"PinQueryInterface");
  if (injected != S_OK) return injected;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *object = static_cast<IPin*>(this);
  } else if (iid == IID_IKsPropertySet && category_ != GUID_NULL) {
    *object = static_cast<IKsPropertySet*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) OutputPin::AddRef() { return filter_->AddRef(); }

STDMETHODIMP_(ULONG) OutputPin::Release() { return filter_->Release(); }

STDMETHODIMP OutputPin::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_NOTIMPL; }

STDMETHODIMP OutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

STDMETHODIMP OutputPin::Disconnect() {
  if (connected_ == nullptr) return S_FALSE;
  connected_.Reset();
  return S_OK;
}

STDMETHODIMP OutputPin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  *pin = nullptr;
  const HRESULT injected = filter_->faults().Check(L"ConnectedTo");
  if (injected != S_OK) return injected;
  if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
  *pin = connected_.Get();
  (*pin)->AddRef();
  return S_OK;
}

STDMETHODIMP OutputPin::ConnectionMediaType(AM_MEDIA_TYPE*) { return VFW_E_NOT_CONNECTED; }

STDMETHODIMP OutputPin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  const HRESULT injected = filter_->faults().Check(L"QueryPinInfo");
  if (injected != S_OK) return injected;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = PINDIR_OUTPUT;
  std::wcsncpy(info->achName, id_.c_str(), MAX_PIN_NAME - 1);
  info->achName[MAX_PIN_NAME - 1] = L'\0';
  return S_OK;
}

STDMETHODIMP OutputPin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = PINDIR_OUTPUT;
  return S_OK;
}

STDMETHODIMP OutputPin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  const size_t bytes = (id_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*id == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*id, id_.c_str(), bytes);
  return S_OK;
}

STDMETHODIMP OutputPin::QueryAccept(const AM_MEDIA_TYPE*) { return S_FALSE; }

STDMETHODIMP OutputPin::EnumMediaTypes(IEnumMediaTypes**) { return E_NOTIMPL; }

STDMETHODIMP OutputPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP OutputPin::EndOfStream() { return E_UNEXPECTED; }

STDMETHODIMP OutputPin::BeginFlush() { return E_UNEXPECTED; }

STDMETHODIMP OutputPin::EndFlush() { return E_UNEXPECTED; }

STDMETHODIMP OutputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

STDMETHODIMP OutputPin::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) { return E_PROP_ID_UNSUPPORTED; }

STDMETHODIMP OutputPin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD size, DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (data == nullptr) return E_POINTER;
  if (size < sizeof(GUID)) return E_UNEXPECTED;
  const HRESULT injected = filter_->faults().Check(L"GetPinCategory");
  if (injected != S_OK) return injected;
  *static_cast<GUID*>(data) = category_;
  if (returned != nullptr) *returned = sizeof(GUID);
  return S_OK;
}

STDMETHODIMP OutputPin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

}  // namespace simcam
