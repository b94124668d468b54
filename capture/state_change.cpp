#include "capture/bounded_call.h"
#include "capture/capture_device.h"

HRESULT CaptureDevice::ChangeState(OAFilterState to) {
  if (control == nullptr) return E_POINTER;
  // The graph manager is free-threaded, and its pointer here is the object itself, not a proxy:
  // the worker's call does not need this thread.
  IMediaControl* media = control.Get();
  HRESULT result = E_FAIL;
  const bool returned = CallWithin(
      kStateChangeBound,
      [media, to] { return to == State_Stopped  ? media->Stop()
                           : to == State_Paused ? media->Pause()
                                                : media->Run(); },
      &result);
  if (returned) return result;
  AbandonGraph();
  return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

// A driver is stuck in a call on this graph. Releasing any object of the graph could end in the
// same driver (the graph's last release stops it again), so every reference is kept, unreleased,
// for the rest of the process.
void CaptureDevice::AbandonGraph() {
  static_cast<void>(graph.Detach());
  static_cast<void>(builder.Detach());
  static_cast<void>(control.Detach());
  static_cast<void>(captureFilter.Detach());
  static_cast<void>(capturePin.Detach());
  static_cast<void>(renderer.Detach());
  static_cast<void>(windowless.Detach());
  static_cast<void>(events.Detach());
  crossbarRouter.Abandon();
  built = 0;
  stalled = true;
}
