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
// The capability a media type describes; false for anything the kit does not offer (a top-down
// height among them).
bool FormatOfMediaType(const AM_MEDIA_TYPE& type, VideoFormat* format);
// How a picture's rows lie in a sample's buffer: the bytes from one row to the next, and whether
// the first row is the top one. A renderer with its own surfaces asks for its own.
struct SampleLayout {
  LONG stride = 0;
  bool topDown = false;
};
// The layout the kit paints `format` in when nobody asks for another.
SampleLayout NativeLayoutOf(const VideoFormat& format);
// The layout a media type asks `format`'s picture to be painted in; false when it describes
// another picture (pixels, size, a source rectangle other than the whole picture) or a layout the
// kit cannot paint (rows narrower than the picture, anything compressed).
bool LayoutOfMediaType(const AM_MEDIA_TYPE& type, const VideoFormat& format, SampleLayout* layout);
void FreeTaskMediaType(AM_MEDIA_TYPE* type);
void ClearMediaType(AM_MEDIA_TYPE* type);
HRESULT CopyTaskMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source);

}  // namespace simcam
