#include "simcam/filter/analog_pin.h"

#include <cstring>

namespace simcam {

AnalogPin::AnalogPin(FilterBase* filter, std::wstring id, PIN_DIRECTION direction, const GUID& category, bool audio)
    : PinBase(filter, std::move(id), direction, category),
      majorType_(audio ? MEDIATYPE_AnalogAudio : MEDIATYPE_AnalogVideo) {}

AM_MEDIA_TYPE* AnalogPin::PreferredType() {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (type == nullptr) return nullptr;
  std::memset(type, 0, sizeof(*type));
  type->majortype = majorType_;
  type->formattype = FORMAT_None;
  type->lSampleSize = 1;
  return type;
}

bool AnalogPin::Accepts(const AM_MEDIA_TYPE& type) {
  return type.majortype == MEDIATYPE_AnalogVideo || type.majortype == MEDIATYPE_AnalogAudio;
}

}  // namespace simcam
