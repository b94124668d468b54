// Letterboxing, window fitting and the black surround, with the real main window.
#include "app/layout.h"

#include <gtest/gtest.h>

#include <tuple>

#include "base/scoped.h"
#include "tests/support/app/app_fixture.h"
#include "tests/support/doubles/platform_doubles.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"

using testsupport::AppTest;
using testsupport::Device;

namespace {

using Box = std::tuple<LONG, LONG, LONG, LONG>;

Box AsBox(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

Box Letterboxed(RECT rect, RECT bounds) {
  LetterboxRect(&rect, &bounds, true);
  return AsBox(rect);
}

TEST(Letterbox, WorkedExamples) {
  EXPECT_EQ(Letterboxed({0, 0, 720, 576}, {0, 0, 640, 480}), (Box{20, 0, 620, 480}));
  EXPECT_EQ(Letterboxed({0, 0, 640, 480}, {0, 0, 800, 300}), (Box{200, 0, 600, 300}));
  EXPECT_EQ(Letterboxed({0, 0, 320, 240}, {0, 0, 640, 480}), (Box{0, 0, 640, 480})) << "equal scales fill the width";
  EXPECT_EQ(Letterboxed({0, 0, 640, 480}, {0, 0, 0, 0}), (Box{0, 0, 0, 0})) << "a minimised window";
  EXPECT_EQ(Letterboxed({640, 480, 0, 0}, {0, 0, 640, 960}), (Box{0, 240, 640, 720})) << "normalised first";
  RECT rect = {0, 0, 640, 480}, bounds = {0, 0, 800, 300};
  LetterboxRect(&rect, &bounds, false);
  EXPECT_EQ(AsBox(rect), (Box{0, 0, 400, 300})) << "uncentred";
  EXPECT_EQ(Letterboxed({0, 0, 0, 0}, {10, 20, 650, 500}), (Box{10, 20, 10, 20})) << "no picture, nothing scaled";
  EXPECT_EQ(Letterboxed({5, 5, 5, 5}, {0, 0, 0, 0}), (Box{0, 0, 0, 0}));
}

class Layout : public AppTest {
 protected:
  Box Destination() {
    RECT source{}, destination{};
    g_currentDevice->GetWindowlessControl()->GetVideoPosition(&source, &destination);
    return AsBox(destination);
  }
  bool PictureAt(int x, int y) {
    for (int i = 0; i < 40; ++i) {
      if (testsupport::SameColour(PixelAt(x, y), 0xffffff)) return true;
      Pump(50);
    }
    return false;
  }
};

TEST_F(Layout, SmallSourceGetsAClientAreaOfItsOwnSize) {
  Register({Device(L"Small", L"format = RGB24 320x240 30")});
  ASSERT_TRUE(Select(L"Small"));
  EXPECT_EQ(ClientSize().cx, 320);
  EXPECT_EQ(ClientSize().cy, 240);
  EXPECT_EQ(Destination(), (Box{0, 0, 320, 240}));
  EXPECT_TRUE(PictureAt(5, 100)) << "the picture fills the client area";
}

TEST_F(Layout, LargeSourceIsLetterboxedInto640By480WithBlackBars) {
  Register({Device(L"Pal", L"format = RGB24 720x576 25")});
  ASSERT_TRUE(Select(L"Pal"));
  EXPECT_EQ(ClientSize().cx, 640);
  EXPECT_EQ(ClientSize().cy, 480);
  EXPECT_EQ(Destination(), (Box{20, 0, 620, 480}));
  EXPECT_TRUE(PictureAt(30, 150));
  EXPECT_EQ(PixelAt(10, 240), 0x000000u);
  EXPECT_EQ(PixelAt(630, 240), 0x000000u);
}

// Erased into a white memory bitmap, so that every pixel the erase paints shows: the renderer
// draws over the window's own pixels, which hides a surround painted over the picture.
TEST_F(Layout, TheSurroundIsPaintedAroundThePictureNeverOverIt) {
  Register({Device(L"Pal", L"format = RGB24 720x576 25")});
  ASSERT_TRUE(Select(L"Pal"));
  ASSERT_EQ(Destination(), (Box{20, 0, 620, 480}));
  scoped::WindowDC screen(nullptr);
  HDC memory = CreateCompatibleDC(screen.get());
  HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), 640, 480);
  HGDIOBJ former = SelectObject(memory, bitmap);
  const RECT all = {0, 0, 640, 480};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SendMessageW(g_mainWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
  // Wine's GDI+ leaves a filled region's last column and row as they were: x 639 and y 479 tell nothing.
  for (const int x : {0, 19, 620, 638}) EXPECT_EQ(GetPixel(memory, x, 240), RGB(0, 0, 0)) << "bar at x " << x;
  for (const POINT point : {POINT{20, 0}, POINT{320, 240}, POINT{619, 478}})
    EXPECT_EQ(GetPixel(memory, point.x, point.y), RGB(255, 255, 255)) << "picture at " << point.x << "," << point.y;
  SelectObject(memory, former);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

TEST_F(Layout, ResizingLetterboxesIntoTheNewClientArea) {
  Register({Device(L"Vga", L"format = RGB24 640x480 30")});
  ASSERT_TRUE(Select(L"Vga"));
  SizeClientTo(g_mainWindow, 800, 300);
  Pump(100);
  EXPECT_EQ(Destination(), (Box{200, 0, 600, 300}));
  EXPECT_EQ(g_videoWidth, 400);
  EXPECT_EQ(g_videoHeight, 300);
  ShowWindow(g_mainWindow, SW_MINIMIZE);
  Pump(100);
  ShowWindow(g_mainWindow, SW_RESTORE);
  Pump(100);
  EXPECT_NE(g_currentDevice, nullptr) << "minimising and restoring keeps the preview";
}

TEST_F(Layout, ADisplayChangeReachesTheRendererAndLaysThePictureOutAgain) {
  testsupport::ClassDouble renderers(CLSID_VideoMixingRenderer9);
  ASSERT_TRUE(renderers.registered());
  Register({Device(L"Vga", L"format = RGB24 640x480 30")});
  ASSERT_TRUE(Select(L"Vga"));
  RECT source{0, 0, 640, 480}, elsewhere{0, 0, 64, 48};
  g_currentDevice->GetWindowlessControl()->SetVideoPosition(&source, &elsewhere);
  const LONG before = renderers.displayModeChanges;
  SendMessageW(g_mainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
  EXPECT_EQ(renderers.displayModeChanges - before, 1);
  EXPECT_EQ(Destination(), (Box{0, 0, 640, 480}));
}

TEST_F(Layout, AScaleChangeMovesTheWindowWhereWindowsSuggestsAndLaysThePictureOutThere) {
  Register({Device(L"Vga", L"format = RGB24 640x480 30")});
  ASSERT_TRUE(Select(L"Vga"));
  RECT suggested{};
  GetWindowRect(g_mainWindow, &suggested);
  OffsetRect(&suggested, 20, 10);
  suggested.right += 200;
  SendMessageW(g_mainWindow, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  RECT placed{};
  GetWindowRect(g_mainWindow, &placed);
  EXPECT_EQ(AsBox(placed), AsBox(suggested));
  EXPECT_EQ(Destination(), (Box{100, 0, 740, 480})) << "letterboxed into the wider client area";
}

TEST_F(Layout, WithoutDeviceTheWholeClientAreaIsBlack) {
  InvalidateRect(g_mainWindow, nullptr, TRUE);
  UpdateWindow(g_mainWindow);
  for (POINT point : {POINT{1, 1}, POINT{320, 240}, POINT{638, 478}}) EXPECT_EQ(PixelAt(point.x, point.y), 0x000000u);
  EXPECT_FALSE(FitWindowToVideo());
}

}  // namespace
