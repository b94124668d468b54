#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "simcam/common/profile.h"

namespace simcam {

// Makes the k-th call of a named method fail, as the device's profile asks.
class FaultPlan {
 public:
  void Load(const std::map<std::wstring, FaultSpec>& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
    calls_.clear();
  }
  // S_OK, or the injected result when this call is the one that must fail.
  HRESULT Check(const wchar_t* method) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int call = ++calls_[method];
    const auto fault = faults_.find(method);
    return fault != faults_.end() && fault->second.call == call ? fault->second.result : S_OK;
  }

 private:
  std::mutex mutex_;
  std::map<std::wstring, FaultSpec> faults_;
  std::map<std::wstring, int> calls_;
};

}  // namespace simcam
