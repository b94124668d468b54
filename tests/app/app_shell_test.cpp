// The program's main window in the test process: start-up state, choosing sources, device
// failures and loss, the Controls commands and colour changes.
// clang-format off
#include <windows.h>
#include <olectl.h>
#include <shellapi.h>
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "capture/graph_event.h"
#include "devices/source_dialog.h"
#include "res/resource.h"
#include "simcam/common/device_registry.h"
#include "tests/support/app/app_fixture.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/doubles/import_spy.h"
#include "tests/support/doubles/platform_doubles.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"
#include "tests/support/modal_driver.h"

using Microsoft::WRL::ComPtr;
using testsupport::AppTest;
using testsupport::Device;
using testsupport::ModalDriver;

namespace {

// The message boxes the program asks for, as it asks.
struct BoxCall {
  HWND owner;
  UINT flags;
  bool defaultCaption;
};
std::vector<BoxCall> g_boxCalls;
testsupport::ImportSpy* g_boxSpy = nullptr;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags) {
  g_boxCalls.push_back({owner, flags, caption == nullptr});
  return reinterpret_cast<decltype(&MessageBoxW)>(g_boxSpy->original())(owner, text, caption, flags);
}

struct BoxSpy {
  testsupport::ImportSpy spy{"user32.dll", "MessageBoxW", reinterpret_cast<void*>(&RecordBox)};
  BoxSpy() {
    g_boxCalls.clear();
    g_boxSpy = &spy;
  }
  ~BoxSpy() { g_boxSpy = nullptr; }
};

int g_defaultCommands = 0;  // WM_COMMAND 4242 seen by the default procedure
testsupport::ImportSpy* g_defaultSpy = nullptr;

LRESULT WINAPI RecordDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && window == g_mainWindow) g_defaultCommands += LOWORD(wParam) == 4242 ? 1 : 100;
  return reinterpret_cast<decltype(&DefWindowProcW)>(g_defaultSpy->original())(window, message, wParam, lParam);
}

// What the web button asks the shell to open; with no browser here, only the call shows it.
struct OpenCall {
  HWND owner;
  std::wstring verb, file;
  int show;
};
std::vector<OpenCall> g_opened;
testsupport::ImportSpy* g_openSpy = nullptr;

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, int show) {
  g_opened.push_back({owner, verb != nullptr ? verb : L"(none)", file != nullptr ? file : L"(none)", show});
  return reinterpret_cast<decltype(&ShellExecuteW)>(g_openSpy->original())(owner, verb, file, parameters, folder, show);
}

// The owners property frames are given; the platform here gives its frame none of its own.
std::vector<HWND> g_frameOwners;
testsupport::ImportSpy* g_frameSpy = nullptr;

HRESULT WINAPI RecordFrame(HWND owner, UINT x, UINT y, LPCOLESTR caption, ULONG objectCount, IUnknown** objects,
                           ULONG pageCount, CLSID* pages, LCID locale, DWORD reserved, void* reservedPointer) {
  g_frameOwners.push_back(owner);
  return reinterpret_cast<decltype(&OleCreatePropertyFrame)>(g_frameSpy->original())(
      owner, x, y, caption, objectCount, objects, pageCount, pages, locale, reserved, reservedPointer);
}

// This thread's waits while it is watched, each with the filters the current device's graph then
// held. Other threads sleep through the real function untouched.
struct Wait {
  DWORD milliseconds;
  std::vector<std::wstring> filters;
};
std::vector<Wait> g_waits;
std::atomic<DWORD> g_watchedThread{0};
const auto g_realSleep = reinterpret_cast<decltype(&Sleep)>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Sleep")));

void WINAPI RecordSleep(DWORD milliseconds) {
  if (GetCurrentThreadId() == g_watchedThread && g_currentDevice != nullptr)
    g_waits.push_back({milliseconds, testsupport::FilterNames(CaptureDeviceInspector::graph(g_currentDevice.Get()))});
  g_realSleep(milliseconds);
}

// Presses OK on every message box and records its text.
ModalDriver AcknowledgeBoxes() {
  return ModalDriver([](HWND box) {
    testsupport::PressButton(box, IDOK);
    return true;
  });
}

class Shell : public AppTest {};

