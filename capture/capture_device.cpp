#include "capture/capture_device.h"

#include "capture/pin_lookup.h"

CaptureDevice::CaptureDevice() {
  if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(builder.GetAddressOf()))) ||
      builder == nullptr) {
    builder.Reset();
    return;
  }
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                              reinterpret_cast<void**>(graph.GetAddressOf()))) ||
      graph == nullptr) {
    graph.Reset();
    builder.Reset();
    return;
  }
  if (FAILED(builder->SetFiltergraph(graph.Get())) ||
      FAILED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.GetAddressOf()))) ||
      control == nullptr) {
    control.Reset();
    graph.Reset();
    builder.Reset();
  }
}

CaptureDevice::~CaptureDevice() {
  TearDown();
  crossbarRouter.Reset();
  events.Reset();
  windowless.Reset();
  renderer.Reset();
  capturePin.Reset();
  captureFilter.Reset();
  name.clear();
  control.Reset();
  builder.Reset();
  graph.Reset();
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
