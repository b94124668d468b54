#pragma once

// The platform's own objects, made to fail one chosen call: while a double is alive, creating its
// class in this process yields the platform's real object wrapped (COM aggregation) so that the
// chosen calls fail and everything else is the platform's. Calls whose effect the platform does
// not show are recorded.
#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "tests/support/doubles/class_replacement.h"

namespace testsupport {

// Answers for the wrapped object's calls: S_OK lets the platform answer.
struct Faults {
  HRESULT create = S_OK;             // the class factory's CreateInstance itself
  IID refusedInterface = GUID_NULL;  // QueryInterface for it answers E_NOINTERFACE
  HRESULT run = S_OK;                // IMediaControl::Run
  HRESULT getState = S_OK;           // IMediaControl::GetState, writing no state
  HRESULT nativeVideoSize = S_OK;    // IVMRWindowlessControl9::GetNativeVideoSize, writing no size
  HRESULT defaultMonitor = S_OK;     // IVMRMonitorConfig9::GetDefaultMonitor
  DWORD runDelay = 0;                // IMediaControl::Run and Pause answer this much later;
  DWORD pauseDelay = 0;              // INFINITE: never, as a hung driver's
};

// An event as IMediaEventEx::GetEvent handed it out, or as FreeEventParams was given it.
struct GraphEvent {
  long code;
  LONG_PTR first, second;
  bool operator==(const GraphEvent& other) const {
    return code == other.code && first == other.first && second == other.second;
  }
};

// Values recorded from any thread.
template <typename Value>
class Recorded {
 public:
  void Add(const Value& value) {
    std::lock_guard<std::mutex> hold(lock_);
    values_.push_back(value);
  }
  std::vector<Value> values() const {
    std::lock_guard<std::mutex> hold(lock_);
    return values_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<Value> values_;
};

// Registered for `clsid` (CLSID_FilterGraph or CLSID_VideoMixingRenderer9) from construction to
// destruction; `faults` may be changed meanwhile.
class ClassDouble {
 public:
  explicit ClassDouble(REFCLSID clsid);
  ~ClassDouble();
  ClassDouble(const ClassDouble&) = delete;
  ClassDouble& operator=(const ClassDouble&) = delete;
  bool registered() const { return replacement_ != nullptr && SUCCEEDED(replacement_->registered()); }

  Faults faults;
  LONG created = 0;
  std::atomic<LONG> windowlessCalls{0};     // every IVMRWindowlessControl9 call, from any thread
  std::atomic<LONG> displayModeChanges{0};  // of them, DisplayModeChanged
  // The platform's FreeEventParams frees nothing, a window kept hidden looks like one never shown
  // and there is one monitor: these calls are seen only as they are made.
  Recorded<long> eventWaits;         // IMediaEventEx::GetEvent's time-outs
  Recorded<GraphEvent> eventsTaken;  // IMediaEventEx::GetEvent answers that succeeded
  Recorded<GraphEvent> eventsFreed;  // IMediaEventEx::FreeEventParams
  Recorded<long> visible;            // IVideoWindow::put_Visible
  Recorded<UINT> monitors;           // IVMRMonitorConfig9::SetMonitor

 private:
  std::unique_ptr<ClassReplacement> replacement_;
};

}  // namespace testsupport