std::wstring RoutedInput() { return testsupport::KitStatsOf(AppTest::CurrentCaptureFilter()).routedInput; }

// Opens the input dialog; picks the entry `choice` as a user would (none when empty) and returns
// the entry the dialog opened with.
std::wstring UseInputDialog(const std::wstring& choice) {
  std::wstring opened;
  ModalDriver driver([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_INPUT_LIST);
    if (list == nullptr) return false;
    opened = testsupport::ComboSelection(list);
    if (!choice.empty()) {
      SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(choice.c_str()));
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_INPUT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    testsupport::PressButton(dialog, IDC_DONE_BUTTON);
    return true;
  });
  AppTest::Command(CMD_INPUTS);
  return opened;
}

const wchar_t kThreeInputCard[] =
    L"format = RGB24 640x480 30\ncrossbar = Main: Tuner Composite SVideo -> VideoDecoder\n";

TEST_F(Shell, StartsWithoutDeviceControlsGreyedAndA640By480BlackClientArea) {
  EXPECT_EQ(g_currentDevice, nullptr);
  EXPECT_TRUE(greyedAtStartUp) << "the resource has them enabled; start-up greys them";
  EXPECT_EQ(GetMenuState(g_menuBar, 0, MF_BYPOSITION) & MF_GRAYED, 0u);
  EXPECT_EQ(ClientSize().cx, 640);
  EXPECT_EQ(ClientSize().cy, 480);
  wchar_t title[64];
  GetWindowTextW(g_mainWindow, title, 64);
  EXPECT_STREQ(title, L"VANTORQ-MIRAsee");
  EXPECT_EQ(PixelAt(320, 240), 0x000000u);
}

TEST_F(Shell, NoDeviceOrOnlyThePreviewedOneGivesOnlyTheNoDevicesBox) {
  Register({});
  ModalDriver boxes = AcknowledgeBoxes();
  Command(CMD_SELECT_SOURCE);
  ASSERT_EQ(boxes.texts().size(), 1u);
  EXPECT_EQ(boxes.texts()[0], L"There are no available video capture devices.");

  Register({Device(L"Cam")});
  ASSERT_TRUE(Select(L"Cam"));
  ASSERT_NE(g_currentDevice, nullptr);
  ModalDriver again = AcknowledgeBoxes();
  Command(CMD_SELECT_SOURCE);
  ASSERT_EQ(again.texts().size(), 1u) << "the previewed device is not offered";
  EXPECT_EQ(again.texts()[0], L"There are no available video capture devices.");
  EXPECT_EQ(g_currentDevice->GetName(), L"Cam") << "the preview goes on";
}

TEST_F(Shell, SourcesAreListedAlphabeticallyAndThePreviewedTwinIsLeftOut) {
  Register({Device(L"Zeta"), Device(L"alpha"), Device(L"Beta"), Device(L"Cam"), Device(L"Cam")});
  std::vector<std::wstring> offered;
  std::wstring selected;
  ModalDriver look([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list == nullptr) return false;
    offered = testsupport::ComboItems(list);
    selected = testsupport::ComboSelection(list);
    testsupport::PressButton(dialog, IDCANCEL);
    return true;
  });
  Command(CMD_SELECT_SOURCE);
  EXPECT_EQ(offered, (std::vector<std::wstring>{L"alpha", L"Beta", L"Cam #01", L"Cam #02", L"Zeta"}));
  EXPECT_EQ(selected, L"alpha");
  EXPECT_EQ(g_currentDevice, nullptr) << "Cancel starts nothing";

  ASSERT_TRUE(Select(L"Cam #01"));
  offered.clear();
  ModalDriver second([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list == nullptr) return false;
    offered = testsupport::ComboItems(list);
    testsupport::PressButton(dialog, IDCANCEL);
    return true;
  });
  Command(CMD_SELECT_SOURCE);
  EXPECT_EQ(offered, (std::vector<std::wstring>{L"alpha", L"Beta", L"Cam #02", L"Zeta"}));
  EXPECT_EQ(g_currentDevice->GetName(), L"Cam #01") << "Cancel leaves the running preview";
}

