// A driver that never returns, or returns late: the window answers again within the time a user
// waits, the device is reported lost and closed, whatever the late call started is undone, and the
// next device streams. Stuck drivers keep their threads for the rest of the process, so these
// tests have an executable of their own.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "capture/bounded_call.h"
#include "devices/device_list.h"
#include "res/resource.h"
#include "tests/support/app/app_fixture.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/doubles/platform_doubles.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"
#include "tests/support/watchdog.h"

namespace {

using testsupport::AppTest;
using testsupport::Device;
using testsupport::ModalDriver;

// Windows calls a window that has taken no input for 5 s "Not Responding": the longest a stuck
// driver may freeze the window, from the user's action to the box that reports it.
constexpr ULONGLONG kLongestFreeze = 5000;
const wchar_t kSpare[] = L"Spare";

std::wstring LostText(const std::wstring& name) { return L"The device \"" + name + L"\" has been lost. "; }

// Called from another thread: true once the user-interface thread waits for a driver (within 5 s).
bool AwaitTheWait() {
  for (int i = 0; i < 500; ++i, Sleep(10))
    if (WaitingForBoundedCall()) return true;
  return false;
}

// Starts `body` on another thread and returns once it runs: a busy machine can start a thread late,
// after the wait it is meant to act in.
template <typename Body>
std::thread Started(Body body) {
  std::atomic<bool> running{false};
  std::thread thread([&running, body] {
    running = true;
    body();
  });
  while (!running) Sleep(1);
  return thread;
}

// A colour change that another thread sends halfway through the wait for a stuck driver.
std::thread ColourChangeMidway(bool* sent) {
  return Started([sent] {
    if (!(*sent = AwaitTheWait())) return;
    Sleep(1000);
    SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  });
}

LONG ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  LONG count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
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
            startedAt = GetTickCount64();
            testsupport::PressButton(dialog, IDOK);
            return true;
          }
          if (firstBoxAt == 0) firstBoxAt = GetTickCount64();
          dialogDuringAWait = dialogDuringAWait || WaitingForBoundedCall();
          testsupport::PressButton(dialog, IDOK);
          lastBoxAnsweredAt = GetTickCount64();
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
    for (int i = 0; i < 100 && testsupport::KitStatsOf(filter).framesDelivered < 3; ++i) Pump(20);
    ASSERT_EQ(testsupport::KitStatsOf(filter).framesDelivered, 3);
    Pump(200);
    startedAt = GetTickCount64();
  }

  void ExpectReportedLostWithinTheLimit(const ModalDriver& boxes, const std::wstring& name) {
    ASSERT_NE(firstBoxAt, 0u) << "no box";
    EXPECT_LE(firstBoxAt - startedAt, kLongestFreeze) << "the window froze";
    ASSERT_FALSE(boxes.texts().empty());
    EXPECT_EQ(std::count(boxes.texts().begin(), boxes.texts().end(), LostText(name)), 1);
  }

  void ExpectStreaming(const std::wstring& name) {
    ASSERT_NE(g_currentDevice, nullptr);
    EXPECT_EQ(g_currentDevice->GetName(), name);
    IBaseFilter* filter = CurrentCaptureFilter();
    for (int i = 0; i < 100 && testsupport::KitStatsOf(filter).framesDelivered < 2; ++i) Pump(20);
    EXPECT_GE(testsupport::KitStatsOf(filter).framesDelivered, 2);
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
    ExpectStreaming(kSpare);
    EXPECT_TRUE(ItemEnabled(CMD_FORMAT));
  }

  ULONGLONG startedAt = 0;
  ULONGLONG firstBoxAt = 0;
  ULONGLONG lastBoxAnsweredAt = 0;
  bool dialogDuringAWait = false;  // a handler ran a modal loop inside a wait
};

TEST_F(StalledDriver, ChoosingAnotherSourceReportsTheStalledOneAndStartsTheNext) {
  StartStallingStream();
  testsupport::WatchdogStep("another source chosen over a stalled device");
  ModalDriver answers = Respond(kSpare);
  Command(CMD_SELECT_SOURCE);
  ExpectReportedLostWithinTheLimit(answers, L"Stalling");
  EXPECT_EQ(answers.texts().size(), 2u) << "the source dialog, then one box";
  ExpectNextDeviceStreams();
}

