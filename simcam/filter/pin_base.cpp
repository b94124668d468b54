#include "simcam/filter/pin_base.h"

#include <cstring>
#include <new>

#include "simcam/common/video_format.h"
#include "simcam/filter/capture_filter.h"
#include "simcam/filter/filter_base.h"
#include "simcam/filter/kit_object.h"

namespace simcam {
namespace {

// Offers the pin's preferred type, the one type a kit pin connects with.
class MediaTypeEnumerator : public IEnumMediaTypes, public KitObject {
 public:
  static IEnumMediaTypes* Create(PinBase* pin, size_t position) {
    auto* enumerator = new (std::nothrow) MediaTypeEnumerator(pin, position);
    if (enumerator != nullptr) enumerator->AddRef();
    return enumerator;
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IEnumMediaTypes) return *object = nullptr, E_NOINTERFACE;
    *object = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  SIMCAM_KIT_REFCOUNT
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (types == nullptr) return E_POINTER;
    ULONG taken = 0;
    if (count > 0 && position_ == 0) {
      AM_MEDIA_TYPE* type = nullptr;
      pin_->EnumPreferred(&type);
      if (type != nullptr) {
        types[taken++] = type;
        position_ = 1;
      }
    }
    if (fetched != nullptr) *fetched = taken;
    return taken == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    position_ += count;
    return position_ <= 1 ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** clone) override {
    if (clone == nullptr) return E_POINTER;
    *clone = Create(pin_, position_);
    return *clone != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  MediaTypeEnumerator(PinBase* pin, size_t position) : pin_(pin), hold_(pin), position_(position) {}
  PinBase* pin_;
  Microsoft::WRL::ComPtr<IPin> hold_;
  size_t position_;
};

}  // namespace

PinBase::PinBase(FilterBase* filter, std::wstring id, PIN_DIRECTION direction, const GUID& category)
    : filter_(filter), id_(std::move(id)), direction_(direction), category_(category) {}

PinBase::~PinBase() { ClearMediaType(&connectionType_); }

void PinBase::EnumPreferred(AM_MEDIA_TYPE** type) { *type = PreferredType(); }

STDMETHODIMP PinBase::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return filter_->faults().Respond(L"PinQueryInterface", [&](Lie lie) -> HRESULT {
    if (lie == Lie::Null) return S_OK;
    if (iid == IID_IUnknown || iid == IID_IPin) {
      *object = static_cast<IPin*>(this);
    } else if (iid == IID_IKsPropertySet && category_ != GUID_NULL) {
      *object = static_cast<IKsPropertySet*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  });
}

STDMETHODIMP_(ULONG) PinBase::AddRef() { return filter_->AddRef(); }

STDMETHODIMP_(ULONG) PinBase::Release() { return filter_->Release(); }

bool PinBase::IsConnected() {
  std::lock_guard<std::mutex> guard(pinLock_);
  return connected_ != nullptr;
}

Microsoft::WRL::ComPtr<IPin> PinBase::peer() {
  std::lock_guard<std::mutex> guard(pinLock_);
  return connected_;
}

HRESULT PinBase::CompleteConnection(IPin*, const AM_MEDIA_TYPE&) { return S_OK; }

void PinBase::BreakConnection() {}

namespace {

bool FullySpecified(const AM_MEDIA_TYPE* type) {
  return type != nullptr && type->majortype != GUID_NULL && type->subtype != GUID_NULL &&
         type->formattype != GUID_NULL && type->pbFormat != nullptr;
}

// The fields a type given in part names are the ones a connection must have.
bool Agrees(const AM_MEDIA_TYPE& partial, const AM_MEDIA_TYPE& type) {
  const auto same = [](REFGUID given, REFGUID actual) { return given == GUID_NULL || given == actual; };
  return same(partial.majortype, type.majortype) && same(partial.subtype, type.subtype) &&
         same(partial.formattype, type.formattype);
}

}  // namespace

HRESULT PinBase::ConnectTo(IPin* receiver, const AM_MEDIA_TYPE* wanted) {
  AM_MEDIA_TYPE* type = nullptr;
  if (!FullySpecified(wanted)) {
    type = PreferredType();
    if (type != nullptr && wanted != nullptr && !Agrees(*wanted, *type)) {
      FreeTaskMediaType(type);
      type = nullptr;
    }
  } else if ((type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)))) != nullptr &&
             FAILED(CopyTaskMediaType(type, *wanted))) {
    CoTaskMemFree(type);
    type = nullptr;
  }
  if (type == nullptr) return VFW_E_NO_ACCEPTABLE_TYPES;
  HRESULT hr = receiver->ReceiveConnection(this, type);
  if (SUCCEEDED(hr)) {
    {
      std::lock_guard<std::mutex> guard(pinLock_);
      connected_ = receiver;
      ClearMediaType(&connectionType_);
      hr = CopyTaskMediaType(&connectionType_, *type);
    }
    if (SUCCEEDED(hr)) hr = CompleteConnection(receiver, *type);
    if (FAILED(hr)) {
      receiver->Disconnect();
      Disconnect();
    }
  } else {
    hr = VFW_E_NO_ACCEPTABLE_TYPES;
  }
  FreeTaskMediaType(type);
  return hr;
}