// Names are compared exactly: a device named like the previewed one but for case is another one.
TEST_F(Shell, ADeviceWhoseNameDiffersOnlyInCaseFromThePreviewedOneIsOffered) {
  Register({Device(L"Cam"), Device(L"CAM")});
  ASSERT_TRUE(Select(L"Cam"));
  std::vector<std::wstring> offered;
  ModalDriver look([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list != nullptr) offered = testsupport::ComboItems(list);
    testsupport::PressButton(dialog, list != nullptr ? IDCANCEL : IDOK);  // or the box saying none is left
    return true;
  });
  Command(CMD_SELECT_SOURCE);
  EXPECT_EQ(offered, std::vector<std::wstring>{L"CAM"});
}

// Identical cameras are numbered afresh at each listing: unplugging the first renumbers the one
// being previewed, which must still be the one left out.
TEST_F(Shell, ThePreviewedOneOfIdenticalCamerasStaysHiddenWhenTheNumberingMoves) {
  Register({Device(L"Twin"), Device(L"Twin"), Device(L"Twin")});
  ASSERT_TRUE(Select(L"Twin #02"));
  ASSERT_EQ(testsupport::DeviceNumber(g_currentDevice->GetMoniker().Get()), 2u);
  ASSERT_EQ(simcam::UnregisterDevice(simcam::InstanceName(1, testsupport::kTestInstancePrefix)), S_OK);
  std::vector<std::wstring> offered;
  ModalDriver choose([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list != nullptr) offered = testsupport::ComboItems(list);
    testsupport::PressButton(dialog, IDOK);
    return true;
  });
  Command(CMD_SELECT_SOURCE);
  EXPECT_EQ(offered, std::vector<std::wstring>{L"Twin #02"});
  ASSERT_NE(g_currentDevice, nullptr);
  EXPECT_EQ(testsupport::DeviceNumber(g_currentDevice->GetMoniker().Get()), 3u) << "the other camera";
}

TEST_F(Shell, ChosenDeviceRunsAndEachControlFollowsItsProbe) {
  Register({Device(L"Card", L"crossbar = Main: Tuner Composite SVideo -> VideoDecoder\ntuner = yes"),
            Device(L"Plain", L"filter-pages = none\nformat-pages = zero")});
  ASSERT_TRUE(Select(L"Card"));
  ASSERT_NE(g_currentDevice, nullptr);
  EXPECT_TRUE(ItemEnabled(CMD_FORMAT));
  EXPECT_TRUE(ItemEnabled(CMD_VIDEO));
  EXPECT_TRUE(ItemEnabled(CMD_INPUTS));
  EXPECT_TRUE(ItemEnabled(CMD_TV_TUNER));
  ASSERT_TRUE(Select(L"Plain"));
  EXPECT_EQ(g_currentDevice->GetName(), L"Plain");
  EXPECT_TRUE(AllControlsGreyed());
}

TEST_F(Shell, FailingDeviceShowsItsNameAndLeavesNoDevice) {
  Register({Device(L"Good"), Device(L"Bad %s%n%ls", L"format = MJPG 1280x720 30")});
  ASSERT_TRUE(Select(L"Good"));
  std::vector<std::wstring> boxes;
  ModalDriver driver([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list != nullptr) {
      SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Bad"));
      testsupport::PressButton(dialog, IDOK);
      return true;
    }
    boxes.push_back(testsupport::DialogText(dialog));
    testsupport::PressButton(dialog, IDOK);
    return true;
  });
  Command(CMD_SELECT_SOURCE);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], L"Unable to start the selected device \"Bad %s%n%ls\"") << "the name is never a format";
  EXPECT_EQ(g_currentDevice, nullptr) << "the previous device is not restored";
  EXPECT_TRUE(AllControlsGreyed());
}

TEST_F(Shell, DeviceLossShowsTheBoxClosesTheDeviceAndBlanksTheWindow) {
  Register({Device(L"Fragile", L"format = RGB24 640x480 30\nlose-after = 10")});
  BoxSpy spy;
  ModalDriver boxes = AcknowledgeBoxes();
  ASSERT_TRUE(Select(L"Fragile"));
  for (int i = 0; i < 60 && g_currentDevice != nullptr; ++i) Pump(50);
  EXPECT_EQ(g_currentDevice, nullptr);
  ASSERT_FALSE(boxes.texts().empty());
  EXPECT_EQ(boxes.texts().back(), L"The device \"Fragile\" has been lost. ");
  ASSERT_EQ(g_boxCalls.size(), 1u);
  EXPECT_EQ(g_boxCalls[0].flags, static_cast<UINT>(MB_TASKMODAL | MB_ICONWARNING));
  EXPECT_TRUE(AllControlsGreyed());
  Pump(100);
  EXPECT_EQ(PixelAt(40, 150), 0x000000u) << "the last frame does not stay on screen";
}

