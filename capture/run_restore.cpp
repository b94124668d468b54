#include "capture/capture_device.h"

bool CaptureDevice::Run() { return control != nullptr && SUCCEEDED(ChangeState(State_Running)); }

HRESULT CaptureDevice::Repaint(HWND window, HDC context) {
  if (windowless == nullptr) return E_FAIL;
  return windowless->RepaintVideo(window, context);
}

LONG CaptureDevice::SaveStateAndTearDown() {
  if (built == 0) {
    TearDown();
    return -1;
  }
  OAFilterState state = -1;
  if (control != nullptr) control->GetState(500, &state);
  // A built graph whose state cannot be read comes back running rather than not at all.
  if (state < State_Stopped || state > State_Running) state = State_Running;
  TearDown();
  return static_cast<LONG>(state);
}

bool CaptureDevice::RebuildAndRestore(LONG state) {
  if (state < 0) return true;
  if (!BuildPreviewGraph()) return false;
  // A graph that was stopped comes back paused: it shows its current frame.
  return SUCCEEDED(ChangeState(state == State_Stopped || state == State_Paused ? State_Paused : State_Running));
}
