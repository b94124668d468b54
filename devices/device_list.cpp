#include "devices/device_list.h"

#include <algorithm>
#include <new>

#include "base/handed_back.h"
#include "base/scoped.h"
#include "capture/pin_lookup.h"
#include "devices/name_relabel.h"

using Microsoft::WRL::ComPtr;

namespace {

[[nodiscard]] bool HasCapturePin(IBaseFilter* filter) {
  ComPtr<IPin> pin;
  return SUCCEEDED(FindCapturePin(filter, &pin));
}

// S_OK with the display name, S_FALSE when the device is to be dropped: its filter cannot be
// bound, has no capture output pin, or its friendly name cannot be read.
[[nodiscard]] HRESULT ReadUsableDeviceName(IMoniker* moniker, std::wstring* name) {
  ComPtr<IBaseFilter> filter;
  if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter))) || filter == nullptr) return S_FALSE;
  if (!HasCapturePin(filter.Get())) return S_FALSE;
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) || bag == nullptr) return S_FALSE;
  scoped::Variant friendlyName;
  friendlyName.value.vt = VT_BSTR;
  friendlyName.value.bstrVal = nullptr;
  if (FAILED(bag->Read(L"FriendlyName", &friendlyName.value, nullptr))) return S_FALSE;
  if (friendlyName.value.vt != VT_BSTR || friendlyName.value.bstrVal == nullptr) return S_FALSE;
  // A name holding a NUL is shown, and sent in messages, only up to it: that is its name.
  const BSTR text = friendlyName.value.bstrVal;
  name->assign(text, std::find(text, text + SysStringLen(text), L'\0'));
  if (name->empty()) *name = L"Unknown";
  return S_OK;
}

}  // namespace

bool CodeUnitLess::operator()(const std::wstring& a, const std::wstring& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
    return static_cast<unsigned short>(x) < static_cast<unsigned short>(y);
  });
}

IMoniker* DeviceList::Find(const std::wstring& name) const {
  const auto found = entries.lower_bound(name);
  if (found == entries.end() || found->first != name) return nullptr;
  return found->second.Get();
}

HRESULT DeviceList::Enumerate(GUID category) {
  entries.clear();
  if (category != CLSID_VideoInputDeviceCategory && category != CLSID_AudioInputDeviceCategory) return E_INVALIDARG;

  ComPtr<ICreateDevEnum> deviceEnumerator;
  HRESULT hr =
      HandedBack(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_PPV_ARGS(&deviceEnumerator)),
                 deviceEnumerator);
  if (FAILED(hr)) return hr;

  ComPtr<IEnumMoniker> monikers;
  hr = deviceEnumerator->CreateClassEnumerator(category, &monikers, 0);
  if (hr != S_OK) return hr;
  hr = HandedBack(hr, monikers);
  if (FAILED(hr)) return hr;

  hr = AddDevices(monikers.Get());
  if (SUCCEEDED(hr) && !entries.empty()) hr = MakeNamesUnique();
  return hr;
}

HRESULT DeviceList::AddDevices(IEnumMoniker* monikers) {
  try {
    for (;;) {
      ComPtr<IMoniker> moniker;
      ULONG fetched = 0;
      if (monikers->Next(1, &moniker, &fetched) != S_OK || moniker == nullptr) return S_OK;
      std::wstring name;
      if (ReadUsableDeviceName(moniker.Get(), &name) == S_OK) entries.emplace(std::move(name), moniker);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DeviceList::MakeNamesUnique() { return RelabelEqualNames(&entries); }