STDMETHODIMP PinBase::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
  if (receiver == nullptr) return E_POINTER;
  if (direction_ != PINDIR_OUTPUT) return E_UNEXPECTED;
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (FullySpecified(type) && !Accepts(*type)) return VFW_E_TYPE_NOT_ACCEPTED;
  // A whole type is the one to connect with, or none; one given in part must agree with the pin's
  // own.
  return ConnectTo(receiver, type);
}

STDMETHODIMP PinBase::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) return E_POINTER;
  if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (!Accepts(*type)) return VFW_E_TYPE_NOT_ACCEPTED;
  std::lock_guard<std::mutex> guard(pinLock_);
  connected_ = connector;
  ClearMediaType(&connectionType_);
  return CopyTaskMediaType(&connectionType_, *type);
}

STDMETHODIMP PinBase::Disconnect() {
  Microsoft::WRL::ComPtr<IPin> former;
  {
    std::lock_guard<std::mutex> guard(pinLock_);
    if (connected_ == nullptr) return S_FALSE;
    former.Swap(connected_);
    ClearMediaType(&connectionType_);
  }
  BreakConnection();
  return S_OK;
}

STDMETHODIMP PinBase::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  *pin = nullptr;
  return filter_->faults().Respond(L"ConnectedTo", [&](Lie lie) -> HRESULT {
    if (lie == Lie::Null) return S_OK;
    std::lock_guard<std::mutex> guard(pinLock_);
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    // A connection that lies names a pin other than the peer: another pin of this filter, or itself.
    *pin = lie == Lie::ForeignPin ? filter_->OtherPin(this) : connected_.Get();
    (*pin)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP PinBase::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(pinLock_);
  if (connected_ == nullptr) {
    std::memset(type, 0, sizeof(*type));
    return VFW_E_NOT_CONNECTED;
  }
  return CopyTaskMediaType(type, connectionType_);
}

STDMETHODIMP PinBase::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  *info = PIN_INFO{};
  return filter_->faults().Respond(L"QueryPinInfo", [&](Lie lie) -> HRESULT {
    if (lie == Lie::ForeignFilter) {
      // A filter of its own, in no graph, as a driver that names the wrong owner hands out.
      info->pFilter = new (std::nothrow) CaptureFilter();
      if (info->pFilter != nullptr) info->pFilter->AddRef();
    } else if (lie != Lie::Null) {
      info->pFilter = filter_;
      filter_->AddRef();
    }
    info->dir = direction_;
    info->achName[id_.copy(info->achName, MAX_PIN_NAME - 1)] = L'\0';
    return S_OK;
  });
}

STDMETHODIMP PinBase::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

STDMETHODIMP PinBase::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  const size_t bytes = (id_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*id == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*id, id_.c_str(), bytes);
  return S_OK;
}

STDMETHODIMP PinBase::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  return Accepts(*type) ? S_OK : S_FALSE;
}

STDMETHODIMP PinBase::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  *types = MediaTypeEnumerator::Create(this, 0);
  return *types != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP PinBase::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP PinBase::EndOfStream() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }

STDMETHODIMP PinBase::BeginFlush() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }

STDMETHODIMP PinBase::EndFlush() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }

STDMETHODIMP PinBase::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

STDMETHODIMP PinBase::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) { return E_PROP_ID_UNSUPPORTED; }

STDMETHODIMP PinBase::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD size, DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (data == nullptr) return E_POINTER;
  if (size < sizeof(GUID)) return E_UNEXPECTED;
  return filter_->faults().Respond(L"GetPinCategory", [&]() -> HRESULT {
    *static_cast<GUID*>(data) = category_;
    if (returned != nullptr) *returned = sizeof(GUID);
    return S_OK;
  });
}

STDMETHODIMP PinBase::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

}  // namespace simcam
