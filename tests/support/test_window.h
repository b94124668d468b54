#pragma once

// A plain window of the test's own, the one way tests run messages and read what the screen shows.
#include <windows.h>

namespace testsupport {

class TestWindow {
 public:
  TestWindow(int clientWidth, int clientHeight);
  ~TestWindow();
  HWND handle() const { return window_; }
  // Runs the window's messages for `milliseconds`.
  void Pump(DWORD milliseconds) const;
  // The colour drawn at client point (x, y), as 0xRRGGBB.
  DWORD PixelAt(int x, int y) const;

 private:
  HWND window_ = nullptr;
};

// The colour drawn at client point (x, y) of `window`, read from the screen, as 0xRRGGBB.
DWORD ClientPixel(HWND window, int x, int y);

// Runs this thread's messages for `milliseconds`.
void PumpMessages(DWORD milliseconds);

// Colours closer than this per channel count as the same (scaling blends edges).
bool SameColour(DWORD a, DWORD b, int tolerance = 24);

}  // namespace testsupport
