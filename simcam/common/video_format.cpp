#include "simcam/common/video_format.h"

#include <dvdmedia.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <sstream>

#include "base/scoped.h"

namespace simcam {
namespace {

constexpr GUID kMjpg = {0x47504a4d, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

BITMAPINFOHEADER HeaderFor(const VideoFormat& format) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = format.width;
  header.biHeight = format.height;
  header.biPlanes = 1;
  header.biBitCount = BitCountOf(format.pixels);
  header.biCompression = format.pixels == PixelFormat::YUY2   ? MAKEFOURCC('Y', 'U', 'Y', '2')
                         : format.pixels == PixelFormat::MJPG ? MAKEFOURCC('M', 'J', 'P', 'G')
                                                              : BI_RGB;
  header.biSizeImage = ImageSizeOf(format);
  return header;
}

}  // namespace

bool ParseSize(const std::wstring& text, SIZE* size) {
  const wchar_t* start = text.c_str();
  wchar_t* end = nullptr;
  size->cx = std::wcstol(start, &end, 10);
  if (end == start || *end != L'x') return false;
  start = end + 1;
  size->cy = std::wcstol(start, &end, 10);
  return end != start && *end == L'\0';
}

bool ParseVideoFormat(const std::wstring& text, VideoFormat* format) {
  std::wistringstream words(text);
  std::wstring pixels, size, extra;
  double fps = 0;
  if (!(words >> pixels >> size >> fps)) return false;
  if (pixels == L"RGB24")
    format->pixels = PixelFormat::RGB24;
  else if (pixels == L"RGB32")
    format->pixels = PixelFormat::RGB32;
  else if (pixels == L"YUY2")
    format->pixels = PixelFormat::YUY2;
  else if (pixels == L"MJPG")
    format->pixels = PixelFormat::MJPG;
  else
    return false;
  SIZE parsed{};
  if (!ParseSize(size, &parsed) || parsed.cx <= 0 || parsed.cy <= 0 || parsed.cx > 8192 || parsed.cy > 8192 ||
      fps <= 0 || fps > 1000)
    return false;
  format->width = parsed.cx;
  format->height = parsed.cy;
  format->fps = fps;
  format->videoInfo2 = false;
  if (words >> extra) {
    if (extra != L"vih2") return false;
    format->videoInfo2 = true;
  }
  return true;
}

GUID SubtypeOf(PixelFormat pixels) {
  switch (pixels) {
    case PixelFormat::RGB24:
      return MEDIASUBTYPE_RGB24;
    case PixelFormat::RGB32:
      return MEDIASUBTYPE_RGB32;
    case PixelFormat::YUY2:
      return MEDIASUBTYPE_YUY2;
    case PixelFormat::MJPG:
      return kMjpg;
  }
  return GUID_NULL;
}

WORD BitCountOf(PixelFormat pixels) {
  switch (pixels) {
    case PixelFormat::RGB24:
      return 24;
    case PixelFormat::RGB32:
      return 32;
    case PixelFormat::YUY2:
    case PixelFormat::MJPG:
      return 16;
  }
  return 0;
}

DWORD ImageSizeOf(const VideoFormat& format) {
  const DWORD stride = ((static_cast<DWORD>(format.width) * BitCountOf(format.pixels) + 31) / 32) * 4;
  return stride * static_cast<DWORD>(format.height);
}

AM_MEDIA_TYPE* CreateMediaTypeFor(const VideoFormat& format) {
  scoped::TaskMemory<AM_MEDIA_TYPE> type(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
  if (!type) return nullptr;
  std::memset(type.get(), 0, sizeof(AM_MEDIA_TYPE));
  type->majortype = MEDIATYPE_Video;
  type->subtype = SubtypeOf(format.pixels);
  type->bFixedSizeSamples = format.pixels != PixelFormat::MJPG;
  type->bTemporalCompression = FALSE;
  type->lSampleSize = ImageSizeOf(format);
  const REFERENCE_TIME frameTime = static_cast<REFERENCE_TIME>(std::llround(10000000.0 / format.fps));
  const RECT frame = {0, 0, format.width, format.height};
  if (format.videoInfo2) {
    type->formattype = FORMAT_VideoInfo2;
    type->cbFormat = sizeof(VIDEOINFOHEADER2);
    auto* info = static_cast<VIDEOINFOHEADER2*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER2)));
    if (info != nullptr) {
      std::memset(info, 0, sizeof(*info));
      info->rcSource = info->rcTarget = frame;
      info->dwBitRate = static_cast<DWORD>(ImageSizeOf(format) * 8.0 * format.fps);
      info->AvgTimePerFrame = frameTime;
      info->dwPictAspectRatioX = static_cast<DWORD>(format.width);
      info->dwPictAspectRatioY = static_cast<DWORD>(format.height);
      info->bmiHeader = HeaderFor(format);
    }
    type->pbFormat = reinterpret_cast<BYTE*>(info);
  } else {
    type->formattype = FORMAT_VideoInfo;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (info != nullptr) {
      std::memset(info, 0, sizeof(*info));
      info->rcSource = info->rcTarget = frame;
      info->dwBitRate = static_cast<DWORD>(ImageSizeOf(format) * 8.0 * format.fps);
      info->AvgTimePerFrame = frameTime;
      info->bmiHeader = HeaderFor(format);
    }
    type->pbFormat = reinterpret_cast<BYTE*>(info);
  }
  if (type->pbFormat == nullptr) return nullptr;
  return type.release();
}