// A colour change sent during the wait must not reach the stuck graph.
TEST_F(StalledDriver, FormatOnAStalledDeviceReportsItLostInsteadOfShowingItsPages) {
  StartStallingStream();
  testsupport::WatchdogStep("Format... on a stalled device, a colour change sent meanwhile");
  ModalDriver answers = Respond();
  bool coloursSent = false;
  std::thread colours = ColourChangeMidway(&coloursSent);
  Command(CMD_FORMAT);
  colours.join();
  EXPECT_TRUE(coloursSent) << "no wait to send the colour change into";
  ExpectReportedLostWithinTheLimit(answers, L"Stalling");
  EXPECT_EQ(answers.texts().size(), 1u) << "no pages, no second box";
  ExpectClosedAndBlack();
  ExpectNextDeviceStreams();
}

TEST_F(StalledDriver, ColourChangeOnAStalledDeviceReportsItLost) {
  StartStallingStream();
  testsupport::WatchdogStep("colour change on a stalled device, a second one sent meanwhile");
  ModalDriver answers = Respond();
  bool coloursSent = false;
  std::thread colours = ColourChangeMidway(&coloursSent);
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  colours.join();
  EXPECT_TRUE(coloursSent) << "no wait to send the colour change into";
  ExpectReportedLostWithinTheLimit(answers, L"Stalling");
  Pump(200);
  EXPECT_EQ(answers.texts().size(), 1u) << "the second change finds the device closed";
  ExpectClosedAndBlack();
  ExpectNextDeviceStreams();
}

TEST_F(StalledDriver, ADeviceThatHangsWhenStartedIsReportedLostNotFailed) {
  for (const wchar_t* state : {L"run", L"pause"}) {
    SCOPED_TRACE(state);
    Register({Device(L"Blocking", std::wstring(L"block-in = ") + state), Device(kSpare)});
    testsupport::WatchdogStep("a device that hangs when started");
    ModalDriver answers = Respond(L"Blocking");
    startedAt = GetTickCount64();
    firstBoxAt = 0;
    Command(CMD_SELECT_SOURCE);
    ExpectReportedLostWithinTheLimit(answers, L"Blocking");
    EXPECT_EQ(answers.texts().size(), 2u) << "the source dialog, then one box";
    ExpectClosedAndBlack();
    ExpectNextDeviceStreams();
  }
}

TEST_F(StalledDriver, ALateStartIsReportedLostAndUndoneWhenItReturns) {
  Register({Device(L"Slow", L"format = RGB24 320x240 10\nblock-in = run 6000"), Device(kSpare)});
  testsupport::WatchdogStep("a device whose first start takes 6 s");
  ASSERT_TRUE(Select(kSpare));  // the platform's own threads and a spare worker exist from here on
  CloseCurrentDevice();
  Pump(200);
  const LONG threadsBefore = ThreadsOfThisProcess(), kitObjectsBefore = testsupport::KitLiveObjects();
  {
    ModalDriver answers = Respond(L"Slow");
    Command(CMD_SELECT_SOURCE);
    ExpectReportedLostWithinTheLimit(answers, L"Slow");
  }
  ExpectClosedAndBlack();
  testsupport::WatchdogStep("waiting for the late start to return and be undone");
  for (int i = 0;
       i < 100 && (ThreadsOfThisProcess() > threadsBefore || testsupport::KitLiveObjects() > kitObjectsBefore); ++i)
    Pump(100);
  EXPECT_LE(ThreadsOfThisProcess(), threadsBefore) << "the late call's threads live on";
  EXPECT_LE(testsupport::KitLiveObjects(), kitObjectsBefore) << "the late device is still open";
  for (int i = 0; i < 5; ++i) {
    Pump(200);
    EXPECT_EQ(PixelAt(40, 150), 0x000000u) << "the late device draws into the window";
  }
  testsupport::WatchdogStep("the late device chosen again");
  ModalDriver answers = Respond(L"Slow");
  Command(CMD_SELECT_SOURCE);
  ExpectStreaming(L"Slow");
}

