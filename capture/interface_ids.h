#pragma once

// The mingw-w64 headers define these interfaces' ids without binding them to the types, as they
// do for the others; bound here once, so that IID_PPV_ARGS and ComPtr::As work for them too.
// (The Windows SDK's headers bind every interface themselves.)
#include <dshow.h>

#if defined(__MINGW32__)
__CRT_UUID_DECL(IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
#endif
