#pragma once

#include <windows.h>

#include <atomic>

namespace simcam {

// Every COM object the kit hands out is counted here, so tests can prove that a program released
// all it was given.
extern std::atomic<LONG> g_liveObjects;
extern std::atomic<LONG> g_liveReferences;
extern std::atomic<LONG> g_serverLocks;

// Reference counting with accounting; the object deletes itself at zero.
class KitObject {
 public:
  KitObject() { ++g_liveObjects; }
  KitObject(const KitObject&) = delete;
  KitObject& operator=(const KitObject&) = delete;
  virtual ~KitObject() { --g_liveObjects; }

  ULONG AddReference() {
    ++g_liveReferences;
    return ++references_;
  }
  ULONG ReleaseReference() {
    --g_liveReferences;
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

 private:
  std::atomic<ULONG> references_{0};
};

#define SIMCAM_KIT_REFCOUNT                                         \
  STDMETHODIMP_(ULONG) AddRef() override { return AddReference(); } \
  STDMETHODIMP_(ULONG) Release() override { return ReleaseReference(); }

}  // namespace simcam
