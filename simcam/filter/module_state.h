#pragma once

#include <atomic>

namespace simcam {

// Objects the DLL has handed out and not yet destroyed; the DLL may unload when this is zero
// and no server lock is held.
extern std::atomic<long> g_liveObjects;
extern std::atomic<long> g_serverLocks;

// Counts an object's lifetime in g_liveObjects.
class LiveObject {
 public:
  LiveObject() { ++g_liveObjects; }
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
  virtual ~LiveObject() { --g_liveObjects; }
};

}  // namespace simcam
