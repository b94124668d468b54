// Devices that describe themselves in hostile ways, each met with a clear outcome: names shown as
// they are, a thousand devices listed once each, huge and deep crossbars routed, absurd
// capabilities passed over.
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "devices/device_list.h"
#include "res/resource.h"
#include "simcam/common/control.h"
#include "tests/support/app/app_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"

using Microsoft::WRL::ComPtr;
using testsupport::AppTest;
using testsupport::Device;

namespace {

simcam::StreamStats CurrentStats() { return testsupport::KitStatsOf(AppTest::CurrentCaptureFilter()); }

// Opens the input dialog, reports its entries, chooses the entry `wanted` (the last when empty).
std::vector<std::wstring> ChooseInput(const std::wstring& wanted) {
  std::vector<std::wstring> entries;
  testsupport::ModalDriver driver([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_INPUT_LIST);
    if (list == nullptr) return false;
    entries = testsupport::ComboItems(list);
    const LRESULT index = wanted.empty() ? static_cast<LRESULT>(entries.size()) - 1
                                         : SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                        reinterpret_cast<LPARAM>(wanted.c_str()));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_INPUT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    testsupport::PressButton(dialog, IDC_DONE_BUTTON);
    return true;
  });
  AppTest::Command(CMD_INPUTS);
  return entries;
}

void ExpectEverythingReleased() {
  CloseCurrentDevice();
  AppTest::Pump(30);
  EXPECT_EQ(testsupport::KitLiveObjects(), 0);
  EXPECT_EQ(testsupport::KitLiveReferences(), 0);
}

}  // namespace

class HostileInput : public AppTest {};

TEST_F(HostileInput, NamesAreShownLiterallyInTheSourceListAndTheLossBox) {
  const std::wstring names[] = {L"%s%n%ls%% %d cam", std::wstring(3000, L'W'),
                                L"Ctrl\x01\t\x7f"
                                L"cam",
                                L"Half \xD800 surrogate", L"\xDC00 low surrogate first"};
  for (const std::wstring& name : names) {
    Register({Device(name, L"format = RGB24 320x240 30\nlose-after = 15")});
    std::vector<std::wstring> listed, boxes;
    testsupport::ModalDriver driver([&](HWND dialog) {
      if (HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST)) {
        listed = testsupport::ComboItems(list);
        SendMessageW(list, CB_SETCURSEL, 0, 0);
      } else {
        boxes.push_back(testsupport::DialogText(dialog));
      }
      testsupport::PressButton(dialog, IDOK);
      return true;
    });
    Command(CMD_SELECT_SOURCE);
    for (int i = 0; i < 50 && boxes.empty(); ++i) Pump(100);
    EXPECT_EQ(listed, std::vector<std::wstring>{name}) << "name of " << name.size() << " characters";
    // The box's text is cut at 2,047 characters, never read as a format.
    const std::wstring expected = (L"The device \"" + name + L"\" has been lost. ").substr(0, 2047);
    EXPECT_EQ(boxes, std::vector<std::wstring>{expected});
    EXPECT_EQ(g_currentDevice, nullptr);
    ExpectEverythingReleased();
  }
}

TEST_F(HostileInput, ThousandDevicesOfWhichFiveHundredShareANameAreEachListedOnce) {
  std::vector<simcam::DeviceProfile> devices;
  for (int i = 1; i <= 500; ++i) {
    devices.push_back(Device(L"Cam " + std::to_wstring(1000 + i)));
    devices.push_back(Device(L"Twin"));
  }
  Register(devices);
  DeviceList list;
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  EXPECT_EQ(list.size(), 1000u);
  EXPECT_EQ(list.Find(L"Twin"), nullptr);
  EXPECT_EQ(testsupport::DeviceNumber(list.Find(L"Twin #01")), 2u);
  EXPECT_EQ(testsupport::DeviceNumber(list.Find(L"Twin #500")), 1000u);
  EXPECT_EQ(testsupport::DeviceNumber(list.Find(L"Cam 1500")), 999u);

  ASSERT_TRUE(Select(L"Twin #500"));
  ASSERT_NE(g_currentDevice, nullptr);
  EXPECT_EQ(g_currentDevice->GetName(), L"Twin #500");
  ExpectEverythingReleased();
}

TEST_F(HostileInput, SixtyFourInputCrossbarListsAndRoutesEveryInput) {
  std::wstring inputs;
  for (int i = 0; i < 64; ++i) inputs += i % 2 == 0 ? L" Composite" : L" SVideo";
  Register({Device(L"Wide", L"format = RGB24 320x240 30\ncrossbar = Big:" + inputs + L" -> VideoDecoder")});
  ASSERT_TRUE(Select(L"Wide"));
  EXPECT_EQ(ChooseInput(L"").size(), 64u);
  Pump(200);
  EXPECT_EQ(std::wstring(CurrentStats().routedInput), L"Big SVideo");
  ExpectEverythingReleased();
}

TEST_F(HostileInput, ThirtyTwoDeepChainRoutesThroughEveryCrossbar) {
  std::wstring chain = L"format = RGB24 320x240 30\n";
  for (int i = 1; i < 32; ++i)
    chain += L"crossbar = X" + std::to_wstring(i) + L": Composite SVideo<X" + std::to_wstring(i + 1) +
             L".0 -> VideoDecoder\n";
  chain += L"crossbar = X32: Composite SVideo -> VideoDecoder\n";
  Register({Device(L"Deep", chain)});
  ASSERT_TRUE(Select(L"Deep"));
  const std::vector<std::wstring> entries = ChooseInput(L"Video SVideo");
  EXPECT_EQ(entries.size(), 33u) << "each crossbar's Composite and the last one's S-Video";
  Pump(200);
  EXPECT_EQ(std::wstring(CurrentStats().routedInput), L"X32 SVideo");
  ExpectEverythingReleased();
}

TEST_F(HostileInput, AbsurdCapabilitySizesArePassedOverForTheLargestRealOne) {
  Register({Device(L"Liar",
                   L"format = RGB24 320x240 30\nformat = RGB24 640x480 30\nadvertise = -2000x-2000\n"
                   L"advertise = 0x480\nadvertise = 100000x100000\nadvertise = 640x-480\n"
                   // 3 bytes a pixel fit 32 bits, rows padded to 4 bytes do not
                   L"advertise = 20001x71579")});
  ASSERT_TRUE(Select(L"Liar"));
  ASSERT_NE(g_currentDevice, nullptr);
  const simcam::StreamStats stats = CurrentStats();
  EXPECT_EQ(stats.width, 640);
  EXPECT_EQ(stats.height, 480);
  ExpectEverythingReleased();
}
