#include "simcam/filter/test_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwctype>

namespace simcam {
namespace {

// 5x7 glyphs, one byte a row, bit 4 the leftmost column.
struct Glyph {
  wchar_t character;
  uint8_t rows[7];
};

const Glyph kGlyphs[] = {
    {L'0', {14, 17, 19, 21, 25, 17, 14}}, {L'1', {4, 12, 4, 4, 4, 4, 14}},      {L'2', {14, 17, 1, 2, 4, 8, 31}},
    {L'3', {31, 2, 4, 2, 1, 17, 14}},     {L'4', {2, 6, 10, 18, 31, 2, 2}},     {L'5', {31, 16, 30, 1, 1, 17, 14}},
    {L'6', {6, 8, 16, 30, 17, 17, 14}},   {L'7', {31, 1, 2, 4, 8, 8, 8}},       {L'8', {14, 17, 17, 14, 17, 17, 14}},
    {L'9', {14, 17, 17, 15, 1, 2, 12}},   {L'A', {14, 17, 17, 31, 17, 17, 17}}, {L'B', {30, 17, 17, 30, 17, 17, 30}},
    {L'C', {14, 17, 16, 16, 16, 17, 14}}, {L'D', {28, 18, 17, 17, 17, 18, 28}}, {L'E', {31, 16, 16, 30, 16, 16, 31}},
    {L'F', {31, 16, 16, 30, 16, 16, 16}}, {L'G', {14, 17, 16, 23, 17, 17, 15}}, {L'H', {17, 17, 17, 31, 17, 17, 17}},
    {L'I', {14, 4, 4, 4, 4, 4, 14}},      {L'J', {7, 2, 2, 2, 2, 18, 12}},      {L'K', {17, 18, 20, 24, 20, 18, 17}},
    {L'L', {16, 16, 16, 16, 16, 16, 31}}, {L'M', {17, 27, 21, 21, 17, 17, 17}}, {L'N', {17, 17, 25, 21, 19, 17, 17}},
    {L'O', {14, 17, 17, 17, 17, 17, 14}}, {L'P', {30, 17, 17, 30, 16, 16, 16}}, {L'Q', {14, 17, 17, 17, 21, 18, 13}},
    {L'R', {30, 17, 17, 30, 20, 18, 17}}, {L'S', {15, 16, 16, 14, 1, 1, 30}},   {L'T', {31, 4, 4, 4, 4, 4, 4}},
    {L'U', {17, 17, 17, 17, 17, 17, 14}}, {L'V', {17, 17, 17, 17, 17, 10, 4}},  {L'W', {17, 17, 17, 21, 21, 21, 10}},
    {L'X', {17, 17, 10, 4, 10, 17, 17}},  {L'Y', {17, 17, 17, 10, 4, 4, 4}},    {L'Z', {31, 1, 2, 4, 8, 16, 31}},
    {L'#', {10, 10, 31, 10, 31, 10, 10}}, {L'-', {0, 0, 0, 31, 0, 0, 0}},       {L':', {0, 12, 12, 0, 12, 12, 0}},
    {L'.', {0, 0, 0, 0, 0, 12, 12}},
};

const uint8_t* GlyphRows(wchar_t character) {
  const wchar_t upper = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(character)));
  for (const Glyph& glyph : kGlyphs)
    if (glyph.character == upper) return glyph.rows;
  return nullptr;  // drawn as a space
}

const uint32_t kBars[] = {0xffffff, 0xffff00, 0x00ffff, 0x00ff00, 0xff00ff, 0xff0000, 0x0000ff, 0x000000};

uint32_t Scale(uint32_t rgb, LONG percent) {
  const auto channel = [percent](uint32_t value) { return std::min<uint32_t>(255, value * percent / 100); };
  return channel(rgb >> 16 & 255) << 16 | channel(rgb >> 8 & 255) << 8 | channel(rgb & 255);
}

BYTE Clamp(int value) { return static_cast<BYTE>(std::clamp(value, 0, 255)); }

void ToYuv(uint32_t rgb, BYTE* y, BYTE* u, BYTE* v) {
  const int r = static_cast<int>(rgb >> 16 & 255), g = static_cast<int>(rgb >> 8 & 255),
            b = static_cast<int>(rgb & 255);
  *y = Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
  *u = Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
  *v = Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

}  // namespace

