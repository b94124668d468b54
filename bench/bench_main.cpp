// Measures the program against the bare graph, one figure set per process run:
//   mirasee_bench stream program|bare FPS SECONDS   time to first frame, frames, CPU per frame, stop
//   mirasee_bench startup program|bare              process start to main window shown
//   mirasee_bench listing                           DeviceList::Enumerate and relabelling times
// "program" is the program's own main window and commands in this process; "bare" builds the
// simulated device's capture pin straight into VMR-9 windowless in a plain window. Prints
// key=value lines for scripts/bench.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "devices/device_list.h"
#include "devices/name_relabel.h"
#include "res/resource.h"
#include "simcam/common/control.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"

using Microsoft::WRL::ComPtr;

namespace {

double QpcMs(LONGLONG ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// A FILETIME in milliseconds.
double Ms(FILETIME time) {
  return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000.0;
}

double CpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return Ms(kernel) + Ms(user);
}

double MsSinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  return Ms(now) - Ms(created);
}

bool StartProgramWindow() { return StartApplication(GetModuleHandleW(nullptr), SW_SHOW); }

// Confirms the first source in the source dialog; returns the moment OK was pressed.
LONGLONG ConfirmFirstSource() {
  LONGLONG pressed = 0;
  testsupport::ModalDriver driver([&](HWND dialog) {
    if (GetDlgItem(dialog, IDC_SOURCE_LIST) == nullptr) return false;
    pressed = Now();
    testsupport::PressButton(dialog, IDOK);
    return true;
  });
  SendMessageW(g_mainWindow, WM_COMMAND, CMD_SELECT_SOURCE, 0);
  return pressed;
}

// Streams for `seconds` after the first frame and prints the figures.
int Stream(bool program, int fps, int seconds) {
  testsupport::InstallKit();
  testsupport::ReplaceDevices(
      {testsupport::Device(L"Bench Cam", L"fixed-rate = yes\nformat = RGB24 640x480 " + std::to_wstring(fps))});
  ComPtr<IBaseFilter> capture;
  std::unique_ptr<testsupport::TestWindow> window;
  std::unique_ptr<testsupport::PreviewGraph> graph;
  LONGLONG start = 0;
  if (program) {
    if (!StartProgramWindow()) return 1;
    start = ConfirmFirstSource();
    if (g_currentDevice == nullptr) return 1;
    capture = CaptureDeviceInspector::captureFilter(g_currentDevice.Get());
  } else {
    window = std::make_unique<testsupport::TestWindow>(640, 480);
    start = Now();
    capture = testsupport::BindDevice(1);
    graph = std::make_unique<testsupport::PreviewGraph>(capture.Get(), window->handle());
    if (graph->result != S_OK || FAILED(graph->control->Run())) return 1;
  }
  for (int i = 0; i < 1000 && testsupport::KitStatsOf(capture.Get()).firstFrameQpc == 0; ++i)
    testsupport::PumpMessages(2);
  const simcam::StreamStats first = testsupport::KitStatsOf(capture.Get());
  if (first.firstFrameQpc == 0) return 1;
  const double cpuBefore = CpuMs();
  testsupport::PumpMessages(static_cast<DWORD>(seconds) * 1000);
  const double cpu = CpuMs() - cpuBefore;
  const simcam::StreamStats last = testsupport::KitStatsOf(capture.Get());
  const LONG accepted = last.framesDelivered - first.framesDelivered;
  const LONG refused = last.framesRefused - first.framesRefused;
  std::printf("first_frame_ms=%.2f\nexpected=%d\ndelivered=%ld\naccepted=%ld\ncpu_ms=%.1f\ncpu_per_frame_ms=%.4f\n",
              QpcMs(first.firstFrameQpc - start), fps * seconds, accepted + refused, accepted, cpu,
              accepted > 0 ? cpu / accepted : 0.0);
  // The stop path: the program's close of the streaming device, against the bare graph's Stop.
  const LONGLONG stopping = Now();
  if (program)
    CloseCurrentDevice();
  else
    graph->control->Stop();
  std::printf("stop_ms=%.2f\n", QpcMs(Now() - stopping));
  return 0;
}

int Startup(bool program) {
  std::unique_ptr<testsupport::TestWindow> bare;
  if (program) {
    if (!StartProgramWindow()) return 1;
    UpdateWindow(g_mainWindow);
  } else {
    bare = std::make_unique<testsupport::TestWindow>(640, 480);
    UpdateWindow(bare->handle());
  }
  std::printf("startup_ms=%.2f\n", MsSinceProcessStart());
  return 0;
}

double MedianMs(const std::vector<double>& samples) {
  std::vector<double> sorted = samples;
  std::sort(sorted.begin(), sorted.end());
  return sorted[sorted.size() / 2];
}

// Relabelling alone, on names already read, over several repetitions.
double RelabelMs(size_t count, bool identical) {
  std::vector<double> samples;
  for (int repeat = 0; repeat < 7; ++repeat) {
    std::multimap<std::wstring, size_t, CodeUnitLess> entries;
    for (size_t i = 0; i < count; ++i) entries.emplace(identical ? L"USB Camera" : L"Camera " + std::to_wstring(i), i);
    const auto begin = std::chrono::steady_clock::now();
    static_cast<void>(RelabelEqualNames(&entries));
    samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
  }
  return MedianMs(samples);
}

double EnumerateMs(size_t count, bool identical) {
  std::vector<simcam::DeviceProfile> devices;
  for (size_t i = 0; i < count; ++i)
    devices.push_back(testsupport::Device(identical ? L"USB Camera" : L"Camera " + std::to_wstring(i)));
  testsupport::ReplaceDevices(devices);
  std::vector<double> samples;
  for (int repeat = 0; repeat < 3; ++repeat) {
    DeviceList list;
    const auto begin = std::chrono::steady_clock::now();
    static_cast<void>(list.Enumerate(CLSID_VideoInputDeviceCategory));
    samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
  }
  return MedianMs(samples);
}

int Listing() {
  testsupport::InstallKit();
  for (size_t count : {10u, 100u, 1000u}) {
    for (bool identical : {false, true}) {
      const char* kind = identical ? "identical" : "distinct";
      std::printf("relabel_%zu_%s_ms=%.3f\n", count, kind, RelabelMs(count, identical));
      std::printf("enumerate_%zu_%s_ms=%.1f\n", count, kind, EnumerateMs(count, identical));
      std::fflush(stdout);
    }
  }
  testsupport::RemoveDevices();
  return 0;
}

int Usage() {
  std::fputs("usage: mirasee_bench stream program|bare FPS SECONDS | startup program|bare | listing\n", stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring mode = argv[1];
  const bool program = argc > 2 && std::wstring(argv[2]) == L"program";
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = 2;
  if (mode == L"stream" && argc == 5)
    result = Stream(program, static_cast<int>(std::wcstol(argv[3], nullptr, 10)),
                    static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
  if (mode == L"startup" && argc == 3) result = Startup(program);
  if (mode == L"listing") result = Listing();
  if (result == 2) Usage();
  testsupport::RestoreKit();
  std::fflush(stdout);
  // Ends here: the platform's teardown of a running renderer is not what is measured.
  ExitProcess(static_cast<UINT>(result));
}
