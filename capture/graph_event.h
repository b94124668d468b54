#pragma once

#include <windows.h>

// The private message by which the graph announces queued events to the video window.
inline constexpr UINT WM_GRAPH_EVENT = WM_APP + 1;
