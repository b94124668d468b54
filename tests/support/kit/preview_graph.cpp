#include "tests/support/kit/preview_graph.h"

#include "base/scoped.h"
#include "tests/support/kit/simcam_devices.h"

using Microsoft::WRL::ComPtr;

namespace testsupport {
namespace {

template <typename Function>
Function KitExport(const char* name) {
  HMODULE kit = GetModuleHandleW(L"simcam.dll");
  return kit != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kit, name))) : nullptr;
}

LONG CallKitCounter(const char* name) {
  if (GetModuleHandleW(L"simcam.dll") == nullptr) return 0;  // never loaded: nothing alive
  const auto counter = KitExport<simcam::LiveCountFunction>(name);
  return counter != nullptr ? counter() : -1;
}

}  // namespace

ComPtr<IMoniker> DeviceMoniker(unsigned number) {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_PPV_ARGS(&devices))) ||
      devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
    return nullptr;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK)
    if (DeviceNumber(moniker.Get()) == number) return moniker;
  return nullptr;
}

ComPtr<IBaseFilter> BindDevice(unsigned number) {
  ComPtr<IMoniker> moniker = DeviceMoniker(number);
  ComPtr<IBaseFilter> filter;
  if (moniker != nullptr) moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter));
  return filter;
}

PreviewGraph::PreviewGraph(IBaseFilter* capture, HWND window) {
  result = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
  if (SUCCEEDED(result))
    result = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&builder));
  if (SUCCEEDED(result)) result = builder->SetFiltergraph(graph.Get());
  if (SUCCEEDED(result)) result = graph.As(&control);
  if (SUCCEEDED(result))
    result = graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf()));
  if (SUCCEEDED(result)) result = graph->AddFilter(capture, L"Capture");
  if (SUCCEEDED(result))
    result = CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&renderer));
  if (SUCCEEDED(result)) result = graph->AddFilter(renderer.Get(), L"VMR9");
  ComPtr<IVMRFilterConfig9> config;
  if (SUCCEEDED(result)) result = renderer.As(&config);
  if (SUCCEEDED(result)) result = config->SetRenderingMode(VMR9Mode_Windowless);
  if (SUCCEEDED(result)) result = renderer.As(&windowless);
  if (SUCCEEDED(result)) {
    windowless->SetVideoClippingWindow(window);
    windowless->SetAspectRatioMode(VMR9ARMode_LetterBox);
    RECT client;
    GetClientRect(window, &client);
    windowless->SetVideoPosition(nullptr, &client);
    result = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture, nullptr, renderer.Get());
  }
  if (SUCCEEDED(result))
    capture->QueryInterface(simcam::IID_ISimCamDevice, reinterpret_cast<void**>(device.GetAddressOf()));
}

PreviewGraph::~PreviewGraph() {
  if (control != nullptr) control->Stop();
}

simcam::StreamStats PreviewGraph::Stats() const {
  simcam::StreamStats stats{};
  if (device != nullptr) device->GetStats(&stats);
  return stats;
}

ComPtr<simcam::ISimCamDevice> KitDeviceOf(IBaseFilter* capture) {
  ComPtr<simcam::ISimCamDevice> device;
  if (capture != nullptr)
    capture->QueryInterface(simcam::IID_ISimCamDevice, reinterpret_cast<void**>(device.GetAddressOf()));
  return device;
}

simcam::StreamStats KitStatsOf(IBaseFilter* capture) {
  simcam::StreamStats stats{};
  if (const auto device = KitDeviceOf(capture)) device->GetStats(&stats);
  return stats;
}

LONG KitLiveObjects() { return CallKitCounter("SimCamLiveObjects"); }

LONG KitLiveReferences() { return CallKitCounter("SimCamLiveReferences"); }

LONG KitCallCount(const wchar_t* method, bool programOnly) {
  const auto count = KitExport<simcam::CallCountFunction>("SimCamCallCount");
  return count != nullptr ? count(method, programOnly) : 0;
}

LONG KitInjectedFaults() { return CallKitCounter("SimCamInjectedFaults"); }

void ResetKitCallCounts() {
  if (const auto reset = KitExport<simcam::ResetCallCountsFunction>("SimCamResetCallCounts")) reset();
}

}  // namespace testsupport