// Only the calls show it: the platform's FreeEventParams frees nothing.
TEST_F(Shell, EveryEventTakenFromTheQueueIsFreedTheLossIncluded) {
  Register({Device(L"Fragile", L"format = RGB24 640x480 30\nlose-after = 10")});
  testsupport::ClassDouble graphs(CLSID_FilterGraph);
  ModalDriver boxes = AcknowledgeBoxes();
  ASSERT_TRUE(Select(L"Fragile"));
  for (int i = 0; i < 60 && g_currentDevice != nullptr; ++i) Pump(50);
  ASSERT_EQ(g_currentDevice, nullptr) << "the loss was taken";
  const std::vector<testsupport::GraphEvent> taken = graphs.eventsTaken.values();
  EXPECT_EQ(std::count_if(taken.begin(), taken.end(),
                          [](const testsupport::GraphEvent& event) { return event.code == EC_DEVICE_LOST; }),
            1);
  EXPECT_EQ(graphs.eventsFreed.values(), taken);
  for (const long wait : graphs.eventWaits.values()) EXPECT_EQ(wait, 0) << "the queue is drained without waiting";
}

TEST_F(Shell, ColourChangeRebuildsIntoTheFormerState) {
  Command(CMD_FORMAT);  // no device: nothing happens
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(g_currentDevice, nullptr);
  Register({Device(L"Cam")});
  ASSERT_TRUE(Select(L"Cam"));
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  ASSERT_NE(g_currentDevice, nullptr);
  ASSERT_NE(g_currentDevice->GetWindowlessControl(), nullptr) << "rebuilt";
  OAFilterState state = -1;
  ComPtr<IMediaEventEx> events = g_currentDevice->GetMediaEvent();
  ComPtr<IMediaControl> control;
  ASSERT_EQ(events.As(&control), S_OK);
  control->GetState(500, &state);
  EXPECT_EQ(state, State_Running);
  for (const bool stopped : {false, true}) {  // a stopped graph comes back paused too
    stopped ? control->Stop() : control->Pause();
    SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
    events = g_currentDevice->GetMediaEvent();
    ASSERT_EQ(events.As(&control), S_OK);
    control->GetState(500, &state);
    EXPECT_EQ(state, State_Paused) << (stopped ? "stopped" : "paused");
  }
}

TEST_F(Shell, AColourChangeWaits300MsBetweenTheTeardownAndTheRebuild) {
  Register({Device(L"Cam")});
  ASSERT_TRUE(Select(L"Cam"));
  testsupport::ImportSpy spy("kernel32.dll", "Sleep", reinterpret_cast<void*>(&RecordSleep));
  ASSERT_TRUE(spy.installed());
  g_waits.clear();
  g_watchedThread = GetCurrentThreadId();
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  g_watchedThread = 0;
  ASSERT_EQ(g_waits.size(), 1u);
  EXPECT_EQ(g_waits[0].milliseconds, 300u);
  EXPECT_EQ(g_waits[0].filters, std::vector<std::wstring>{L"Cam"}) << "torn down to the capture filter";
  ASSERT_NE(g_currentDevice, nullptr);
  EXPECT_EQ(testsupport::FilterNames(CaptureDeviceInspector::graph(g_currentDevice.Get())),
            (std::vector<std::wstring>{L"Cam", L"VMR9"}))
      << "rebuilt";
}

