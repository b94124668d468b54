// A driver that never returns from a state change: the window answers again within the bound, the
// device is reported lost and closed, and the next device streams. Stuck graphs are abandoned for
// the rest of the process, so these tests have an executable of their own.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "capture/bounded_call.h"
#include "res/resource.h"
#include "tests/support/app_fixture.h"
#include "tests/support/modal_driver.h"
#include "tests/support/preview_graph.h"
#include "tests/support/simcam_devices.h"
#include "tests/support/watchdog.h"

namespace {

using apptest::AppTest;
using modaltest::ModalDriver;
using simcamtest::Device;

constexpr DWORD kLongestFreeze = kStateChangeBound + 1000;
const wchar_t kSpare[] = L"Spare";

std::wstring LostText(const std::wstring& name) { return L"The device \"" + name + L"\" has been lost. "; }

// A colour change that another thread sends halfway through the wait for a stuck driver.
std::thread ColourChangeMidway() {
  return std::thread([] {
    Sleep(kStateChangeBound / 2);
    SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  });
}

class StalledDriver : public AppTest {
 protected:
  // Answers the source dialog with `choice` and every box with OK, noting when the first box came.
  ModalDriver Respond(const std::wstring& choice = L"") {
    return ModalDriver(
        [this, choice](HWND dialog) {
          HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
          if (list != nullptr) {
            SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(choice.c_str()));
            modaltest::PressButton(dialog, IDOK);
            return true;
          }
          if (firstBoxAt == 0) firstBoxAt = GetTickCount64();
          modaltest::PressButton(dialog, IDOK);
          return true;
        },
        30000);
  }

  // Starts the stalling device and lets it stream until it hangs.
  void StartStallingStream() {
    Register({Device(L"Stalling", L"format = RGB24 320x240 10\nstall-after = 3"),
              Device(kSpare, L"format = RGB24 320x240 10")});
    ASSERT_TRUE(Select(L"Stalling"));
    IBaseFilter* filter = CurrentCaptureFilter();
    for (int i = 0; i < 100 && simcamtest::KitStatsOf(filter).framesDelivered < 3; ++i) Pump(20);
    ASSERT_EQ(simcamtest::KitStatsOf(filter).framesDelivered, 3);
    Pump(200);
    startedAt = GetTickCount64();
  }

  void ExpectReportedLostWithinTheBound(const ModalDriver& boxes, const std::wstring& name) {
    ASSERT_NE(firstBoxAt, 0u) << "no box";
    EXPECT_LE(firstBoxAt - startedAt, kLongestFreeze) << "the window froze";
    ASSERT_FALSE(boxes.texts().empty());
    EXPECT_EQ(boxes.texts().back(), LostText(name));
  }

  void ExpectClosedAndBlack() {
    EXPECT_EQ(g_currentDevice, nullptr);
    EXPECT_TRUE(AllControlsGreyed());
    Pump(100);
    EXPECT_EQ(PixelAt(40, 150), 0x000000u);
  }

  void ExpectNextDeviceStreams() {
    if (g_currentDevice == nullptr || g_currentDevice->GetName() != kSpare) {
      ModalDriver answers = Respond(kSpare);
      Command(CMD_SELECT_SOURCE);
    }
    ASSERT_NE(g_currentDevice, nullptr);
    EXPECT_EQ(g_currentDevice->GetName(), kSpare);
    IBaseFilter* filter = CurrentCaptureFilter();
    for (int i = 0; i < 100 && simcamtest::KitStatsOf(filter).framesDelivered < 2; ++i) Pump(20);
    EXPECT_GE(simcamtest::KitStatsOf(filter).framesDelivered, 2);
    EXPECT_TRUE(ItemEnabled(CMD_FORMAT));
  }

  ULONGLONG startedAt = 0;
  ULONGLONG firstBoxAt = 0;
};

