#include <wrl/client.h>

#include "capture/capture_device.h"
#include "capture/graph_event.h"
#include "capture/pin_lookup.h"

using Microsoft::WRL::ComPtr;

bool CaptureDevice::BuildPreviewGraph() {
  if (graph == nullptr || builder == nullptr || control == nullptr || captureFilter == nullptr ||
      capturePin == nullptr || videoWindow == nullptr)
    return false;

  GUID majorType = GUID_NULL;
  if (std::unique_ptr<MediaType> format = GetCaptureFormat()) majorType = format->majortype;

  ComPtr<IAMStreamConfig> streamConfig;
  if (FAILED(
          builder->FindInterface(&PIN_CATEGORY_CAPTURE, &majorType, captureFilter.Get(), IID_PPV_ARGS(&streamConfig))))
    return false;
  if (!RenderPreviewStream(majorType)) return false;
  if (!AddWindowlessRenderer()) return false;
  if (FAILED(graph->RenderEx(capturePin.Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr))) return false;
  SetVideoRectangles();
  BuildCrossbarRoutes();
  DirectEventsToWindow();
  static_cast<void>(ChangeState(State_Stopped));
  if (stalled) return false;
  built = 1;
  return true;
}

// The builder renders the preview pin, when there is one, with a renderer of its choosing whose
// window stays hidden.
bool CaptureDevice::RenderPreviewStream(const GUID& majorType) {
  ComPtr<IPin> previewPin;
  if (FAILED(FindPreviewPin(captureFilter.Get(), &previewPin))) return true;
  if (FAILED(builder->RenderStream(nullptr, &majorType, previewPin.Get(), nullptr, nullptr))) return false;
  ComPtr<IVideoWindow> window;
  if (SUCCEEDED(graph.As(&window)) && window != nullptr) {
    window->put_AutoShow(OAFALSE);
    window->put_Visible(OAFALSE);
  }
  return true;
}

bool CaptureDevice::AddWindowlessRenderer() {
  if (FAILED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&renderer))) ||
      renderer == nullptr) {
    renderer.Reset();
    return false;
  }
  if (FAILED(graph->AddFilter(renderer.Get(), L"VMR9"))) return false;
  ComPtr<IVMRFilterConfig9> filterConfig;
  if (FAILED(renderer.As(&filterConfig))) return false;
  // These four answers are not needed: one host answers VFW_E_WRONG_STATE to the clipping window
  // and applies it all the same. On Windows each succeeds on a renderer not yet connected, which
  // is when the renderer's documentation has them made.
  filterConfig->SetNumberOfStreams(1);
  filterConfig->SetRenderingMode(VMR9Mode_Windowless);
  if (FAILED(renderer.As(&windowless))) return false;
  windowless->SetVideoClippingWindow(videoWindow);
  windowless->SetAspectRatioMode(VMR9ARMode_LetterBox);
  ComPtr<IVMRMonitorConfig9> monitorConfig;
  if (FAILED(renderer.As(&monitorConfig))) return false;
  UINT monitor = 0;
  if (FAILED(monitorConfig->GetDefaultMonitor(&monitor))) return false;
  return SUCCEEDED(monitorConfig->SetMonitor(monitor));
}

void CaptureDevice::SetVideoRectangles() {
  LONG nativeWidth = 0, nativeHeight = 0;
  windowless->GetNativeVideoSize(&nativeWidth, &nativeHeight, nullptr, nullptr);
  RECT source = {0, 0, nativeWidth, nativeHeight};
  RECT destination = {};
  GetClientRect(videoWindow, &destination);
  windowless->SetVideoPosition(&source, &destination);
}

// A rebuild of the same source routes again the input the user chose before it, when that route
// is still there; Build itself always starts on route 0.
void CaptureDevice::BuildCrossbarRoutes() {
  const LONG chosen = crossbarRouter.current;
  static_cast<void>(crossbarRouter.Reset());
  ComPtr<IPin> analogVideoIn;
  if (FAILED(FindAnalogVideoInPin(captureFilter.Get(), &analogVideoIn))) return;
  if (FAILED(crossbarRouter.Build(analogVideoIn.Get()))) return;
  LONG count = 0;
  if (FAILED(crossbarRouter.Count(&count)) || count < 1) {
    static_cast<void>(crossbarRouter.Reset());
    return;
  }
  if (chosen > 0 && chosen < count) static_cast<void>(crossbarRouter.Select(chosen));
}

void CaptureDevice::DirectEventsToWindow() {
  if (FAILED(graph.As(&events))) {
    events.Reset();
    return;
  }
  if (events != nullptr && FAILED(events->SetNotifyWindow(reinterpret_cast<OAHWND>(videoWindow), WM_GRAPH_EVENT, 0)))
    events.Reset();
}
