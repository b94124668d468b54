#include "simcam/filter/pin_enumerator.h"

#include <new>

namespace simcam {

IEnumPins* PinEnumerator::Create(IBaseFilter* filter, std::vector<IPin*> pins, size_t position, Lie lie) {
  PinEnumerator* enumerator = new (std::nothrow) PinEnumerator(filter, std::move(pins), position, lie);
  if (enumerator != nullptr) enumerator->AddRef();
  return enumerator;
}

PinEnumerator::PinEnumerator(IBaseFilter* filter, std::vector<IPin*> pins, size_t position, Lie lie)
    : filter_(filter), pins_(std::move(pins)), position_(position), lie_(lie) {}

STDMETHODIMP PinEnumerator::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IEnumPins) {
    *object = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP PinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr) return E_POINTER;
  if (count > 1 && fetched == nullptr) return E_INVALIDARG;
  if (lie_ == Lie::Endless || (lie_ == Lie::EndlessSame && !pins_.empty())) {
    for (ULONG i = 0; i < count; ++i) {
      pins[i] = lie_ == Lie::Endless ? nullptr : pins_[0];
      if (pins[i] != nullptr) pins[i]->AddRef();
    }
    if (fetched != nullptr) *fetched = count;
    return S_OK;
  }
  ULONG taken = 0;
  while (taken < count && position_ < pins_.size()) {
    pins[taken] = pins_[position_++];
    pins[taken++]->AddRef();
  }
  if (fetched != nullptr) *fetched = taken;
  return taken == count ? S_OK : S_FALSE;
}

STDMETHODIMP PinEnumerator::Skip(ULONG count) {
  if (lie_ == Lie::BrokenMoves) return S_OK;
  const size_t remaining = pins_.size() - position_;
  if (count > remaining) {
    position_ = pins_.size();
    return S_FALSE;
  }
  position_ += count;
  return S_OK;
}

STDMETHODIMP PinEnumerator::Reset() {
  position_ = lie_ == Lie::BrokenMoves ? pins_.size() : 0;
  return S_OK;
}

STDMETHODIMP PinEnumerator::Clone(IEnumPins** clone) {
  if (clone == nullptr) return E_POINTER;
  if (lie_ == Lie::BrokenMoves) return *clone = nullptr, S_OK;
  *clone = Create(filter_.Get(), pins_, position_, lie_);
  return *clone != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace simcam