// Automation and accessibility tools send commands: one that arrives during the wait runs after it.
TEST_F(StalledDriver, ACommandSentDuringAStalledWaitRunsAfterIt) {
  StartStallingStream();
  testsupport::WatchdogStep("Help > About sent by another thread during a stalled colour change");
  ModalDriver answers = Respond();
  bool sentDuringTheWait = false;
  std::thread sender = Started([&sentDuringTheWait] {
    sentDuringTheWait = AwaitTheWait();
    SendMessageW(g_mainWindow, WM_COMMAND, CMD_ABOUT, 0);
    sentDuringTheWait = sentDuringTheWait && WaitingForBoundedCall();
  });
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  sender.join();
  Pump(300);
  EXPECT_TRUE(sentDuringTheWait);
  ExpectReportedLostWithinTheLimit(answers, L"Stalling");
  ASSERT_EQ(answers.texts().size(), 2u) << "the loss box and the About box, nothing else";
  const auto about = std::find_if(answers.texts().begin(), answers.texts().end(), [](const std::wstring& text) {
    return text.find(L"VANTORQ 1.2 MIRAsee") != text.npos;
  });
  EXPECT_NE(about, answers.texts().end()) << "the command was dropped";
  EXPECT_FALSE(dialogDuringAWait) << "the command ran during the wait";
  ExpectClosedAndBlack();
}

TEST_F(StalledDriver, AResizeDuringAWaitIsLaidOutAfterItWithoutTouchingTheRenderer) {
  testsupport::ClassDouble renderers(CLSID_VideoMixingRenderer9);
  Register({Device(L"Slow to stop", L"format = RGB24 320x240 10\nblock-in = stop 1500")});
  ASSERT_TRUE(Select(L"Slow to stop"));
  testsupport::WatchdogStep("a resize sent while a colour change waits for a slow stop");
  LONG rendererCallsDuringTheResize = -1;
  std::thread resizer = Started([&renderers, &rendererCallsDuringTheResize] {
    if (!AwaitTheWait()) return;
    const LONG before = renderers.windowlessCalls;
    SetWindowPos(g_mainWindow, nullptr, 0, 0, 500, 260, SWP_NOMOVE | SWP_NOZORDER);
    rendererCallsDuringTheResize = renderers.windowlessCalls - before;
  });
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  resizer.join();
  Pump(300);
  EXPECT_EQ(rendererCallsDuringTheResize, 0);
  ASSERT_NE(g_currentDevice, nullptr);
  RECT source{}, shown{};
  ASSERT_EQ(g_currentDevice->GetWindowlessControl()->GetVideoPosition(&source, &shown), S_OK);
  const SIZE client = ClientSize();
  const double scale = std::min(client.cx / 320.0, client.cy / 240.0);  // 4:3, centred
  EXPECT_NEAR(shown.right - shown.left, 320 * scale, 1.0);
  EXPECT_NEAR(shown.bottom - shown.top, 240 * scale, 1.0);
  EXPECT_NEAR(shown.left, (client.cx - 320 * scale) / 2, 1.0);
}

