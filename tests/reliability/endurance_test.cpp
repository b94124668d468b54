// Many start/close cycles and colour-change rebuilds in one process: window-system objects, the
// kit's objects and the process's private memory must not grow. MIRASEE_ENDURANCE_CYCLES sets the
// number of cycles (the benchmark runs 1,000); the figures are printed.
#include <windows.h>
// psapi.h needs windows.h first.
#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/support/app/app_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/watchdog.h"

using testsupport::AppTest;
using testsupport::Device;

namespace {

struct Footprint {
  DWORD gdiObjects = 0, userObjects = 0, handles = 0, windows = 0;
  SIZE_T privateBytes = 0, workingSet = 0;
  LONG kitObjects = 0, kitReferences = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<DWORD*>(count);
  return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<DWORD*>(count);
  EnumChildWindows(window, CountChild, count);  // every descendant
  return TRUE;
}

Footprint Measure() {
  Footprint footprint;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&footprint.windows));
  footprint.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  footprint.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  GetProcessHandleCount(GetCurrentProcess(), &footprint.handles);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
    // Committed private memory; some systems leave PrivateUsage empty but fill the page-file figure.
    footprint.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    footprint.workingSet = memory.WorkingSetSize;
  }
  footprint.kitObjects = testsupport::KitLiveObjects();
  footprint.kitReferences = testsupport::KitLiveReferences();
  return footprint;
}

int Cycles() {
  wchar_t text[16] = L"";
  GetEnvironmentVariableW(L"MIRASEE_ENDURANCE_CYCLES", text, 16);
  const int cycles = static_cast<int>(std::wcstol(text, nullptr, 10));
  return cycles > 0 ? cycles : 25;
}

double GrowthKiB(const Footprint& first, const Footprint& last) {
  return (static_cast<double>(last.privateBytes) - static_cast<double>(first.privateBytes)) / 1024.0;
}

// Checks that nothing grew but private memory, and that within what the bare graph itself costs
// (`platformKiB`, the renderer's own growth over as many cycles; the platform's renderer keeps a
// few MiB per instance it ever created) plus 1 MiB.
void Report(const char* what, int cycles, const Footprint& first, const Footprint& last, double platformKiB) {
  std::printf(
      "%s, %d cycles: GDI objects %lu -> %lu, USER objects %lu -> %lu, handles %lu -> %lu, windows %lu -> "
      "%lu, private bytes %.2f -> %.2f MiB (%+.1f KiB; the bare graph doing the same %+.1f KiB), working set %.2f -> "
      "%.2f MiB, kit objects %ld, references %ld\n",
      what, cycles, first.gdiObjects, last.gdiObjects, first.userObjects, last.userObjects, first.handles, last.handles,
      first.windows, last.windows, first.privateBytes / 1048576.0, last.privateBytes / 1048576.0,
      GrowthKiB(first, last), platformKiB, first.workingSet / 1048576.0, last.workingSet / 1048576.0, last.kitObjects,
      last.kitReferences);
  EXPECT_LE(last.gdiObjects, first.gdiObjects);
  EXPECT_LE(last.userObjects, first.userObjects);
  EXPECT_LE(last.handles, first.handles + 2) << "a handle or two may be cached by the platform";
  EXPECT_LE(last.windows, first.windows);
  // Measured once each, the two growths may differ by a renderer instance that one of them
  // allocated lazily: that much is allowed beside the 1 MiB.
  EXPECT_LT(GrowthKiB(first, last) - platformKiB, 1024.0 + 2.0 * platformKiB / cycles);
  EXPECT_EQ(last.kitObjects, 0);
  EXPECT_EQ(last.kitReferences, 0);
}

// Private-memory growth over `cycles` runs of `cycle`, counted from after a first one.
template <typename Cycle>
double GrowthOverKiB(int cycles, const Cycle& cycle) {
  cycle();
  const Footprint first = Measure();
  for (int i = 0; i < cycles; ++i) {
    testsupport::WatchdogStep("bare graph cycle " + std::to_string(i));
    cycle();
  }
  return GrowthKiB(first, Measure());
}

