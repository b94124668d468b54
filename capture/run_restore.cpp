#include <memory>

#include "capture/bounded_call.h"
#include "capture/capture_device.h"

bool CaptureDevice::Run() { return control != nullptr && SUCCEEDED(ChangeState(State_Running)); }

HRESULT CaptureDevice::Repaint(HWND window, HDC context) {
  if (windowless == nullptr) return E_FAIL;
  return windowless->RepaintVideo(window, context);
}

// The state read waits on the graph's lock, which a stuck state change holds: it shares the
// teardown's bound.
LONG CaptureDevice::SaveStateAndTearDown() {
  if (built == 0) {
    TearDown();
    return -1;
  }
  auto state = std::make_shared<OAFilterState>(-1);  // written by the worker, also after a late return
  const HRESULT hr = CallOnGraph(kTearDownBound, [state](GraphParts& parts) {
    if (parts.control != nullptr) parts.control->GetState(500, state.get());
    TearDownGraph(parts);
    return S_OK;
  });
  built = 0;
  // A built graph whose state cannot be read (or that is stuck) comes back running rather than not at all.
  if (FAILED(hr) || *state < State_Stopped || *state > State_Running) return State_Running;
  return static_cast<LONG>(*state);
}

bool CaptureDevice::RebuildAndRestore(LONG state) {
  if (state < 0) return true;
  if (!BuildPreviewGraph()) return false;
  // A graph that was stopped comes back paused: it shows its current frame.
  return SUCCEEDED(ChangeState(state == State_Stopped || state == State_Paused ? State_Paused : State_Running));
}
