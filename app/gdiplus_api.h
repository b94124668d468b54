#pragma once

// GDI+ needs the OLE declarations that a lean windows.h leaves out, before its own header; and,
// with NOMINMAX, older SDKs' GDI+ headers need min and max in their own namespace.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
// clang-format on
