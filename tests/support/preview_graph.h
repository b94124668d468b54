#pragma once

// A bare preview graph of a simulated device in a window of the test's own: the capture pin
// rendered into VMR-9 windowless, as the platform builds it without the program.
#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>
#include <windows.h>
#include <wrl/client.h>

#include "simcam/common/control.h"

namespace simcamtest {

class TestWindow {
 public:
  TestWindow(int clientWidth, int clientHeight);
  ~TestWindow();
  HWND handle() const { return window_; }
  // Runs the window's messages for `milliseconds`.
  void Pump(DWORD milliseconds) const;
  // The colour drawn at client point (x, y), as 0xRRGGBB.
  DWORD PixelAt(int x, int y) const;

 private:
  HWND window_ = nullptr;
};

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

// The colour drawn at client point (x, y) of `window`, read from the screen, as 0xRRGGBB.
DWORD ClientPixel(HWND window, int x, int y);

// Runs this thread's messages for `milliseconds`.
void PumpMessages(DWORD milliseconds);

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

// Colours closer than this per channel count as the same (scaling blends edges).
bool SameColour(DWORD a, DWORD b, int tolerance = 24);

}  // namespace simcamtest
