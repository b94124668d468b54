#pragma once

#include "simcam/filter/pin_base.h"

namespace simcam {

// A pin of the analog side of a card (tuner, crossbars, the capture filter's analog video
// input): it connects, but no samples flow through it.
class AnalogPin : public PinBase {
 public:
  AnalogPin(FilterBase* filter, std::wstring id, PIN_DIRECTION direction, const GUID& category, bool audio);

 protected:
  AM_MEDIA_TYPE* PreferredType() override;
  bool Accepts(const AM_MEDIA_TYPE& type) override;

 private:
  GUID majorType_;
};

}  // namespace simcam
