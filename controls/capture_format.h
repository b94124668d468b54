#pragma once

#include <dshow.h>
#include <windows.h>

#include <memory>

#include "capture/media_type.h"

// The format the program asks of a device when it opens it.
inline constexpr double kInitialFrameRate = 15.0;

// Replaces `type` with an uncompressed FORMAT_VideoInfo video type.
[[nodiscard]] HRESULT BuildVideoType(MediaType* type, const GUID& subtype, LONG width, LONG height, int bitDepth,
                                     double frameRate);
// A task-allocated video type (structure and format block), freed with DeleteMediaType.
[[nodiscard]] HRESULT CreateVideoType(AM_MEDIA_TYPE** type, const GUID& subtype, WORD bitDepth, LONG width, LONG height,
                                      double frameRate);
// The BITMAPINFOHEADER block of a video type, with the RGB colour table or the FOURCC's padding.
[[nodiscard]] HRESULT BuildBitmapHeader(const GUID& subtype, WORD bitDepth, LONG width, LONG height,
                                        std::unique_ptr<BYTE[]>* block, DWORD* size);
