#pragma once

#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>
#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>

#include "capture/graph_parts.h"
#include "capture/interface_ids.h"
#include "capture/media_type.h"
#include "controls/crossbar_router.h"

// One chosen video capture source and everything of its preview graph. Reference counted; the
// count is 0 after construction.
//
// Implemented in: capture/capture_device.cpp (construction, destruction, IUnknown, the format),
// controls/capture_format.cpp (Open and the initial format), capture/preview_graph.cpp (building
// the graph), capture/run_restore.cpp (running, repainting, saving and restoring the state),
// capture/state_change.cpp (calls on the graph within a bound), capture/teardown.cpp (teardown),
// controls/device_pages.cpp (the property pages), controls/input_dialog.cpp (the input dialog).
class CaptureDevice : public IUnknown {
 public:
  CaptureDevice();
  CaptureDevice(const CaptureDevice&) = delete;
  CaptureDevice& operator=(const CaptureDevice&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  virtual ~CaptureDevice();

  std::wstring GetName() const { return name; }
  // The device itself: identical devices share a name whose numbering moves as devices come and go.
  Microsoft::WRL::ComPtr<IMoniker> GetMoniker() const { return moniker; }
  Microsoft::WRL::ComPtr<IVMRWindowlessControl9> GetWindowlessControl() const { return windowless; }
  Microsoft::WRL::ComPtr<IMediaEventEx> GetMediaEvent() const { return events; }
  std::unique_ptr<MediaType> GetCaptureFormat() const;

  // Binds `device` as this object's source, under the display name `displayName`.
  [[nodiscard]] HRESULT Open(const std::wstring& displayName, const Microsoft::WRL::ComPtr<IMoniker>& device);
  // Dismantles the preview graph down to the bare capture filter.
  void TearDown();
  // Builds the stopped preview graph drawing into videoWindow; false when a mandatory step fails.
  [[nodiscard]] bool BuildPreviewGraph();
  [[nodiscard]] bool Run();
  [[nodiscard]] HRESULT Repaint(HWND window, HDC context);
  // The former graph state (State_Stopped, State_Paused, State_Running), or -1 when not built.
  LONG SaveStateAndTearDown();
  [[nodiscard]] bool RebuildAndRestore(LONG state);
  // True once a call on the graph outlived its bound: the driver is stuck, the graph left to the
  // call's worker, and the device is as good as lost.
  [[nodiscard]] bool IsStalled() const { return stalled; }

  [[nodiscard]] bool HasCrossbarInputs();
  [[nodiscard]] HRESULT ShowInputDialog(HWND owner);
  [[nodiscard]] bool HasFormatPages();
  [[nodiscard]] bool HasFilterPages();
  [[nodiscard]] bool HasTunerPages();
  [[nodiscard]] HRESULT ShowFormatPages(HWND owner);
  [[nodiscard]] HRESULT ShowFilterPages(HWND owner);
  [[nodiscard]] HRESULT ShowTunerPages(HWND owner);

  // The window the preview draws into and that receives WM_GRAPH_EVENT; set by the shell.
  HWND videoWindow = nullptr;
  // Set by the shell once it has shown the device's loss: one box per device, whatever the path.
  bool lossReported = false;

 private:
  friend struct CaptureDeviceInspector;  // tests look at the graph the device owns

  void ChooseInitialFormat();
  [[nodiscard]] bool RenderPreviewStream(const GUID& majorType);
  [[nodiscard]] bool AddWindowlessRenderer();
  void SetVideoRectangles();
  void BuildCrossbarRoutes();
  void DirectEventsToWindow();
  // Stop, Pause or Run on `control`, given up after its bound.
  [[nodiscard]] HRESULT ChangeState(OAFilterState to);
  // Runs `step` on the graph's parts on a worker, within `boundMs`. Past the bound the parts stay
  // with the worker, this device holds none of them, and it is stalled.
  [[nodiscard]] HRESULT CallOnGraph(DWORD boundMs, const std::function<HRESULT(GraphParts&)>& step);
  void ExchangeParts(GraphParts* parts);
  // The page sources of the Controls commands, each as its ISpecifyPropertyPages and the object
  // the frame is given.
  [[nodiscard]] HRESULT FormatPageSource(Microsoft::WRL::ComPtr<IUnknown>* source);
  [[nodiscard]] HRESULT FilterPageSource(Microsoft::WRL::ComPtr<IUnknown>* source);
  [[nodiscard]] HRESULT TunerPageSource(Microsoft::WRL::ComPtr<IUnknown>* source);

  LONG refCount = 0;
  Microsoft::WRL::ComPtr<IFilterGraph2> graph;
  Microsoft::WRL::ComPtr<ICaptureGraphBuilder2> builder;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  LONG built = 0;
  bool stalled = false;
  std::wstring name;
  Microsoft::WRL::ComPtr<IMoniker> moniker;
  Microsoft::WRL::ComPtr<IBaseFilter> captureFilter;
  Microsoft::WRL::ComPtr<IPin> capturePin;
  Microsoft::WRL::ComPtr<IBaseFilter> renderer;
  Microsoft::WRL::ComPtr<IVMRWindowlessControl9> windowless;
  Microsoft::WRL::ComPtr<IMediaEventEx> events;
  CrossbarRouter crossbarRouter;
};

// Remove every filter fed by (downstream) or feeding (upstream) `filter`, far end first; `filter`
// itself stays.
void RemoveDownstream(IBaseFilter* filter, IFilterGraph2* graph);
void RemoveUpstream(IBaseFilter* filter, IFilterGraph2* graph);
