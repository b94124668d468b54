#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <type_traits>

#include "simcam/common/profile.h"

namespace simcam {

// True when the kit's method now running was called from the process's main executable.
bool CalledFromProgram();
// The process-wide count of calls of each method, which a fault plan could fail.
void TallyCall(const wchar_t* method, bool fromProgram);
void TallyInjection();

// Makes the k-th call of a named method fail, as the device's profile asks.
class FaultPlan {
 public:
  void Load(const std::map<std::wstring, FaultSpec>& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
    calls_.clear();
    programCalls_.clear();
  }
  // S_OK, or the injected result when this call is the one that must fail. A method that can lie
  // passes `lie`: it is set to the lie this call must tell (Lie::None for the truth).
  HRESULT Check(const wchar_t* method, Lie* lie = nullptr) {
    if (lie != nullptr) *lie = Lie::None;
    const bool fromProgram = CalledFromProgram();
    TallyCall(method, fromProgram);
    std::lock_guard<std::mutex> lock(mutex_);
    const int call = ++calls_[method];
    const int programCall = fromProgram ? ++programCalls_[method] : 0;
    const auto fault = faults_.find(method);
    if (fault == faults_.end() || (fault->second.programOnly ? programCall : call) != fault->second.call) return S_OK;
    if (fault->second.lie != Lie::None) {
      if (lie == nullptr) return S_OK;
      *lie = fault->second.lie;
    }
    TallyInjection();
    return fault->second.result;
  }

  // The injected failure when this call of `method` is the one to fail; otherwise what `respond`
  // answers. A `respond` that takes a Lie is told the lie this call must tell (Lie::None: none).
  template <typename Response>
  HRESULT Respond(const wchar_t* method, Response respond) {
    if constexpr (std::is_invocable_v<Response, Lie>) {
      Lie lie = Lie::None;
      const HRESULT injected = Check(method, &lie);
      return injected != S_OK ? injected : respond(lie);
    } else {
      const HRESULT injected = Check(method);
      return injected != S_OK ? injected : respond();
    }
  }

 private:
  std::mutex mutex_;
  std::map<std::wstring, FaultSpec> faults_;
  std::map<std::wstring, int> calls_;
  std::map<std::wstring, int> programCalls_;
};

}  // namespace simcam
