#include <olectl.h>
#include <wrl/client.h>

#include "base/handed_back.h"
#include "base/scoped.h"
#include "capture/bounded_call.h"
#include "capture/capture_device.h"

using Microsoft::WRL::ComPtr;

namespace {

[[nodiscard]] bool NoPages(const scoped::PageArray& list) {
  return list.pages.cElems == 0 || list.pages.pElems == nullptr;
}

[[nodiscard]] HRESULT ReadPages(IUnknown* source, scoped::PageArray* list) {
  ComPtr<ISpecifyPropertyPages> specify;
  const HRESULT hr = HandedBack(source->QueryInterface(IID_PPV_ARGS(&specify)), specify);
  if (FAILED(hr)) return hr;
  return specify->GetPages(&list->pages);
}

[[nodiscard]] bool HasPages(HRESULT reached, IUnknown* source) {
  if (FAILED(reached) || source == nullptr) return false;
  scoped::PageArray list;
  return SUCCEEDED(ReadPages(source, &list)) && !NoPages(list);
}

// A frame whose pages cannot be created cannot be closed under some hosts: open none then. On
// Windows OleCreatePropertyFrame fails for such a frame anyway, so this changes nothing there.
[[nodiscard]] HRESULT FirstCreatablePage(const CAUUID& pages) {
  HRESULT hr = REGDB_E_CLASSNOTREG;
  for (ULONG i = 0; i < pages.cElems; ++i) {
    ComPtr<IPropertyPage> page;
    hr = CoCreateInstance(pages.pElems[i], nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page));
    if (SUCCEEDED(hr)) return S_OK;
  }
  return hr;
}

[[nodiscard]] HRESULT ShowPages(HRESULT reached, IUnknown* source, HWND owner) {
  if (FAILED(reached)) return reached;
  scoped::PageArray list;
  const HRESULT hr = ReadPages(source, &list);
  if (FAILED(hr) || NoPages(list)) return hr;
  const HRESULT creatable = FirstCreatablePage(list.pages);
  if (FAILED(creatable)) return creatable;
  IUnknown* objects[] = {source};
  return OleCreatePropertyFrame(owner, 30, 30, nullptr, 1, objects, list.pages.cElems, list.pages.pElems, 0, 0,
                                nullptr);
}

// The sheet's loop may leave the device to a stuck driver (a loss or a colour change handled in
// it): the page source may then hold the graph's last reference, which is not this thread's.
[[nodiscard]] HRESULT ShowPagesHeld(const CaptureDevice& device, HRESULT reached, ComPtr<IUnknown>& source,
                                    HWND owner) {
  const HRESULT shown = ShowPages(reached, source.Get(), owner);
  if (device.IsStalled()) ReleaseOffThisThread(source.Detach());
  return shown;
}

}  // namespace

HRESULT CaptureDevice::FormatPageSource(ComPtr<IUnknown>* source) {
  if (capturePin == nullptr) return E_FAIL;
  ComPtr<IAMStreamConfig> config;
  const HRESULT hr = HandedBack(capturePin.As(&config), config);
  if (FAILED(hr)) return hr;
  *source = config;
  return S_OK;
}

HRESULT CaptureDevice::FilterPageSource(ComPtr<IUnknown>* source) {
  if (captureFilter == nullptr) return E_FAIL;
  *source = captureFilter;
  return S_OK;
}

HRESULT CaptureDevice::TunerPageSource(ComPtr<IUnknown>* source) {
  if (builder == nullptr || captureFilter == nullptr) return E_FAIL;
  ComPtr<IAMTVTuner> tuner;
  const HRESULT hr = HandedBack(
      builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, captureFilter.Get(), IID_PPV_ARGS(&tuner)),
      tuner);
  if (FAILED(hr)) return hr;
  *source = tuner;
  return S_OK;
}

bool CaptureDevice::HasFormatPages() {
  ComPtr<IUnknown> source;
  const HRESULT hr = FormatPageSource(&source);
  return HasPages(hr, source.Get());
}

bool CaptureDevice::HasFilterPages() {
  ComPtr<IUnknown> source;
  const HRESULT hr = FilterPageSource(&source);
  return HasPages(hr, source.Get());
}

bool CaptureDevice::HasTunerPages() {
  ComPtr<IUnknown> source;
  const HRESULT hr = TunerPageSource(&source);
  return HasPages(hr, source.Get());
}

HRESULT CaptureDevice::ShowFormatPages(HWND owner) {
  ComPtr<IUnknown> source;
  const HRESULT hr = FormatPageSource(&source);
  return ShowPagesHeld(*this, hr, source, owner);
}

HRESULT CaptureDevice::ShowFilterPages(HWND owner) {
  ComPtr<IUnknown> source;
  const HRESULT hr = FilterPageSource(&source);
  return ShowPagesHeld(*this, hr, source, owner);
}

HRESULT CaptureDevice::ShowTunerPages(HWND owner) {
  ComPtr<IUnknown> source;
  const HRESULT hr = TunerPageSource(&source);
  return ShowPagesHeld(*this, hr, source, owner);
}
