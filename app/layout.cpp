#include "app/layout.h"

#include <cmath>
#include <utility>

#include "app/app_state.h"
#include "app/gdiplus_api.h"
#include "base/scoped.h"

namespace {

using Region = scoped::Owned<Gdiplus::GpRegion, Gdiplus::DllExports::GdipDeleteRegion>;
using Graphics = scoped::Owned<Gdiplus::GpGraphics, Gdiplus::DllExports::GdipDeleteGraphics>;
using SolidBrush = scoped::Owned<Gdiplus::GpSolidFill, Gdiplus::DllExports::GdipDeleteBrush>;

void Normalise(RECT* rect) {
  if (rect->left > rect->right) std::swap(rect->left, rect->right);
  if (rect->top > rect->bottom) std::swap(rect->top, rect->bottom);
}

Microsoft::WRL::ComPtr<IVMRWindowlessControl9> CurrentWindowless() {
  if (g_currentDevice == nullptr) return nullptr;
  return g_currentDevice->GetWindowlessControl();
}

}  // namespace

void LetterboxRect(RECT* rect, RECT* bounds, bool centre) {
  Normalise(rect);
  Normalise(bounds);
  const LONG sw = rect->right - rect->left, sh = rect->bottom - rect->top;
  const LONG bw = bounds->right - bounds->left, bh = bounds->bottom - bounds->top;
  if (sw <= 0 || sh <= 0) {  // no picture: nothing to scale, an empty rectangle
    *rect = {bounds->left, bounds->top, bounds->left, bounds->top};
    return;
  }
  const double kx = static_cast<double>(bw) / sw, ky = static_cast<double>(bh) / sh;
  if (kx <= ky) {
    const LONG h = static_cast<LONG>(std::lround(sh * kx));
    const LONG top = centre ? bounds->top + (bh - h) / 2 : bounds->top;
    *rect = {bounds->left, top, bounds->right, top + h};
  } else {
    const LONG w = static_cast<LONG>(std::lround(sw * ky));
    const LONG left = centre ? bounds->left + (bw - w) / 2 : bounds->left;
    *rect = {left, bounds->top, left + w, bounds->bottom};
  }
}

void UpdateVideoPosition() {
  const auto windowless = CurrentWindowless();
  if (windowless == nullptr) return;
  RECT source{}, destination{};
  // Without the renderer's rectangles there is nothing sound to letterbox.
  if (FAILED(windowless->GetVideoPosition(&source, &destination))) return;
  RECT client{};
  GetClientRect(g_mainWindow, &client);
  RECT shown = source;
  LetterboxRect(&shown, &client, true);
  g_videoWidth = shown.right - shown.left;
  g_videoHeight = shown.bottom - shown.top;
  windowless->SetVideoPosition(&source, &shown);
}

bool FitWindowToVideo() {
  const auto windowless = CurrentWindowless();
  if (windowless == nullptr) return false;
  LONG w = 0, h = 0;
  // Without a size to fit to, the window keeps its own and the picture is letterboxed into it.
  if (FAILED(windowless->GetNativeVideoSize(&w, &h, nullptr, nullptr)) || w <= 0 || h <= 0) {
    RefreshVideoArea();
    return true;
  }
  g_videoWidth = w;
  g_videoHeight = h;
  const LONG fw = w <= 640 ? w : 640, fh = h <= 480 ? h : 480;
  RECT source = {0, 0, w, h};
  RECT destination = {-((w - fw) / 2), -((h - fh) / 2), w - (w - fw) / 2, h - (h - fh) / 2};
  windowless->SetVideoPosition(&source, &destination);
  UpdateVideoPosition();
  InvalidateRect(g_mainWindow, nullptr, TRUE);
  UpdateWindow(g_mainWindow);
  if (g_mainWindow != nullptr) SizeClientTo(g_mainWindow, fw, fh);
  return true;
}

void RefreshVideoArea() {
  if (g_mainWindow == nullptr) return;
  UpdateVideoPosition();
  InvalidateRect(g_mainWindow, nullptr, TRUE);
  UpdateWindow(g_mainWindow);
}

void SizeClientTo(HWND window, LONG width, LONG height) {
  if (window == nullptr || !IsWindow(window)) return;
  RECT client{};
  GetClientRect(window, &client);
  const LONG dw = width - (client.right - client.left), dh = height - (client.bottom - client.top);
  RECT frame{};
  if (GetWindowRect(window, &frame))
    SetWindowPos(window, nullptr, frame.left, frame.top, (frame.right - frame.left) + dw,
                 (frame.bottom - frame.top) + dh, SWP_NOZORDER);
}

LRESULT EraseVideoBackground(HWND window, HDC context) {
  RECT client{};
  GetClientRect(window, &client);
  const LONG cw = client.right - client.left, ch = client.bottom - client.top;
  Region background;
  const Gdiplus::Rect area(client.left, client.top, cw, ch);
  Gdiplus::DllExports::GdipCreateRegionRectI(&area, background.put());
  if (g_videoWidth < cw || g_videoHeight < ch) {
    if (const auto windowless = CurrentWindowless()) {
      RECT source{}, destination{};
      if (SUCCEEDED(windowless->GetVideoPosition(&source, &destination))) {
        const Gdiplus::Rect video(destination.left, destination.top, destination.right - destination.left,
                                  destination.bottom - destination.top);
        Gdiplus::DllExports::GdipCombineRegionRectI(background.get(), &video, Gdiplus::CombineModeExclude);
      }
    }
    Graphics graphics;
    SolidBrush black;
    Gdiplus::DllExports::GdipCreateFromHDC(context, graphics.put());
    Gdiplus::DllExports::GdipCreateSolidFill(0xFF000000, black.put());
    Gdiplus::DllExports::GdipFillRegion(graphics.get(), black.get(), background.get());
  }
  return 1;
}
