#include <new>
#include <utility>

#include "capture/bounded_call.h"
#include "capture/capture_device.h"

using Microsoft::WRL::ComPtr;

GraphParts::~GraphParts() {
  TearDownGraph(*this);
  ReleaseAll();
}

void GraphParts::ReleaseAll() {
  static_cast<void>(crossbarRouter.Reset());
  events.Reset();
  windowless.Reset();
  renderer.Reset();
  capturePin.Reset();
  captureFilter.Reset();
  control.Reset();
  builder.Reset();
  graph.Reset();
}

// Swapped, not move-assigned: some toolchains' ComPtr copies on move assignment, which would
// leave this device holding what it lends. One side is always empty, so the same exchange lends
// the parts and takes them back.
void CaptureDevice::ExchangeParts(GraphParts* parts) {
  graph.Swap(parts->graph);
  builder.Swap(parts->builder);
  control.Swap(parts->control);
  captureFilter.Swap(parts->captureFilter);
  capturePin.Swap(parts->capturePin);
  renderer.Swap(parts->renderer);
  windowless.Swap(parts->windowless);
  events.Swap(parts->events);
  CrossbarRouter routes;
  routes = std::move(crossbarRouter);
  crossbarRouter = std::move(parts->crossbarRouter);
  parts->crossbarRouter = std::move(routes);
}

// The graph is lent to the worker for the call, so that the device holds nothing of it should the
// driver not return: the worker then dismantles and releases it whenever the call does return.
// (This function keeps the renderer, below; the shell's own references go off this thread after
// a stall too.)
HRESULT CaptureDevice::CallOnGraph(DWORD boundMs, const std::function<HRESULT(GraphParts&)>& step) {
  // Without the device's filter the graph holds no driver that could stall (a device never opened,
  // or one already left to a stuck driver): the call is made here. Out of memory, too, it is made
  // here, unbounded, rather than skipped.
  auto* parts = captureFilter != nullptr ? new (std::nothrow) GraphParts : nullptr;
  if (parts == nullptr) {
    GraphParts here;
    ExchangeParts(&here);
    const HRESULT result = step(here);
    ExchangeParts(&here);
    return result;
  }
  // Once the driver's calls have returned, the renderer's last release calls no driver: it destroys
  // the renderer's Direct3D device, which belongs on the thread that drew with it (on another, a
  // rendering context is made first, 4-5 ms under Wine, and that thread keeps graphics state for as
  // long as it lives). This thread keeps a reference for it; after a stall that reference goes the
  // way of the rest of the graph.
  ComPtr<IBaseFilter> drawing = renderer;
  ExchangeParts(parts);
  HRESULT result = E_FAIL;
  // Whatever a late call drew before the clean-up stopped it goes too: the window is painted again.
  const auto undoLateCall = [parts, window = videoWindow] {
    delete parts;
    if (window != nullptr) InvalidateRect(window, nullptr, TRUE);
  };
  if (CallWithin(
          boundMs, [parts, step] { return step(*parts); }, undoLateCall, &result)) {
    ExchangeParts(parts);
    delete parts;
    return result;
  }
  ReleaseOffThisThread(drawing.Detach());
  built = 0;
  stalled = true;
  return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

HRESULT CaptureDevice::ChangeState(OAFilterState to) {
  if (control == nullptr) return E_POINTER;
  return CallOnGraph(to == State_Stopped ? kTearDownBound : kStartBound, [to](GraphParts& parts) {
    return to == State_Stopped  ? parts.control->Stop()
           : to == State_Paused ? parts.control->Pause()
                                : parts.control->Run();
  });
}
