#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simcam/common/video_format.h"

namespace simcam {

// Paints the kit's test pattern: colour bars, a band in the colour of the routed input with its
// name, a moving marker and a frame counter. The still part is prepared once per setting so that
// a frame costs one copy and two small overlays.
class TestPattern {
 public:
  void Configure(const VideoFormat& format, const std::wstring& inputName, uint32_t inputColour, LONG brightness);
  // Writes frame `number` into `buffer` in `layout`; returns the bytes written, 0 when it does not
  // fit.
  long Paint(BYTE* buffer, long capacity, LONGLONG number, const SampleLayout& layout);

 private:
  void FillRect(BYTE* frame, LONG x, LONG y, LONG width, LONG height, uint32_t rgb) const;
  void DrawText(BYTE* frame, LONG x, LONG y, LONG scale, const std::wstring& text, uint32_t rgb) const;
  void PaintNative(BYTE* frame, LONGLONG number) const;

  VideoFormat format_;
  std::vector<BYTE> still_;
  std::vector<BYTE> frame_;  // a frame in the native layout, for copying into another
};

}  // namespace simcam
