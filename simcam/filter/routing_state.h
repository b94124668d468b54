#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "simcam/common/profile.h"

namespace simcam {

// The routing of a simulated card's crossbars and the tuner's channel, shared by the device's
// filters: it decides which physical input the picture shows.
class RoutingState {
 public:
  explicit RoutingState(const DeviceProfile& profile);

  const DeviceProfile& profile() const { return profile_; }
  LONG RoutedTo(size_t crossbar, LONG output);
  void Route(size_t crossbar, LONG output, LONG input);
  LONG channel();
  void SetChannel(LONG channel);
  // Bumped on every change, so streaming threads notice without locking.
  unsigned generation() const { return generation_; }

  // What the capture filter's analog input receives: name and band colour.
  void RoutedPicture(std::wstring* name, DWORD* colour);

 private:
  int PhysicalOrdinal(size_t crossbar, LONG input) const;

  DeviceProfile profile_;
  std::mutex lock_;
  std::vector<std::vector<LONG>> routing_;  // per crossbar, per output: the input, or -1
  LONG channel_ = 4;
  std::atomic<unsigned> generation_{0};
};

}  // namespace simcam
