#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

#include "simcam/common/profile.h"
#include "simcam/filter/kit_object.h"

namespace simcam {

// IEnumPins over a fixed set of pins; holds the filter alive while it exists. Create it with
// Create, which hands out the first reference. A lying one (Lie::Endless, Lie::EndlessSame) never
// ends: it answers S_OK with no pin, or with the first pin, for ever. With Lie::BrokenMoves, Reset
// answers S_OK and goes to the end, Skip answers S_OK without moving, Clone answers S_OK with none.
class PinEnumerator : public IEnumPins, public KitObject {
 public:
  static IEnumPins* Create(IBaseFilter* filter, std::vector<IPin*> pins, size_t position = 0, Lie lie = Lie::None);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  SIMCAM_KIT_REFCOUNT

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** clone) override;

 private:
  PinEnumerator(IBaseFilter* filter, std::vector<IPin*> pins, size_t position, Lie lie);

  Microsoft::WRL::ComPtr<IBaseFilter> filter_;
  std::vector<IPin*> pins_;  // owned by the filter
  size_t position_;
  Lie lie_;
};

}  // namespace simcam
