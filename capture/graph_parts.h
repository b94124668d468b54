#pragma once

#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>
#include <wrl/client.h>

#include "controls/crossbar_router.h"

// The driver-facing references of a device's preview graph, lent to the worker of a bounded call.
// Whoever holds them last dismantles them: a graph whose driver returned late is stopped, detached
// from its window and released on the worker, never on the user-interface thread.
struct GraphParts {
  GraphParts() = default;
  GraphParts(const GraphParts&) = delete;
  GraphParts& operator=(const GraphParts&) = delete;
  ~GraphParts();

  // Releases everything, in the order the device's own destruction does.
  void ReleaseAll();

  Microsoft::WRL::ComPtr<IFilterGraph2> graph;
  Microsoft::WRL::ComPtr<ICaptureGraphBuilder2> builder;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IBaseFilter> captureFilter;
  Microsoft::WRL::ComPtr<IPin> capturePin;
  Microsoft::WRL::ComPtr<IBaseFilter> renderer;
  Microsoft::WRL::ComPtr<IVMRWindowlessControl9> windowless;
  Microsoft::WRL::ComPtr<IMediaEventEx> events;
  CrossbarRouter crossbarRouter;
};

// Stops the graph, detaches its notifications, empties the routes and removes every filter
// connected to the capture filter, in that order; the bare capture filter stays in the graph.
void TearDownGraph(GraphParts& parts);
