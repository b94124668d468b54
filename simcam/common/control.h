#pragma once

// The kit's private interface on its capture filter, for tests, benchmarks and the demo: device
// loss on request and the frame counters.
#include <unknwn.h>
#include <windows.h>

namespace simcam {

struct StreamStats {
  LONG framesDelivered;    // samples the renderer accepted (Receive returned S_OK)
  LONG framesRefused;      // samples Receive refused or failed
  LONGLONG firstFrameQpc;  // QueryPerformanceCounter when the first frame was accepted; 0 if none
  LONG width, height;      // of the format being streamed
  WCHAR routedInput[64];   // name of the physical input the picture shows
};

// {6F0C1E52-6A0E-4C55-9B8B-2C1D2A4B5E01}
inline constexpr IID IID_ISimCamDevice = {0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0x01}};

struct ISimCamDevice : public IUnknown {
  // Ends delivery and reports EC_DEVICE_LOST to the graph, as an unplugged device does.
  virtual HRESULT STDMETHODCALLTYPE LoseDevice() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStats(StreamStats* stats) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBrightness(LONG percent) = 0;
  // The device is lost the next time a graph moves it into `state` (a FILTER_STATE), on the
  // thread that makes the change: a loss at an exact step of a program's work.
  virtual HRESULT STDMETHODCALLTYPE LoseAtNextStateChange(LONG state) = 0;
};

// The colour of the picture's lower band while the physical input with this ordinal (counted over
// the crossbars' video inputs that no other crossbar feeds, in profile order) is routed; 0xRRGGBB.
inline DWORD RoutedInputColour(int ordinal) {
  static const DWORD colours[] = {0xff8000, 0x00c080, 0x8040ff, 0xc0c000, 0x00a0ff, 0xff4080};
  return colours[static_cast<unsigned>(ordinal) % 6];
}
inline constexpr DWORD kNoInputColour = 0x606060;  // a device without crossbars

// Property pages of the kit.
// {6F0C1E52-6A0E-4C55-9B8B-2C1D2A4B5E10}
inline constexpr CLSID CLSID_SimCamVideoPage = {
    0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0x10}};
// {6F0C1E52-6A0E-4C55-9B8B-2C1D2A4B5E11}
inline constexpr CLSID CLSID_SimCamFormatPage = {
    0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0x11}};
// {6F0C1E52-6A0E-4C55-9B8B-2C1D2A4B5E12}
inline constexpr CLSID CLSID_SimCamTunerPage = {
    0x6f0c1e52, 0x6a0e, 0x4c55, {0x9b, 0x8b, 0x2c, 0x1d, 0x2a, 0x4b, 0x5e, 0x12}};

// DLL exports: objects of the kit alive, and references held on them, across the process.
using LiveCountFunction = LONG(__stdcall*)();
// DLL exports: how often the named method was called across the process since the last reset (the
// methods a profile's `fail` line can name; all calls, or only the main executable's own), the
// faults injected since, and the reset.
using CallCountFunction = LONG(__stdcall*)(const WCHAR* method, BOOL programOnly);
using ResetCallCountsFunction = void(__stdcall*)();

}  // namespace simcam
