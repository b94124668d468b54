#pragma once

#include <windows.h>

// Replaces `rect` by the largest rectangle of its aspect ratio that fits `bounds` (both normalised).
void LetterboxRect(RECT* rect, RECT* bounds, bool centre);
void UpdateVideoPosition();
[[nodiscard]] bool FitWindowToVideo();
void RefreshVideoArea();
void SizeClientTo(HWND window, LONG width, LONG height);
// Paints the client area outside the video rectangle black; always 1.
LRESULT EraseVideoBackground(HWND window, HDC context);