void TestPattern::Configure(const VideoFormat& format, const std::wstring& inputName, uint32_t inputColour,
                            LONG brightness) {
  format_ = format;
  still_.assign(ImageSizeOf(format), 0);
  if (format.pixels == PixelFormat::MJPG) return;  // compressed: the bytes are not a picture
  const LONG barsHeight = format.height * 3 / 4;
  for (int bar = 0; bar < 8; ++bar) {
    const LONG left = format.width * bar / 8, right = format.width * (bar + 1) / 8;
    FillRect(still_.data(), left, 0, right - left, barsHeight, Scale(kBars[bar], brightness));
  }
  FillRect(still_.data(), 0, barsHeight, format.width, format.height - barsHeight, inputColour);
  const LONG scale = std::max<LONG>(1, format.height / 120);
  DrawText(still_.data(), 8, barsHeight + 8, scale, inputName, 0x000000);
}

long TestPattern::Paint(BYTE* buffer, long capacity, LONGLONG number, const SampleLayout& layout) {
  const SampleLayout native = NativeLayoutOf(format_);
  if (format_.pixels == PixelFormat::MJPG || (layout.stride == native.stride && layout.topDown == native.topDown)) {
    const long size = static_cast<long>(still_.size());
    if (buffer == nullptr || capacity < size) return 0;
    PaintNative(buffer, number);
    return size;
  }
  const long long size = static_cast<long long>(layout.stride) * format_.height;
  if (buffer == nullptr || layout.stride < native.stride || size > capacity) return 0;
  frame_.resize(still_.size());
  PaintNative(frame_.data(), number);
  for (LONG row = 0; row < format_.height; ++row) {
    const LONG target = layout.topDown == native.topDown ? row : format_.height - 1 - row;
    std::memcpy(buffer + static_cast<std::ptrdiff_t>(target) * layout.stride,
                frame_.data() + static_cast<std::ptrdiff_t>(row) * native.stride, static_cast<size_t>(native.stride));
  }
  return static_cast<long>(size);
}

void TestPattern::PaintNative(BYTE* frame, LONGLONG number) const {
  std::memcpy(frame, still_.data(), still_.size());
  if (format_.pixels == PixelFormat::MJPG) return;
  const LONG marker = std::max<LONG>(8, format_.height / 20);
  const LONG travel = std::max<LONG>(1, format_.width - marker);
  FillRect(frame, static_cast<LONG>(number * 4 % travel), format_.height * 3 / 4 - marker * 2, marker, marker,
           0xffffff);
  const LONG scale = std::max<LONG>(1, format_.height / 240);
  FillRect(frame, 0, 0, 6 * 10 * scale + 8, 7 * scale + 8, 0x000000);
  DrawText(frame, 4, 4, scale, std::to_wstring(number), 0xffffff);
}

void TestPattern::FillRect(BYTE* frame, LONG x, LONG y, LONG width, LONG height, uint32_t rgb) const {
  const LONG left = std::clamp<LONG>(x, 0, format_.width), right = std::clamp<LONG>(x + width, 0, format_.width);
  const LONG top = std::clamp<LONG>(y, 0, format_.height), bottom = std::clamp<LONG>(y + height, 0, format_.height);
  const LONG stride = NativeLayoutOf(format_).stride;
  for (LONG row = top; row < bottom; ++row) {
    if (format_.pixels == PixelFormat::YUY2) {
      BYTE luma, u, v;
      ToYuv(rgb, &luma, &u, &v);
      BYTE* line = frame + static_cast<std::ptrdiff_t>(row) * stride;  // YUY2 is top-down
      for (LONG column = left & ~1L; column < right; column += 2) {
        BYTE* pair = line + static_cast<std::ptrdiff_t>(column) * 2;
        pair[0] = luma, pair[1] = u, pair[2] = luma, pair[3] = v;
      }
      continue;
    }
    const LONG bytes = format_.pixels == PixelFormat::RGB32 ? 4 : 3;
    BYTE* line = frame + static_cast<std::ptrdiff_t>(format_.height - 1 - row) * stride;  // RGB is bottom-up
    for (LONG column = left; column < right; ++column) {
      BYTE* pixel = line + static_cast<std::ptrdiff_t>(column) * bytes;
      pixel[0] = static_cast<BYTE>(rgb & 255), pixel[1] = static_cast<BYTE>(rgb >> 8 & 255),
      pixel[2] = static_cast<BYTE>(rgb >> 16 & 255);
      if (bytes == 4) pixel[3] = 0;
    }
  }
}

void TestPattern::DrawText(BYTE* frame, LONG x, LONG y, LONG scale, const std::wstring& text, uint32_t rgb) const {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t* rows = GlyphRows(text[i]);
    if (rows == nullptr) continue;
    const LONG left = x + static_cast<LONG>(i) * 6 * scale;
    for (LONG row = 0; row < 7; ++row)
      for (LONG column = 0; column < 5; ++column)
        if (rows[row] & (16 >> column)) FillRect(frame, left + column * scale, y + row * scale, scale, scale, rgb);
  }
}

}  // namespace simcam
