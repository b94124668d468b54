#pragma once

#include <dshow.h>
#include <windows.h>

#include <string>

namespace simcam {

enum class PixelFormat { RGB24, RGB32, YUY2, MJPG };

// One capture capability of a simulated device.
struct VideoFormat {
  PixelFormat pixels = PixelFormat::RGB24;
  LONG width = 640;
  LONG height = 480;
  double fps = 30.0;
  bool videoInfo2 = false;  // FORMAT_VideoInfo2 instead of FORMAT_VideoInfo
};

// "RGB24 640x480 30" with an optional trailing "vih2"; false when the text is not a format.
bool ParseVideoFormat(const std::wstring& text, VideoFormat* format);
// "WxH": two integers of any sign and nothing else.
bool ParseSize(const std::wstring& text, SIZE* size);
GUID SubtypeOf(PixelFormat pixels);
WORD BitCountOf(PixelFormat pixels);
DWORD ImageSizeOf(const VideoFormat& format);
// A task-allocated media type for the format (free with the framework's DeleteMediaType rules).
AM_MEDIA_TYPE* CreateMediaTypeFor(const VideoFormat& format);
// The format a media type describes; false for anything the kit does not offer or paint (a
// top-down height among them).
bool FormatOfMediaType(const AM_MEDIA_TYPE& type, VideoFormat* format);
void FreeTaskMediaType(AM_MEDIA_TYPE* type);
void ClearMediaType(AM_MEDIA_TYPE* type);
HRESULT CopyTaskMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source);

}  // namespace simcam
