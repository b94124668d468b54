#include "tests/support/test_window.h"

#include <cstdlib>

#include "base/scoped.h"

namespace testsupport {
namespace {

const wchar_t kWindowClass[] = L"SimCamTestWindow";

ATOM RegisterTestClass() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassW(&windowClass);
}

}  // namespace

TestWindow::TestWindow(int clientWidth, int clientHeight) {
  static const ATOM registered = RegisterTestClass();
  (void)registered;
  RECT frame = {0, 0, clientWidth, clientHeight};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  window_ =
      CreateWindowW(kWindowClass, L"simcam test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, frame.right - frame.left,
                    frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  Pump(50);
}

TestWindow::~TestWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void TestWindow::Pump(DWORD milliseconds) const { PumpMessages(milliseconds); }

void PumpMessages(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(end - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
  }
}

DWORD TestWindow::PixelAt(int x, int y) const { return ClientPixel(window_, x, y); }

DWORD ClientPixel(HWND window, int x, int y) {
  POINT point = {x, y};
  ClientToScreen(window, &point);
  const COLORREF colour = GetPixel(scoped::WindowDC(nullptr).get(), point.x, point.y);
  return static_cast<DWORD>(GetRValue(colour)) << 16 | static_cast<DWORD>(GetGValue(colour)) << 8 | GetBValue(colour);
}

bool SameColour(DWORD a, DWORD b, int tolerance) {
  for (int shift = 0; shift <= 16; shift += 8)
    if (std::abs(static_cast<int>(a >> shift & 255) - static_cast<int>(b >> shift & 255)) > tolerance) return false;
  return true;
}

}  // namespace testsupport
