#pragma once

// What a test may look at inside a CaptureDevice: the graph it owns and its references.
#include <string>
#include <vector>

#include "capture/capture_device.h"

struct CaptureDeviceInspector {
  static IFilterGraph2* graph(const CaptureDevice* device) { return device->graph.Get(); }
  static ICaptureGraphBuilder2* builder(const CaptureDevice* device) { return device->builder.Get(); }
  static IMediaControl* control(const CaptureDevice* device) { return device->control.Get(); }
  static IBaseFilter* captureFilter(const CaptureDevice* device) { return device->captureFilter.Get(); }
  static IPin* capturePin(const CaptureDevice* device) { return device->capturePin.Get(); }
  static IBaseFilter* renderer(const CaptureDevice* device) { return device->renderer.Get(); }
  static LONG built(const CaptureDevice* device) { return device->built; }
  static LONG refCount(const CaptureDevice* device) { return device->refCount; }
};

namespace testsupport {

// The names of the filters in a graph, sorted.
std::vector<std::wstring> FilterNames(IFilterGraph* graph);

}  // namespace testsupport
