#pragma once

#include <dshow.h>
#include <windows.h>

#include <memory>

#include "capture/media_type.h"

// A filter enumerating more pins than this is taken for an enumerator that never ends.
constexpr int kMaxPinsPerFilter = 1024;

// On success *pin holds a new reference.
[[nodiscard]] HRESULT FindPinByCategory(IBaseFilter* filter, PIN_DIRECTION direction, REFGUID category, IPin** pin);
[[nodiscard]] HRESULT FindCapturePin(IBaseFilter* filter, IPin** pin);
[[nodiscard]] HRESULT FindPreviewPin(IBaseFilter* filter, IPin** pin);
[[nodiscard]] HRESULT FindAnalogVideoInPin(IBaseFilter* filter, IPin** pin);

// The pin's current format through IAMStreamConfig, or null on any failure.
std::unique_ptr<MediaType> GetPinFormat(IPin* pin);
[[nodiscard]] HRESULT SetPinFormat(const AM_MEDIA_TYPE* type, IPin* pin);