// A display change sent during the wait reaches the renderer once, after it; a scale change moves
// the window at once.
TEST_F(StalledDriver, DisplayAndScaleChangesDuringAWaitReachTheRendererOnlyAfterIt) {
  testsupport::ClassDouble renderers(CLSID_VideoMixingRenderer9);
  // Slow once per setting in a process: a rate of its own.
  Register({Device(L"Slow to stop", L"format = RGB24 320x240 12\nblock-in = stop 1500")});
  ASSERT_TRUE(Select(L"Slow to stop"));
  testsupport::WatchdogStep("display and scale changes sent while a colour change waits for a slow stop");
  RECT suggested{};
  GetWindowRect(g_mainWindow, &suggested);
  OffsetRect(&suggested, 20, 10);
  bool sentDuringTheWait = false;
  std::thread sender = Started([&sentDuringTheWait, &suggested] {
    if (!AwaitTheWait()) return;
    SendMessageW(g_mainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
    SendMessageW(g_mainWindow, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    SendMessageW(g_mainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
    sentDuringTheWait = WaitingForBoundedCall();
  });
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  sender.join();
  Pump(300);
  ASSERT_TRUE(sentDuringTheWait);
  // The renderer is lent to the waiting call, so only a change held until after it reaches one.
  EXPECT_EQ(renderers.displayModeChanges, 1) << "two changes held, told once";
  RECT placed{};
  GetWindowRect(g_mainWindow, &placed);
  EXPECT_TRUE(EqualRect(&placed, &suggested)) << "the suggested place, taken during the wait";
}

TEST_F(StalledDriver, ACaptureCloseThatNeverReturnsIsReportedLostAndTheNextDeviceStreams) {
  Register({Device(L"Unclosable", L"format = RGB24 320x240 10\nblock-in = disconnect"), Device(kSpare)});
  ASSERT_TRUE(Select(L"Unclosable"));
  testsupport::WatchdogStep("another source chosen over a device whose capture pin never closes");
  ModalDriver answers = Respond(kSpare);
  Command(CMD_SELECT_SOURCE);
  ExpectReportedLostWithinTheLimit(answers, L"Unclosable");
  ExpectNextDeviceStreams();
}

// The start failed (box 104); its teardown then hangs: no second box, and the window answers.
TEST_F(StalledDriver, AFailedStartWhoseTeardownHangsShowsOnlyItsOwnBox) {
  testsupport::ClassDouble graphs(CLSID_FilterGraph);
  graphs.faults.run = E_FAIL;
  Register({Device(L"Refusing", L"format = RGB24 320x240 10\nblock-in = disconnect")});
  testsupport::WatchdogStep("a start that fails on a device whose capture pin never closes");
  ModalDriver answers = Respond(L"Refusing");
  Command(CMD_SELECT_SOURCE);
  ASSERT_EQ(answers.texts().size(), 2u) << "the source dialog, then one box";
  EXPECT_EQ(answers.texts().back(), L"Unable to start the selected device \"Refusing\"");
  EXPECT_LE(GetTickCount64() - startedAt, kLongestFreeze) << "the window froze";
  ExpectClosedAndBlack();
}

TEST_F(StalledDriver, AFormatRestartThatHangsIsReportedLostThenNotRestarted) {
  testsupport::ClassDouble graphs(CLSID_FilterGraph);
  Register({Device(L"Restarting", L"format = RGB24 320x240 10")});
  ASSERT_TRUE(Select(L"Restarting"));
  testsupport::WatchdogStep("Format... on a device whose restart hangs");
  graphs.faults.runDelay = INFINITE;
  ModalDriver answers = Respond();
  startedAt = GetTickCount64();
  Command(CMD_FORMAT);
  ExpectReportedLostWithinTheLimit(answers, L"Restarting");
  ASSERT_GE(answers.texts().size(), 2u);
  EXPECT_EQ(answers.texts()[answers.texts().size() - 2], LostText(L"Restarting"));
  EXPECT_EQ(answers.texts().back(),
            L"Unable to restart the device with the new format.\n Please select it again from the File Menu.");
  ExpectClosedAndBlack();
}

TEST_F(StalledDriver, AColourChangeRebuildThatHangsInPauseIsReportedLost) {
  testsupport::ClassDouble graphs(CLSID_FilterGraph);
  Register({Device(L"Pausing", L"format = RGB24 320x240 10")});
  ASSERT_TRUE(Select(L"Pausing"));
  ASSERT_TRUE(SUCCEEDED(CaptureDeviceInspector::control(g_currentDevice.Get())->Pause()));
  testsupport::WatchdogStep("a colour change whose paused rebuild hangs");
  graphs.faults.pauseDelay = INFINITE;
  ModalDriver answers = Respond();
  startedAt = GetTickCount64();
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  ExpectReportedLostWithinTheLimit(answers, L"Pausing");
  EXPECT_EQ(answers.texts().size(), 1u);
  ExpectClosedAndBlack();
}

// A device lost and then stuck in its close: its loss is told once, and the window answers.
TEST_F(StalledDriver, ADeviceLostThenStuckClosingIsReportedOnce) {
  Register({Device(L"Lost and stuck", L"format = RGB24 320x240 10\nlose-after = 3\nblock-in = disconnect")});
  testsupport::WatchdogStep("a device that is lost, then hangs closing");
  ModalDriver answers = Respond(L"Lost and stuck");
  Command(CMD_SELECT_SOURCE);
  for (int i = 0; i < 200 && g_currentDevice != nullptr; ++i) Pump(20);
  ASSERT_EQ(answers.texts().size(), 2u) << "the source dialog, then one box";
  EXPECT_LE(GetTickCount64() - lastBoxAnsweredAt, kLongestFreeze) << "the close after the box froze the window";
  EXPECT_EQ(std::count(answers.texts().begin(), answers.texts().end(), LostText(L"Lost and stuck")), 1);
  ExpectClosedAndBlack();
}

// The last release of a stuck device, and a new Open on it, come back within the limit too.
TEST_F(StalledDriver, ReleasingOrReopeningAStalledDeviceReturnsWithinTheLimit) {
  StartStallingStream();
  Microsoft::WRL::ComPtr<CaptureDevice> device = g_currentDevice;
  g_currentDevice.Reset();
  DeviceList devices;
  ASSERT_EQ(devices.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  testsupport::WatchdogStep("Open on a device whose teardown stalls");
  ULONGLONG began = GetTickCount64();
  EXPECT_TRUE(FAILED(device->Open(kSpare, devices.Find(kSpare))));
  EXPECT_LE(GetTickCount64() - began, kLongestFreeze);
  Microsoft::WRL::ComPtr<CaptureDevice> fresh;
  StartStallingStream();
  fresh = g_currentDevice;
  g_currentDevice.Reset();
  testsupport::WatchdogStep("the last release of a stalled device");
  began = GetTickCount64();
  fresh.Reset();
  EXPECT_LE(GetTickCount64() - began, kLongestFreeze);
  CloseCurrentDevice();
}

// Messages that other threads send are served during the wait; posted ones wait their turn.
TEST(BoundedCall, ServesSentMessagesOnlyAndGivesUpAtTheBound) {
  static int sent = 0, posted = 0;
  static bool servedWhileWaiting = false;
  sent = posted = 0;
  servedWhileWaiting = false;
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
      3000,
      [window] {
        PostMessageW(window, WM_APP + 2, 0, 0);
        SendMessageW(window, WM_APP + 1, 0, 0);
        return S_FALSE;
      },
      [] {}, &result));
  EXPECT_EQ(result, S_FALSE);
  EXPECT_EQ(sent, 1);
  EXPECT_TRUE(servedWhileWaiting);
  EXPECT_EQ(posted, 0);
  AppTest::Pump(50);
  EXPECT_EQ(posted, 1);
  // A stream of sent messages does not stretch the wait; the late return is the worker's own.
  std::atomic<int> flooders{2};
  const auto floodForTwoSeconds = [&flooders, window] {
    for (const ULONGLONG end = GetTickCount64() + 2000; GetTickCount64() < end;) SendMessageW(window, WM_APP + 1, 0, 0);
    --flooders;
  };
  std::thread flood(floodForTwoSeconds), secondFlood(floodForTwoSeconds);
  HANDLE lateReturnSeen = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD lateThread = 0;
  EXPECT_FALSE(CallWithin(
      100,
      [] {
        Sleep(1000);
        return S_OK;
      },
      [lateReturnSeen, &lateThread] {
        lateThread = GetCurrentThreadId();
        SetEvent(lateReturnSeen);
      },
      &result));
  while (flooders > 0) AppTest::Pump(10);
  flood.join();
  secondFlood.join();
  EXPECT_EQ(WaitForSingleObject(lateReturnSeen, 5000), WAIT_OBJECT_0);
  EXPECT_NE(lateThread, GetCurrentThreadId());
  CloseHandle(lateReturnSeen);
  DestroyWindow(window);
}

}  // namespace