// The growth of the same number of cycles of the bare graph: the device rendered straight into
// VMR-9, built and released without the program.
double BareGraphGrowthKiB(int cycles) {
  testsupport::TestWindow window(320, 240);
  const auto cycle = [&window] {
    Microsoft::WRL::ComPtr<IBaseFilter> capture = testsupport::BindDevice(1);
    testsupport::PreviewGraph graph(capture.Get(), window.handle());
    if (graph.result == S_OK) graph.control->Run();
    window.Pump(5);
  };
  return GrowthOverKiB(cycles, cycle);
}

// The same for rebuilding the renderer inside one graph that is kept, as the colour-change
// rebuild does: stopped, renderer removed, a new one added and rendered to, run again.
double BareRebuildGrowthKiB(int cycles) {
  testsupport::TestWindow window(320, 240);
  Microsoft::WRL::ComPtr<IBaseFilter> capture = testsupport::BindDevice(1);
  testsupport::PreviewGraph kept(capture.Get(), window.handle());
  if (kept.result != S_OK) return 0;
  const auto cycle = [&] {
    kept.control->Stop();
    kept.graph->RemoveFilter(kept.renderer.Get());
    kept.windowless.Reset();
    kept.renderer.Reset();
    Microsoft::WRL::ComPtr<IVMRFilterConfig9> config;
    if (FAILED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&kept.renderer))) ||
        FAILED(kept.graph->AddFilter(kept.renderer.Get(), L"VMR9")) || FAILED(kept.renderer.As(&config)) ||
        FAILED(config->SetRenderingMode(VMR9Mode_Windowless)) || FAILED(kept.renderer.As(&kept.windowless)))
      return;
    kept.windowless->SetVideoClippingWindow(window.handle());
    kept.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture.Get(), nullptr, kept.renderer.Get());
    kept.control->Run();
    window.Pump(5);
  };
  return GrowthOverKiB(cycles, cycle);
}

}  // namespace

class Endurance : public AppTest {};

TEST_F(Endurance, StartCloseCyclesAndRebuildsLeakNothing) {
  Register({Device(L"Tireless", L"format = RGB24 320x240 30\ncrossbar = Main: Tuner Composite -> VideoDecoder")});
  const int cycles = Cycles();
  const double platformKiB = BareGraphGrowthKiB(cycles);
  const double platformRebuildKiB = BareRebuildGrowthKiB(cycles);
  // The first cycle loads the platform's libraries and caches: measured from after it.
  ASSERT_TRUE(Select(L"Tireless"));
  CloseCurrentDevice();
  Pump(20);
  const Footprint beforeStarts = Measure();
  for (int i = 0; i < cycles; ++i) {
    testsupport::WatchdogStep("start/close cycle " + std::to_string(i));
    ASSERT_TRUE(Select(L"Tireless"));
    ASSERT_NE(g_currentDevice, nullptr) << "cycle " << i;
    CloseCurrentDevice();
    Pump(5);
  }
  Report("start/close", cycles, beforeStarts, Measure(), platformKiB);

  ASSERT_TRUE(Select(L"Tireless"));
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  const Footprint beforeRebuilds = Measure();
  for (int i = 0; i < cycles; ++i) {
    testsupport::WatchdogStep("colour-change rebuild " + std::to_string(i));
    SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
    ASSERT_NE(g_currentDevice, nullptr) << "rebuild " << i;
    Pump(5);
  }
  Footprint afterRebuilds = Measure();
  CloseCurrentDevice();
  Pump(20);
  const Footprint closed = Measure();
  afterRebuilds.kitObjects = closed.kitObjects;  // the device's own objects are alive until it closes
  afterRebuilds.kitReferences = closed.kitReferences;
  Report("colour-change rebuild", cycles, beforeRebuilds, afterRebuilds, platformRebuildKiB);
}