TEST_F(Shell, ALossFirstInABatchClosesTheDeviceAndTheRestOfTheBatchIsStillTaken) {
  Register({Device(L"Cam")});
  ASSERT_TRUE(Select(L"Cam"));
  ComPtr<IMediaEventEx> events = g_currentDevice->GetMediaEvent();
  ComPtr<IMediaEventSink> sink;
  ASSERT_EQ(events.As(&sink), S_OK);
  ModalDriver boxes = AcknowledgeBoxes();
  events->SetNotifyWindow(0, WM_GRAPH_EVENT, 0);  // one drain of the whole batch, not one per event
  Pump(200);                                      // nor one for the start's own events still posted
  for (long code : {long{EC_DEVICE_LOST}, long{EC_USER + 1}, long{EC_DEVICE_LOST}, long{EC_USER + 2}})
    sink->Notify(code, 0, 0);
  HandleGraphEvents(g_mainWindow);
  EXPECT_EQ(boxes.texts(), std::vector<std::wstring>{L"The device \"Cam\" has been lost. "});
  EXPECT_EQ(g_currentDevice, nullptr);
  long code = 0;
  LONG_PTR first = 0, second = 0;
  EXPECT_EQ(events->GetEvent(&code, &first, &second, 0), E_ABORT) << "every event of the batch was taken";
}

// A driver that floods its graph with events holds the window for one batch at a time; the rest
// are taken after the messages already waiting.
TEST_F(Shell, AFloodOfEventsIsTakenInBatchesUntilNoneIsLeft) {
  Register({Device(L"Cam")});
  ASSERT_TRUE(Select(L"Cam"));
  ComPtr<IMediaEventEx> events = g_currentDevice->GetMediaEvent();
  ComPtr<IMediaEventSink> sink;
  ASSERT_EQ(events.As(&sink), S_OK);
  events->SetNotifyWindow(0, WM_GRAPH_EVENT, 0);  // queued without a message of their own
  Pump(200);
  for (int i = 0; i < 1000; ++i) sink->Notify(EC_USER + 1, 0, 0);
  events->SetNotifyWindow(reinterpret_cast<OAHWND>(g_mainWindow), WM_GRAPH_EVENT, 0);
  SendMessageW(g_mainWindow, WM_GRAPH_EVENT, 0, 0);
  long code = 0;
  LONG_PTR first = 0, second = 0;
  ASSERT_EQ(events->GetEvent(&code, &first, &second, 0), S_OK) << "one message took the whole flood";
  events->FreeEventParams(code, first, second);
  Pump(500);
  EXPECT_EQ(events->GetEvent(&code, &first, &second, 0), E_ABORT) << "the rest of the flood was left queued";
}

// Each queued event posts its own message; the loss box's nested loop takes the later ones.
TEST_F(Shell, ASecondLossTakenWhileTheLossBoxIsOpenOpensNoSecondBox) {
  Register({Device(L"Cam")});
  ASSERT_TRUE(Select(L"Cam"));
  ComPtr<IMediaEventSink> sink;
  ASSERT_EQ(g_currentDevice->GetMediaEvent().As(&sink), S_OK);
  ModalDriver boxes = AcknowledgeBoxes();
  sink->Notify(EC_DEVICE_LOST, 0, 0);
  sink->Notify(EC_DEVICE_LOST, 0, 0);
  for (int i = 0; i < 100 && g_currentDevice != nullptr; ++i) Pump(20);
  Pump(200);
  EXPECT_EQ(boxes.texts(), std::vector<std::wstring>{L"The device \"Cam\" has been lost. "});
}

TEST_F(Shell, FormatWhoseRestartFailsShowsBothBoxesAndEndsWithoutDevice) {
  Register({Device(L"Cam", L"format = RGB24 640x480 30\nformat = MJPG 1280x720 30")});
  ASSERT_TRUE(Select(L"Cam"));
  BoxSpy spy;
  std::vector<std::wstring> boxes;
  ModalDriver driver([&](HWND dialog) {
    HWND list = testsupport::FindControl(dialog, 100, L"ComboBox");
    if (list != nullptr) {  // the format page: choose the compressed format no renderer takes
      SendMessageW(list, CB_SETCURSEL, 1, 0);
      SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(100, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
      testsupport::PressButton(dialog, IDOK);
      return true;
    }
    boxes.push_back(testsupport::DialogText(dialog));
    testsupport::PressButton(dialog, IDOK);
    return true;
  });
  Command(CMD_FORMAT);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], L"Unable to start the selected device \"Cam\"");
  EXPECT_EQ(boxes[1],
            L"Unable to restart the device with the new format.\n Please select it again from the File Menu.");
  ASSERT_EQ(g_boxCalls.size(), 2u);
  EXPECT_EQ(g_boxCalls[0].flags, static_cast<UINT>(MB_TASKMODAL | MB_ICONWARNING)) << "0x2030";
  EXPECT_EQ(g_boxCalls[1].flags, static_cast<UINT>(MB_ICONERROR)) << "error icon, not task-modal";
  for (const BoxCall& call : g_boxCalls) {
    EXPECT_EQ(call.owner, g_mainWindow);
    EXPECT_TRUE(call.defaultCaption);
  }
  EXPECT_EQ(g_currentDevice, nullptr);
  EXPECT_TRUE(AllControlsGreyed());
}

