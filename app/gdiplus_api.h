#pragma once

// GDI+ needs the OLE declarations that a lean windows.h leaves out, before its own header.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on