TEST_F(StalledDriver, ChoosingAnotherSourceReportsTheStalledOneAndStartsTheNext) {
  StartStallingStream();
  watchdog::Step("another source chosen over a stalled device");
  ModalDriver answers = Respond(kSpare);
  Command(CMD_SELECT_SOURCE);
  ExpectReportedLostWithinTheBound(answers, L"Stalling");
  EXPECT_EQ(answers.texts().size(), 2u) << "the source dialog, then one box";
  ExpectNextDeviceStreams();
}

// A colour change sent during the wait must not reach the stuck graph.
TEST_F(StalledDriver, FormatOnAStalledDeviceReportsItLostInsteadOfShowingItsPages) {
  StartStallingStream();
  watchdog::Step("Format... on a stalled device, a colour change sent meanwhile");
  ModalDriver answers = Respond();
  std::thread colours = ColourChangeMidway();
  Command(CMD_FORMAT);
  colours.join();
  ExpectReportedLostWithinTheBound(answers, L"Stalling");
  EXPECT_EQ(answers.texts().size(), 1u) << "no pages, no second box";
  ExpectClosedAndBlack();
  ExpectNextDeviceStreams();
}

TEST_F(StalledDriver, ColourChangeOnAStalledDeviceReportsItLost) {
  StartStallingStream();
  watchdog::Step("colour change on a stalled device, a second one sent meanwhile");
  ModalDriver answers = Respond();
  std::thread colours = ColourChangeMidway();
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  colours.join();
  ExpectReportedLostWithinTheBound(answers, L"Stalling");
  Pump(200);
  EXPECT_EQ(answers.texts().size(), 1u) << "the second change finds the device closed";
  ExpectClosedAndBlack();
  ExpectNextDeviceStreams();
}

TEST_F(StalledDriver, ADeviceThatHangsWhenStartedIsReportedLostNotFailed) {
  for (const wchar_t* state : {L"run", L"pause"}) {
    SCOPED_TRACE(state);
    Register({Device(L"Blocking", std::wstring(L"block-in = ") + state), Device(kSpare)});
    watchdog::Step("a device that hangs when started");
    ModalDriver answers = Respond(L"Blocking");
    startedAt = GetTickCount64();
    firstBoxAt = 0;
    Command(CMD_SELECT_SOURCE);
    ExpectReportedLostWithinTheBound(answers, L"Blocking");
    EXPECT_EQ(answers.texts().size(), 2u) << "the source dialog, then one box";
    ExpectClosedAndBlack();
    ExpectNextDeviceStreams();
  }
}

// Messages that other threads send are served during the wait; posted ones wait their turn.
TEST(BoundedCall, ServesSentMessagesOnlyAndGivesUpAtTheBound) {
  static int sent = 0, posted = 0;
  static bool servedWhileWaiting = false;
  WNDCLASSW windowClass{};
  windowClass.lpszClassName = L"BoundedCallTest";
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_APP + 1) ++sent, servedWhileWaiting = WaitingForBoundedCall();
    if (message == WM_APP + 2) ++posted;
    return DefWindowProcW(window, message, wParam, lParam);
  };
  RegisterClassW(&windowClass);
  HWND window = CreateWindowW(L"BoundedCallTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  HRESULT result = E_FAIL;
  EXPECT_TRUE(CallWithin(
      kStateChangeBound,
      [window] {
        PostMessageW(window, WM_APP + 2, 0, 0);
        SendMessageW(window, WM_APP + 1, 0, 0);
        return S_FALSE;
      },
      &result));
  EXPECT_EQ(result, S_FALSE);
  EXPECT_EQ(sent, 1);
  EXPECT_TRUE(servedWhileWaiting);
  EXPECT_EQ(posted, 0);
  AppTest::Pump(50);
  EXPECT_EQ(posted, 1);
  const ULONGLONG began = GetTickCount64();
  EXPECT_FALSE(CallWithin(
      100,
      [] {
        Sleep(2000);
        return S_OK;
      },
      &result));
  EXPECT_LT(GetTickCount64() - began, 1500u);
  DestroyWindow(window);
}

}  // namespace