TEST_F(Shell, InputsListsConnectorNamesSortedAndRoutesAtOnce) {
  Register({Device(L"Card",
                   L"format = RGB24 640x480 30\n"
                   L"crossbar = Main: Tuner Composite SVideo AudioLine -> VideoDecoder AudioDecoder")});
  ASSERT_TRUE(Select(L"Card"));
  std::vector<std::wstring> names;
  std::wstring selected;
  ModalDriver driver([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_INPUT_LIST);
    if (list == nullptr) return false;
    names = testsupport::ComboItems(list);
    selected = testsupport::ComboSelection(list);
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // not handled: the dialog stays
    EXPECT_TRUE(IsWindowVisible(dialog)) << "IDOK does not end the dialog";
    SendMessageW(list, CB_SETCURSEL, 0, 0);  // "Video Composite"
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_INPUT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    testsupport::PressButton(dialog, IDC_DONE_BUTTON);
    return true;
  });
  Command(CMD_INPUTS);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Video Composite", L"Video SVideo", L"Video Tuner"}));
  EXPECT_EQ(selected, L"Video Tuner") << "the current route";
  bool rerouted = false;
  for (int i = 0; i < 40 && !rerouted; ++i) {
    Pump(50);
    rerouted = testsupport::SameColour(PixelAt(600, 470), simcam::RoutedInputColour(1));
  }
  EXPECT_TRUE(rerouted) << "the picture shows the Composite input";
}

TEST_F(Shell, AboutOpensFromTheMenuAndBothAccelerators) {
  HACCEL accelerators = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN));
  testsupport::ImportSpy spy("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&RecordOpen));
  ASSERT_TRUE(spy.installed());
  g_openSpy = &spy;
  for (WPARAM key : {WPARAM{0}, WPARAM{'?'}, WPARAM{'/'}}) {
    std::wstring caption;
    ModalDriver driver([&](HWND box) {
      wchar_t text[64];
      GetWindowTextW(box, text, 64);
      caption = text;
      g_opened.clear();
      SendMessageW(box, WM_COMMAND, IDC_WEB_BUTTON, 0);  // no browser here: must not hang
      EXPECT_TRUE(IsWindowVisible(box)) << "the box stays open";
      EXPECT_EQ(g_opened.size(), 1u);
      for (const OpenCall& call : g_opened) {
        EXPECT_EQ(call.owner, box);
        EXPECT_EQ(call.verb, L"open");
        EXPECT_EQ(call.file, L"https://www.example.com/mirasee/");
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
      }
      testsupport::PressButton(box, IDOK);
      return true;
    });
    if (key == 0) {
      Command(CMD_ABOUT);
    } else {
      // Alt held while the character arrives, as the keyboard would report it.
      BYTE keys[256];
      GetKeyboardState(keys);
      keys[VK_MENU] = 0x80;
      SetKeyboardState(keys);
      MSG message = {g_mainWindow, WM_SYSCHAR, key, 1 << 29, 0, {0, 0}};
      EXPECT_NE(TranslateAcceleratorW(g_mainWindow, accelerators, &message), 0) << static_cast<char>(key);
      keys[VK_MENU] = 0;
      SetKeyboardState(keys);
    }
    EXPECT_EQ(caption, L"About VANTORQ-MIRAsee");
  }
  g_openSpy = nullptr;
}

TEST_F(Shell, AboutClosesWithEscapeAndWithItsCloseButton) {
  for (const bool escape : {true, false}) {
    ModalDriver driver([&](HWND box) {
      if (escape)
        PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
      else
        PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    });
    Command(CMD_ABOUT);  // returns once the box has ended
    EXPECT_EQ(driver.handledCount(), 1u) << (escape ? "Esc" : "close button");
  }
  EXPECT_TRUE(IsWindowEnabled(g_mainWindow));
}

