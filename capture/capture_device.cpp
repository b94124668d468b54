#include "capture/capture_device.h"

#include "capture/bounded_call.h"
#include "capture/pin_lookup.h"

CaptureDevice::CaptureDevice() {
  if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              IID_PPV_ARGS(&builder))) ||
      builder == nullptr) {
    builder.Reset();
    return;
  }
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph))) ||
      graph == nullptr) {
    graph.Reset();
    builder.Reset();
    return;
  }
  if (FAILED(builder->SetFiltergraph(graph.Get())) || FAILED(graph.As(&control)) || control == nullptr) {
    control.Reset();
    graph.Reset();
    builder.Reset();
  }
}

// The teardown and the final releases in one bound on a worker (here, for a device without a
// filter): the graph's last release stops it once more, and a driver may hang there too.
CaptureDevice::~CaptureDevice() {
  // A stuck driver was reported when it stuck; nothing is left to tell.
  static_cast<void>(CallOnGraph(kTearDownBound, [](GraphParts& parts) {
    TearDownGraph(parts);
    parts.ReleaseAll();
    return S_OK;
  }));
  name.clear();
}

STDMETHODIMP CaptureDevice::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid != IID_IUnknown) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IUnknown*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CaptureDevice::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

STDMETHODIMP_(ULONG) CaptureDevice::Release() {
  const LONG remaining = InterlockedDecrement(&refCount);
  if (remaining > 0) return static_cast<ULONG>(remaining);
  delete this;
  return 0;
}

std::unique_ptr<MediaType> CaptureDevice::GetCaptureFormat() const {
  if (capturePin == nullptr) return nullptr;
  return GetPinFormat(capturePin.Get());
}
