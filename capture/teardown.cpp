#include <wrl/client.h>

#include <algorithm>
#include <vector>

#include "base/scoped.h"
#include "capture/bounded_call.h"
#include "capture/capture_device.h"
#include "capture/graph_event.h"
#include "capture/pin_lookup.h"

using Microsoft::WRL::ComPtr;

namespace {

// Removes, depth first and far end first, every filter reached from `filter` through
// connections whose far pin has direction `followed`. A filter already on the path (a driver's
// looped connections) is not entered again.
void RemoveConnected(IBaseFilter* filter, IFilterGraph2* graph, PIN_DIRECTION followed,
                     std::vector<IBaseFilter*>& path) {
  if (filter == nullptr || graph == nullptr) return;
  if (std::find(path.begin(), path.end(), filter) != path.end()) return;
  ComPtr<IEnumPins> pins;
  if (filter->EnumPins(&pins) != S_OK || pins == nullptr) return;
  path.push_back(filter);
  pins->Reset();
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  // A driver's enumerator that answers S_OK without a pin, or never stops, ends the walk.
  for (int taken = 0;
       taken < kMaxPinsPerFilter && pins->Next(1, pin.ReleaseAndGetAddressOf(), &fetched) == S_OK && pin != nullptr;
       ++taken) {
    ComPtr<IPin> farPin;
    pin->ConnectedTo(&farPin);
    if (farPin == nullptr) continue;
    scoped::PinInfo farEnd;
    // A far pin that cannot describe itself ends this filter's walk: its remaining connections
    // are left to the graph's own release.
    if (farPin->QueryPinInfo(&farEnd.info) != S_OK) break;
    const bool onPath = std::find(path.begin(), path.end(), farEnd.info.pFilter) != path.end();
    if (farEnd.info.dir == followed && !onPath) {
      RemoveConnected(farEnd.info.pFilter, graph, followed, path);
      graph->Disconnect(farPin.Get());
      graph->Disconnect(pin.Get());
      graph->RemoveFilter(farEnd.info.pFilter);
    }
  }
  path.pop_back();
}

void RemoveConnected(IBaseFilter* filter, IFilterGraph2* graph, PIN_DIRECTION followed) {
  std::vector<IBaseFilter*> path;
  RemoveConnected(filter, graph, followed, path);
}

}  // namespace

void RemoveDownstream(IBaseFilter* filter, IFilterGraph2* graph) { RemoveConnected(filter, graph, PINDIR_INPUT); }

void RemoveUpstream(IBaseFilter* filter, IFilterGraph2* graph) { RemoveConnected(filter, graph, PINDIR_OUTPUT); }

void TearDownGraph(GraphParts& parts) {
  if (parts.control != nullptr) parts.control->Stop();
  if (parts.events != nullptr) {
    parts.events->SetNotifyWindow(0, WM_GRAPH_EVENT, 0);
    parts.events.Reset();
  }
  static_cast<void>(parts.crossbarRouter.Reset());
  if (parts.graph != nullptr && parts.captureFilter != nullptr) {
    RemoveDownstream(parts.captureFilter.Get(), parts.graph.Get());
    RemoveUpstream(parts.captureFilter.Get(), parts.graph.Get());
  }
  parts.renderer.Reset();
  parts.windowless.Reset();
}

// Every driver call of the teardown within one bound, or all of it abandoned together.
void CaptureDevice::TearDown() {
  // A stall is kept in `stalled`, which the callers read.
  static_cast<void>(CallOnGraph(kTearDownBound, [](GraphParts& parts) {
    TearDownGraph(parts);
    return S_OK;
  }));
  built = 0;
}