TEST_F(Shell, UnknownCommandsReachTheDefaultProcedureAndDeviceCommandsNeedADevice) {
  testsupport::ImportSpy spy("user32.dll", "DefWindowProcW", reinterpret_cast<void*>(&RecordDefault));
  ASSERT_TRUE(spy.installed());
  g_defaultSpy = &spy;
  g_defaultCommands = 0;
  for (UINT command : {CMD_INPUTS, CMD_VIDEO, CMD_FORMAT, CMD_TV_TUNER}) {
    ModalDriver none([](HWND) { return true; });
    Command(command);
    EXPECT_FALSE(none.seen()) << command;
  }
  EXPECT_EQ(g_defaultCommands, 0) << "handled commands do not reach the default procedure";
  SendMessageW(g_mainWindow, WM_COMMAND, 4242, 0);
  EXPECT_EQ(g_defaultCommands, 1) << "an unknown command does, unchanged";
  g_defaultSpy = nullptr;
}

TEST_F(Shell, RebuildsOfTheSameDeviceKeepTheChosenInputAndANewChoiceStartsOnTheFirst) {
  Register({Device(L"Card A", kThreeInputCard), Device(L"Card B", kThreeInputCard)});
  ASSERT_TRUE(Select(L"Card A"));
  EXPECT_EQ(UseInputDialog(L"Video SVideo"), L"Video Tuner");
  EXPECT_EQ(RoutedInput(), L"Main SVideo");
  SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(RoutedInput(), L"Main SVideo") << "after a colour change";
  ModalDriver page([](HWND dialog) {
    testsupport::PressButton(dialog, IDOK);
    return true;
  });
  Command(CMD_FORMAT);
  ASSERT_TRUE(page.acted());
  EXPECT_EQ(RoutedInput(), L"Main SVideo") << "after the format page's restart";
  EXPECT_EQ(UseInputDialog(L""), L"Video SVideo") << "shown as current";
  ASSERT_TRUE(Select(L"Card B"));
  ASSERT_TRUE(Select(L"Card A"));
  EXPECT_EQ(RoutedInput(), L"Main Tuner") << "a newly chosen device starts on its first route";
  EXPECT_EQ(UseInputDialog(L""), L"Video Tuner");
}

// A user can end the input dialog while box 104 of a failed colour-change rebuild is open; the
// main window is enabled again then, and another source can be started before the box is
// answered. Answering the box must not close that new source.
TEST_F(Shell, AnsweringAFailedRebuildsBoxClosesOnlyTheDeviceItNames) {
  // The rebuild reads the capture format a second time; without it the graph cannot be built.
  Register(
      {Device(L"Failing", std::wstring(kThreeInputCard) + L"fail = GetFormat 2 E_FAIL program"), Device(L"Other")});
  ASSERT_TRUE(Select(L"Failing"));
  int stage = 0;
  HWND inputs = nullptr;
  std::wstring boxText;
  ModalDriver driver(
      [&](HWND dialog) {
        if (GetDlgItem(dialog, IDC_INPUT_LIST) != nullptr && stage == 0) {
          inputs = dialog;
          stage = 1;
          PostMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
          return true;
        }
        if (HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST)) {
          SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Other"));
          testsupport::PressButton(dialog, IDOK);
          return true;
        }
        if (stage == 1 && dialog != inputs && IsWindowEnabled(inputs)) {  // the rebuild's box is up
          boxText = testsupport::DialogText(dialog);
          testsupport::PressButton(inputs, IDC_DONE_BUTTON);
          stage = 2;
          return false;
        }
        if (stage == 2 && IsWindowEnabled(g_mainWindow)) {
          PostMessageW(g_mainWindow, WM_COMMAND, CMD_SELECT_SOURCE, 0);
          stage = 3;
          return false;
        }
        if (stage == 3 && g_currentDevice != nullptr && g_currentDevice->GetName() == L"Other") {
          testsupport::PressButton(dialog, IDOK);
          return true;
        }
        return false;
      },
      15000);
  Command(CMD_INPUTS);
  Pump(200);
  EXPECT_EQ(boxText, L"Unable to start the selected device \"Failing\"");
  EXPECT_EQ(stage, 3);
  ASSERT_NE(g_currentDevice, nullptr) << "the newly started source stays";
  EXPECT_EQ(g_currentDevice->GetName(), L"Other");
  EXPECT_TRUE(ItemEnabled(CMD_VIDEO));
}

