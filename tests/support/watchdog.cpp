#include "tests/support/watchdog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/scoped.h"

namespace testsupport {
namespace {

std::mutex g_lock;
std::string g_step = "starting";
DWORD g_lastProgress = 0;
DWORD g_watchedThread = 0;

std::string Narrow(const wchar_t* text) {
  char buffer[512] = "";
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof(buffer) - 1, nullptr, nullptr);
  return buffer;
}

// Read without messages: the watched thread may be stuck and unable to answer WM_GETTEXT.
BOOL CALLBACK PrintWindow(HWND window, LPARAM) {
  wchar_t className[64] = L"", caption[256] = L"";
  GetClassNameW(window, className, 64);
  InternalGetWindowText(window, caption, 256);
  std::fprintf(stderr, "  window %p class \"%s\" caption \"%s\" %s %s owner %p\n", static_cast<void*>(window),
               Narrow(className).c_str(), Narrow(caption).c_str(), IsWindowVisible(window) ? "visible" : "hidden",
               IsWindowEnabled(window) ? "enabled" : "disabled", static_cast<void*>(GetWindow(window, GW_OWNER)));
  return TRUE;
}

bool WriteAll(HANDLE file, const void* bytes, size_t count) {
  DWORD written = 0;
  return WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

bool SaveBitmap(const wchar_t* path, HBITMAP bitmap, HDC context, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
  if (GetDIBits(context, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) == 0) return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  const HANDLE created = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return false;
  scoped::Handle out(created);
  return WriteAll(out.get(), &file, sizeof(file)) && WriteAll(out.get(), &info.bmiHeader, sizeof(BITMAPINFOHEADER)) &&
         WriteAll(out.get(), pixels.data(), pixels.size());
}

void SaveScreenshot() {
  wchar_t path[MAX_PATH] = L"";
  GetFullPathNameW(L"watchdog-screenshot.bmp", MAX_PATH, path, nullptr);
  scoped::WindowDC screen(nullptr);
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  scoped::Owned<std::remove_pointer_t<HDC>, DeleteDC> copy(CreateCompatibleDC(screen.get()));
  scoped::Owned<std::remove_pointer_t<HBITMAP>, DeleteObject> bitmap(
      CreateCompatibleBitmap(screen.get(), width, height));
  HGDIOBJ previous = SelectObject(copy.get(), bitmap.get());
  BitBlt(copy.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY);
  SelectObject(copy.get(), previous);
  const bool saved = SaveBitmap(path, bitmap.get(), copy.get(), width, height);
  std::fprintf(stderr, "  screenshot: %s\n", saved ? Narrow(path).c_str() : "(could not be saved)");
}

// Where the watched thread is: its return addresses, unwound while it is suspended, then named
// by module and offset.
void PrintStack() {
  scoped::Handle thread(
      OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, g_watchedThread));
  if (!thread) return;
  DWORD64 frames[24] = {};
  int count = 0;
  if (SuspendThread(thread.get()) != static_cast<DWORD>(-1)) {
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    if (GetThreadContext(thread.get(), &context)) {
      while (count < 24 && context.Rip != 0) {
        frames[count++] = context.Rip;
        DWORD64 base = 0;
        RUNTIME_FUNCTION* function = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (function == nullptr) {  // a leaf (a system call's stub): its return address is on top
          context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
          context.Rsp += sizeof(DWORD64);
          continue;
        }
        void* handlerData = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData, &establisher, nullptr);
      }
    }
    ResumeThread(thread.get());
  }
  std::fprintf(stderr, "  the test's thread stands in:\n");
  for (int i = 0; i < count; ++i) {
    HMODULE module = nullptr;
    wchar_t name[MAX_PATH] = L"?";
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(frames[i]), &module);
    if (module != nullptr) GetModuleFileNameW(module, name, MAX_PATH);
    std::fprintf(stderr, "    %s+0x%llx\n", Narrow(name).c_str(),
                 static_cast<unsigned long long>(frames[i] - reinterpret_cast<DWORD64>(module)));
  }
}

[[noreturn]] void Fire(DWORD quietMs) {
  std::string step;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    step = g_step;
  }
  std::fprintf(stderr, "\nWATCHDOG: no progress for %lu s; the test stood at: %s\n", quietMs / 1000, step.c_str());
  std::fflush(stderr);
  // A thread stuck inside the window system can block the report itself: it gets ten seconds.
  std::thread([] {
    Sleep(10000);
    std::fprintf(stderr, "  (the report did not finish)\n");
    TerminateProcess(GetCurrentProcess(), 3);
  }).detach();
  PrintStack();
  std::fprintf(stderr, "  windows of the test's thread:\n");
  EnumThreadWindows(g_watchedThread, PrintWindow, 0);
  SaveScreenshot();
  std::fflush(stderr);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) Sleep(INFINITE);
}

class ProgressListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& test) override {
    WatchdogStep(std::string("test ") + test.test_suite_name() + "." + test.name());
  }
};

}  // namespace

void StartWatchdog(DWORD quietLimitMs) {
  g_watchedThread = GetCurrentThreadId();
  g_lastProgress = GetTickCount();
  testing::UnitTest::GetInstance()->listeners().Append(new ProgressListener);
  std::thread([quietLimitMs] {
    for (;;) {
      Sleep(1000);
      DWORD quiet;
      {
        std::lock_guard<std::mutex> hold(g_lock);
        quiet = GetTickCount() - g_lastProgress;
      }
      if (quiet > quietLimitMs) Fire(quiet);
    }
  }).detach();
}

void WatchdogStep(const std::string& where) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_step = where;
  g_lastProgress = GetTickCount();
}

}  // namespace testsupport
