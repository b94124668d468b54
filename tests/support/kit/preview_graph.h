#pragma once

// A bare preview graph of a simulated device in a window of the test's own: the capture pin
// rendered into VMR-9 windowless, as the platform builds it without the program.
#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>
#include <windows.h>
#include <wrl/client.h>

#include "simcam/common/control.h"
#include "tests/support/test_window.h"

namespace testsupport {

// The moniker of the kit device registered at `number`, and that device bound to its filter.
Microsoft::WRL::ComPtr<IMoniker> DeviceMoniker(unsigned number);
Microsoft::WRL::ComPtr<IBaseFilter> BindDevice(unsigned number);

class PreviewGraph {
 public:
  // Builds the graph; check `result` before use.
  PreviewGraph(IBaseFilter* capture, HWND window);
  ~PreviewGraph();

  HRESULT result = E_FAIL;
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<ICaptureGraphBuilder2> builder;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IMediaEventEx> events;
  Microsoft::WRL::ComPtr<IBaseFilter> renderer;
  Microsoft::WRL::ComPtr<IVMRWindowlessControl9> windowless;
  Microsoft::WRL::ComPtr<simcam::ISimCamDevice> device;
  simcam::StreamStats Stats() const;
};

// Objects and references of the kit alive in this process.
// The kit's private interface on a capture filter (null when it is not the kit's), and its stream
// figures (all zero then).
Microsoft::WRL::ComPtr<simcam::ISimCamDevice> KitDeviceOf(IBaseFilter* capture);
simcam::StreamStats KitStatsOf(IBaseFilter* capture);

LONG KitLiveObjects();
LONG KitLiveReferences();
// Calls of a method the kit could fail (all, or only the test executable's own), and faults
// injected, since the last reset (0 before the kit is loaded).
LONG KitCallCount(const wchar_t* method, bool programOnly);
LONG KitInjectedFaults();
void ResetKitCallCounts();

}  // namespace testsupport