// Format... in the source dialog opens the chosen device for its format page; OK hands that same
// object back, Cancel drops it and the running preview goes on.
TEST_F(Shell, SourceDialogFormatOpensOnceShowsThePageEachTimeAndOkHandsBackTheSameDevice) {
  Register({Device(L"Running"), Device(L"Chosen", L"format = RGB24 320x240 30\nformat = RGB24 640x480 30")});
  ASSERT_TRUE(Select(L"Running"));
  testsupport::ImportSpy spy("oleaut32.dll", "OleCreatePropertyFrame", reinterpret_cast<void*>(&RecordFrame));
  ASSERT_TRUE(spy.installed());
  g_frameSpy = &spy;
  const LONG objectsWithRunning = testsupport::KitLiveObjects();
  for (const int ending : {IDCANCEL, IDOK}) {
    int pages = 0, formatPresses = 0;
    std::vector<std::wstring> offered;
    HWND sourceDialog = nullptr;
    g_frameOwners.clear();
    bool pageOpen = false;
    CaptureDevice* opened = nullptr;
    ModalDriver driver([&](HWND dialog) {
      if (HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST)) {
        sourceDialog = dialog;
        if (pageOpen) return false;
        if (formatPresses == 0) testsupport::ResetKitCallCounts();  // the listing's bindings are done
        if (formatPresses == 1 && g_sourceDialog != nullptr) opened = g_sourceDialog->GetSelected().Get();
        if (formatPresses == 2) {
          testsupport::PressButton(dialog, ending);
          return true;
        }
        SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Chosen"));
        ++formatPresses;
        pageOpen = true;
        testsupport::PressButton(dialog, IDC_FORMAT_BUTTON);
        return false;
      }
      ++pages;  // the format page's frame
      offered = testsupport::ComboItems(testsupport::FindControl(dialog, 100, L"ComboBox"));
      pageOpen = false;
      testsupport::PressButton(dialog, IDOK);
      return true;
    });
    Command(CMD_SELECT_SOURCE);
    EXPECT_EQ(pages, 2) << "the page each time";
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"RGB24 320x240 30 fps", L"RGB24 640x480 30 fps"}))
        << "the device's formats, not its video settings";
    EXPECT_EQ(g_frameOwners, (std::vector<HWND>{sourceDialog, sourceDialog})) << "the page belongs to the dialog";
    EXPECT_EQ(testsupport::KitCallCount(L"Load", false), 1) << "the device is opened once";
    ASSERT_NE(g_currentDevice, nullptr);
    if (ending == IDCANCEL) {
      EXPECT_EQ(g_currentDevice->GetName(), L"Running") << "Cancel leaves the preview";
      EXPECT_EQ(testsupport::KitLiveObjects(), objectsWithRunning) << "the chosen device is released";
    } else {
      EXPECT_EQ(g_currentDevice.Get(), opened) << "OK starts the very object the page was shown for";
      EXPECT_EQ(g_currentDevice->GetName(), L"Chosen");
    }
  }
}

TEST_F(Shell, AfterAnOkThatCannotOpenTheDeviceAnotherSourceCanBeChosen) {
  // Only opening asks the capture pin for its connection: listing the device still works.
  Register({Device(L"Broken", L"fail = ConnectedTo 1 E_FAIL program"), Device(L"Good")});
  int sightings = 0;
  ModalDriver driver([&](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SOURCE_LIST);
    if (list == nullptr) return false;
    const wchar_t* choice = sightings++ == 0 ? L"Broken" : L"Good";
    SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(choice));
    testsupport::PressButton(dialog, IDOK);
    return sightings == 2;
  });
  Command(CMD_SELECT_SOURCE);
  EXPECT_EQ(sightings, 2) << "the dialog stayed open after the failed OK";
  ASSERT_NE(g_currentDevice, nullptr);
  EXPECT_EQ(g_currentDevice->GetName(), L"Good");
}

}  // namespace
