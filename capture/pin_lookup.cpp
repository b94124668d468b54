#include "capture/pin_lookup.h"

#include <wrl/client.h>

#include <new>

#include "base/handed_back.h"
#include "base/scoped.h"

using Microsoft::WRL::ComPtr;

namespace {

[[nodiscard]] HRESULT ReadPinCategory(IPin* pin, GUID* category) {
  ComPtr<IKsPropertySet> properties;
  const HRESULT hr = HandedBack(pin->QueryInterface(IID_PPV_ARGS(&properties)), properties);
  if (FAILED(hr)) return hr;
  DWORD returned = 0;
  *category = GUID_NULL;
  return properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, category, sizeof(GUID), &returned);
}

// S_OK with *matches set, or the failure that ends the search.
[[nodiscard]] HRESULT PinMatches(IPin* pin, PIN_DIRECTION direction, REFGUID category, bool* matches) {
  *matches = false;
  scoped::PinInfo holder;
  const HRESULT hr = pin->QueryPinInfo(&holder.info);
  if (FAILED(hr)) return hr;
  if (holder.info.dir != direction) return S_OK;
  if (category == GUID_NULL) {
    *matches = true;
    return S_OK;
  }
  GUID pinCategory = GUID_NULL;
  const HRESULT read = ReadPinCategory(pin, &pinCategory);
  if (FAILED(read)) return read;
  *matches = pinCategory == category;
  return S_OK;
}

// A pin by its identifier; a success that hands back no pin is a failure.
[[nodiscard]] HRESULT FindPinById(IBaseFilter* filter, const wchar_t* id, IPin** pin) {
  *pin = nullptr;
  return HandedBack(filter->FindPin(id, pin), *pin);
}

}  // namespace

HRESULT FindPinByCategory(IBaseFilter* filter, PIN_DIRECTION direction, REFGUID category, IPin** pin) {
  if (filter == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  ComPtr<IEnumPins> pins;
  HRESULT hr = HandedBack(filter->EnumPins(&pins), pins);
  if (FAILED(hr)) return hr;

  for (int taken = 0;; ++taken) {
    if (taken == kMaxPinsPerFilter) {
      hr = E_FAIL;
      break;
    }
    ComPtr<IPin> candidate;
    hr = pins->Next(1, &candidate, nullptr);
    if (hr != S_OK) break;
    if (candidate == nullptr) {  // a broken enumerator: S_OK without a pin
      hr = E_POINTER;
      break;
    }
    bool matches = false;
    hr = PinMatches(candidate.Get(), direction, category, &matches);
    // A pin that cannot be examined ends the search with its failure rather than being skipped: a
    // driver that fails here is not trusted for the pins after it.
    if (FAILED(hr)) break;
    if (matches) {
      *pin = candidate.Detach();
      break;
    }
  }
  if (*pin == nullptr && SUCCEEDED(hr)) return E_FAIL;
  return hr;
}

HRESULT FindCapturePin(IBaseFilter* filter, IPin** pin) {
  if (filter == nullptr || pin == nullptr) return E_POINTER;
  if (SUCCEEDED(FindPinByCategory(filter, PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, pin))) return S_OK;
  return FindPinById(filter, L"Capture", pin);
}

HRESULT FindPreviewPin(IBaseFilter* filter, IPin** pin) {
  if (filter == nullptr || pin == nullptr) return E_POINTER;
  if (SUCCEEDED(FindPinByCategory(filter, PINDIR_OUTPUT, PIN_CATEGORY_PREVIEW, pin))) return S_OK;
  if (SUCCEEDED(FindPinByCategory(filter, PINDIR_OUTPUT, PIN_CATEGORY_VIDEOPORT, pin))) return S_OK;
  return FindPinById(filter, L"Preview", pin);
}

HRESULT FindAnalogVideoInPin(IBaseFilter* filter, IPin** pin) {
  return FindPinByCategory(filter, PINDIR_INPUT, PIN_CATEGORY_ANALOGVIDEOIN, pin);
}

std::unique_ptr<MediaType> GetPinFormat(IPin* pin) {
  if (pin == nullptr) return nullptr;
  ComPtr<IAMStreamConfig> config;
  if (FAILED(pin->QueryInterface(IID_PPV_ARGS(&config))) || config == nullptr) return nullptr;
  AM_MEDIA_TYPE* current = nullptr;
  if (FAILED(config->GetFormat(&current)) || current == nullptr) return nullptr;
  std::unique_ptr<MediaType> copy(new (std::nothrow) MediaType(*current));
  DeleteMediaType(current);
  return copy;
}

HRESULT SetPinFormat(const AM_MEDIA_TYPE* type, IPin* pin) {
  if (type == nullptr || pin == nullptr) return E_POINTER;
  ComPtr<IAMStreamConfig> config;
  const HRESULT hr = HandedBack(pin->QueryInterface(IID_PPV_ARGS(&config)), config);
  if (FAILED(hr)) return hr;
  return config->SetFormat(const_cast<AM_MEDIA_TYPE*>(type));
}