bool FormatOfMediaType(const AM_MEDIA_TYPE& type, VideoFormat* format) {
  if (type.majortype != MEDIATYPE_Video || type.pbFormat == nullptr) return false;
  const BITMAPINFOHEADER* header = nullptr;
  REFERENCE_TIME frameTime = 0;
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    header = &info->bmiHeader;
    frameTime = info->AvgTimePerFrame;
    format->videoInfo2 = false;
  } else if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
    header = &info->bmiHeader;
    frameTime = info->AvgTimePerFrame;
    format->videoInfo2 = true;
  } else {
    return false;
  }
  if (type.subtype == MEDIASUBTYPE_RGB24)
    format->pixels = PixelFormat::RGB24;
  else if (type.subtype == MEDIASUBTYPE_RGB32)
    format->pixels = PixelFormat::RGB32;
  else if (type.subtype == MEDIASUBTYPE_YUY2)
    format->pixels = PixelFormat::YUY2;
  else if (type.subtype == kMjpg)
    format->pixels = PixelFormat::MJPG;
  else
    return false;
  format->width = header->biWidth;
  // Capabilities are the way a positive height states them (RGB bottom-up, YUY2 top-down); the
  // other orientation is a layout a renderer may ask for, not a capability.
  format->height = header->biHeight;
  format->fps = frameTime > 0 ? 10000000.0 / static_cast<double>(frameTime) : 0.0;
  return format->width > 0 && format->height > 0;
}

namespace {

LONG StrideOf(LONG width, PixelFormat pixels) {
  return static_cast<LONG>(((static_cast<DWORD>(width) * BitCountOf(pixels) + 31) / 32) * 4);
}

// The header and source rectangle of a VIDEOINFOHEADER or VIDEOINFOHEADER2 type.
const BITMAPINFOHEADER* HeaderOf(const AM_MEDIA_TYPE& type, RECT* source) {
  if (type.pbFormat == nullptr) return nullptr;
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    return *source = info->rcSource, &info->bmiHeader;
  }
  if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
    return *source = info->rcSource, &info->bmiHeader;
  }
  return nullptr;
}

}  // namespace

SampleLayout NativeLayoutOf(const VideoFormat& format) {
  return {StrideOf(format.width, format.pixels), format.pixels == PixelFormat::YUY2};
}

bool LayoutOfMediaType(const AM_MEDIA_TYPE& type, const VideoFormat& format, SampleLayout* layout) {
  RECT source{};
  const BITMAPINFOHEADER* header = HeaderOf(type, &source);
  if (header == nullptr || type.majortype != MEDIATYPE_Video || type.subtype != SubtypeOf(format.pixels) ||
      format.pixels == PixelFormat::MJPG)
    return false;
  const bool wholePicture = IsRectEmpty(&source) || (source.left == 0 && source.top == 0 &&
                                                     source.right == format.width && source.bottom == format.height);
  const bool sameRows = header->biHeight == format.height || header->biHeight == -format.height;
  if (!wholePicture || !sameRows || header->biWidth < format.width || header->biWidth > 65536) return false;
  layout->stride = StrideOf(header->biWidth, format.pixels);
  // YUV is top-down whatever the sign of its height says.
  layout->topDown = header->biHeight < 0 || format.pixels == PixelFormat::YUY2;
  return true;
}

void ClearMediaType(AM_MEDIA_TYPE* type) {
  if (type->cbFormat != 0) CoTaskMemFree(type->pbFormat);
  if (type->pUnk != nullptr) type->pUnk->Release();
  type->cbFormat = 0;
  type->pbFormat = nullptr;
  type->pUnk = nullptr;
}

void FreeTaskMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  ClearMediaType(type);
  CoTaskMemFree(type);
}

HRESULT CopyTaskMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source) {
  *target = source;
  if (source.cbFormat != 0) {
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
    if (target->pbFormat == nullptr) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source.pbFormat, source.cbFormat);
  }
  if (target->pUnk != nullptr) target->pUnk->AddRef();
  return S_OK;
}

}  // namespace simcam
