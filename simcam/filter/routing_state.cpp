#include "simcam/filter/routing_state.h"

#include "simcam/common/control.h"

namespace simcam {
namespace {

std::wstring ConnectorName(LONG type) {
  switch (type) {
    case PhysConn_Video_Tuner:
      return L"Tuner";
    case PhysConn_Video_Composite:
      return L"Composite";
    case PhysConn_Video_SVideo:
      return L"SVideo";
    default:
      return L"Input " + std::to_wstring(type);
  }
}

}  // namespace

RoutingState::RoutingState(const DeviceProfile& profile) : profile_(profile) {
  // Each output starts routed to the first routable input of its kind, as a card powers up.
  for (const CrossbarSpec& crossbar : profile_.crossbars) {
    std::vector<LONG> outputs;
    for (const CrossbarPinSpec& output : crossbar.outputs) {
      LONG routed = -1;
      for (size_t i = 0; i < crossbar.inputs.size() && routed < 0; ++i)
        if (IsAudioConnector(crossbar.inputs[i].type) == IsAudioConnector(output.type) && crossbar.inputs[i].routable)
          routed = static_cast<LONG>(i);
      outputs.push_back(routed);
    }
    routing_.push_back(outputs);
  }
}

LONG RoutingState::RoutedTo(size_t crossbar, LONG output) {
  std::lock_guard<std::mutex> guard(lock_);
  if (crossbar >= routing_.size() || output < 0 || static_cast<size_t>(output) >= routing_[crossbar].size()) return -1;
  return routing_[crossbar][static_cast<size_t>(output)];
}

void RoutingState::Route(size_t crossbar, LONG output, LONG input) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    routing_[crossbar][static_cast<size_t>(output)] = input;
  }
  ++generation_;
}

LONG RoutingState::channel() {
  std::lock_guard<std::mutex> guard(lock_);
  return channel_;
}

void RoutingState::SetChannel(LONG channel) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    channel_ = channel;
  }
  ++generation_;
}

int RoutingState::PhysicalOrdinal(size_t crossbar, LONG input) const {
  int ordinal = 0;
  for (size_t c = 0; c < profile_.crossbars.size(); ++c) {
    const auto& inputs = profile_.crossbars[c].inputs;
    for (size_t i = 0; i < inputs.size(); ++i) {
      if (c == crossbar && static_cast<LONG>(i) == input) return ordinal;
      if (!IsAudioConnector(inputs[i].type) && inputs[i].fedBy < 0) ++ordinal;
    }
  }
  return ordinal;
}

void RoutingState::RoutedPicture(std::wstring* name, DWORD* colour) {
  if (profile_.crossbars.empty()) {
    *name = L"Camera";
    *colour = kNoInputColour;
    return;
  }
  size_t crossbar = 0;
  LONG output = 0;
  // Bounded: a profile may chain crossbars in a loop.
  for (size_t hops = 0; hops <= profile_.crossbars.size(); ++hops) {
    const LONG input = RoutedTo(crossbar, output);
    if (input < 0) break;
    const CrossbarPinSpec& source = profile_.crossbars[crossbar].inputs[static_cast<size_t>(input)];
    if (source.fedBy < 0) {
      *name = profile_.crossbars[crossbar].name + L" " + ConnectorName(source.type);
      if (source.type == 1 && profile_.tuner) *name += L" ch " + std::to_wstring(channel());
      *colour = RoutedInputColour(PhysicalOrdinal(crossbar, input));
      return;
    }
    crossbar = static_cast<size_t>(source.fedBy);
    output = source.fedByOutput;
  }
  *name = L"No signal";
  *colour = 0x000000;
}

}  // namespace simcam
