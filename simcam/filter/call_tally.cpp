#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "simcam/filter/faults.h"

namespace {

std::mutex g_tallyLock;
LONG g_injections = 0;
struct Calls {
  LONG all = 0;
  LONG fromProgram = 0;
};

std::map<std::wstring, Calls>& Tally() {
  static std::map<std::wstring, Calls> tally;
  return tally;
}

HMODULE ModuleAt(void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(address), &module);
  return module;
}

}  // namespace

namespace simcam {

bool CalledFromProgram() {
  void* frames[16] = {};
  const USHORT count = RtlCaptureStackBackTrace(0, 16, frames, nullptr);
  const HMODULE kit = ModuleAt(reinterpret_cast<void*>(&CalledFromProgram));
  for (USHORT i = 0; i < count; ++i) {
    const HMODULE caller = ModuleAt(frames[i]);
    if (caller != kit) return caller != nullptr && caller == GetModuleHandleW(nullptr);
  }
  return false;
}

void TallyCall(const wchar_t* method, bool fromProgram) {
  std::lock_guard<std::mutex> lock(g_tallyLock);
  Calls& calls = Tally()[method];
  ++calls.all;
  if (fromProgram) ++calls.fromProgram;
}

void TallyInjection() { InterlockedIncrement(&g_injections); }

}  // namespace simcam

extern "C" LONG __stdcall SimCamCallCount(const WCHAR* method, BOOL programOnly) {
  if (method == nullptr) return 0;
  std::lock_guard<std::mutex> lock(g_tallyLock);
  const auto found = Tally().find(method);
  if (found == Tally().end()) return 0;
  return programOnly ? found->second.fromProgram : found->second.all;
}

extern "C" LONG __stdcall SimCamInjectedFaults() { return InterlockedCompareExchange(&g_injections, 0, 0); }

extern "C" void __stdcall SimCamResetCallCounts() {
  std::lock_guard<std::mutex> lock(g_tallyLock);
  Tally().clear();
  InterlockedExchange(&g_injections, 0);
}
