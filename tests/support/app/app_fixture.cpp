#include "tests/support/app/app_fixture.h"

#include <algorithm>
#include <memory>

#include "app/gdiplus_api.h"
#include "app/layout.h"
#include "res/resource.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/doubles/import_spy.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"

namespace testsupport {
namespace {

// Stands in for the shell, so that no test opens a browser.
HINSTANCE WINAPI OpenNothing(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) {
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));  // above 32: opened
}

std::unique_ptr<testsupport::ImportSpy> g_shellSpy;

}  // namespace

void AppTest::SetUpTestSuite() {
  g_shellSpy =
      std::make_unique<testsupport::ImportSpy>("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&OpenNothing));
  ASSERT_TRUE(g_shellSpy->installed());
  ASSERT_TRUE(testsupport::InstallKit());
  ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr), SW_SHOW));
  greyedAtStartUp = AllControlsGreyed();
}

bool AppTest::greyedAtStartUp = false;

void AppTest::TearDownTestSuite() {
  CloseCurrentDevice();
  DestroyWindow(g_mainWindow);
  PumpMessages(0);
  Gdiplus::GdiplusShutdown(g_gdiplusToken);
  g_shellSpy.reset();
}

void AppTest::SetUp() {
  CloseCurrentDevice();
  ShowWindow(g_mainWindow, SW_RESTORE);
  SizeClientTo(g_mainWindow, 640, 480);
  Pump(50);
}

void AppTest::TearDown() {
  CloseCurrentDevice();
  testsupport::RemoveDevices();
  Pump(20);
}

void AppTest::Pump(DWORD milliseconds) { testsupport::PumpMessages(milliseconds); }

SIZE AppTest::ClientSize() {
  RECT client{};
  GetClientRect(g_mainWindow, &client);
  return {client.right, client.bottom};
}

DWORD AppTest::PixelAt(int x, int y) { return testsupport::ClientPixel(g_mainWindow, x, y); }

bool AppTest::ItemEnabled(UINT command) {
  return (GetMenuState(g_controlsMenu, command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool AppTest::AllControlsGreyed() {
  for (UINT command : {CMD_FORMAT, CMD_VIDEO, CMD_INPUTS, CMD_TV_TUNER})
    if (ItemEnabled(command)) return false;
  return true;
}

IBaseFilter* AppTest::CurrentCaptureFilter() {
  return g_currentDevice != nullptr ? CaptureDeviceInspector::captureFilter(g_currentDevice.Get()) : nullptr;
}

void AppTest::Register(const std::vector<simcam::DeviceProfile>& devices) {
  ASSERT_EQ(testsupport::ReplaceDevices(devices), S_OK);
}

bool AppTest::Select(const std::wstring& name) {
  bool chosen = false;
  testsupport::ModalDriver driver([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list == nullptr) return false;
    // The list's own search ignores case; names that differ only in case are different devices.
    const std::vector<std::wstring> entries = testsupport::ComboItems(list);
    const auto entry = std::find(entries.begin(), entries.end(), name);
    if (entry == entries.end()) return false;
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(entry - entries.begin()), 0);
    testsupport::PressButton(dialog, IDOK);
    chosen = true;
    return true;
  });
  Command(CMD_SELECT_SOURCE);
  return chosen;
}

}  // namespace testsupport
