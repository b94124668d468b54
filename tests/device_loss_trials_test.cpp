// The device unplugged at seeded random moments: while it streams, while one of its dialogs, the
// source dialog or a message box is open, and during the rebuild after a colour change. Each time
// the loss is reported once, the device is closed and everything the kit handed out is released.
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "simcam/common/control.h"
#include "tests/support/app_fixture.h"
#include "tests/support/modal_driver.h"
#include "tests/support/preview_graph.h"
#include "tests/support/simcam_devices.h"
#include "tests/support/watchdog.h"

using apptest::AppTest;
using Microsoft::WRL::ComPtr;
using simcamtest::Device;

namespace {

const wchar_t kLossy[] = L"Lossy Card";
const wchar_t kSpare[] = L"Spare Cam";
const wchar_t kCard[] =
    L"format = RGB24 640x480 30\n"
    L"crossbar = Main: Tuner Composite SVideo -> VideoDecoder\n"
    L"tuner = yes\n";
const unsigned kSeed = 20261208;
const int kTrialsPerMoment = 17;

enum class Moment { Streaming, PropertyFrame, InputDialog, SourceDialog, MessageBox, Rebuild };
const char* const kMomentNames[] = {"streaming",          "property frame open", "input dialog open",
                                    "source dialog open", "message box open",    "colour-change rebuild"};

std::wstring LostText() { return std::wstring(L"The device \"") + kLossy + L"\" has been lost. "; }
std::wstring StartFailedText() { return std::wstring(L"Unable to start the selected device \"") + kLossy + L"\""; }
// Shown while the device is current when it is the only one: the box the loss trial interrupts.
const wchar_t kNoDevicesText[] = L"There are no available video capture devices.";

// Unplugs the device after a delay, from another thread as hardware would.
class Unplugger {
 public:
  Unplugger(ComPtr<simcam::ISimCamDevice> device, DWORD delayMs)
      : thread_([device, delayMs] {
          Sleep(delayMs);
          if (device != nullptr) device->LoseDevice();
        }) {}
  ~Unplugger() { thread_.join(); }

 private:
  std::thread thread_;
};

struct Trial {
  Moment moment;
  DWORD lossDelayMs;  // from the moment's start
  DWORD holdMs;       // how long the moment's dialog stays open; always past the loss
  bool confirmSpare;  // source dialog: OK on the spare device instead of Cancel
};

struct TrialOutcome {
  std::vector<std::wstring> boxes;
  std::vector<std::wstring> strangers;
  LONG objects = 0, references = 0;
  DWORD elapsedMs = 0;
};

// Unplugs the device once the moment's dialog shows, and confirms that dialog when its hold time
// is over; answers message boxes at once.
class TrialDriver {
 public:
  TrialDriver(const Trial& trial, ComPtr<simcam::ISimCamDevice> device, TrialOutcome* outcome)
      : trial_(trial),
        device_(std::move(device)),
        outcome_(outcome),
        driver_([this](HWND dialog) { return Act(dialog); }, 20000) {}

 private:
  // True once the moment's dialog has been open for its hold time, with the loss inside it.
  bool Held() {
    if (unplug_ == nullptr) {
      shown_ = GetTickCount();
      unplug_ = std::make_unique<Unplugger>(device_, trial_.lossDelayMs);
    }
    return GetTickCount() - shown_ >= trial_.holdMs;
  }

  bool Act(HWND dialog) {
    if (HWND sources = GetDlgItem(dialog, IDC_SOURCE_LIST)) {
      if (!Held()) return false;
      const bool spare = trial_.confirmSpare && SendMessageW(sources, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                                             reinterpret_cast<LPARAM>(kSpare)) >= 0;
      modaltest::PressButton(dialog, spare ? IDOK : IDCANCEL);
    } else if (GetDlgItem(dialog, IDC_INPUT_LIST) != nullptr) {
      if (!Held()) return false;
      modaltest::PressButton(dialog, IDC_DONE_BUTTON);
    } else if (modaltest::FindControl(dialog, 100, L"ComboBox") != nullptr) {
      if (!Held()) return false;
      modaltest::PressButton(dialog, IDOK);
    } else if (GetDlgItem(dialog, IDOK) != nullptr || GetDlgItem(dialog, IDCANCEL) != nullptr) {
      const std::wstring text = modaltest::DialogText(dialog);
      if (trial_.moment == Moment::MessageBox && text == kNoDevicesText && !Held()) return false;
      outcome_->boxes.push_back(text);
      modaltest::PressButton(dialog, GetDlgItem(dialog, IDOK) != nullptr ? IDOK : IDCANCEL);
    } else {
      wchar_t caption[256] = L"";
      GetWindowTextW(dialog, caption, 256);
      outcome_->strangers.push_back(caption);
      PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    return true;
  }

  Trial trial_;
  ComPtr<simcam::ISimCamDevice> device_;
  TrialOutcome* outcome_;
  DWORD shown_ = 0;
  std::unique_ptr<Unplugger> unplug_;  // joined before the driver stops answering
  modaltest::ModalDriver driver_;
};

// Brings the moment about with the loss inside it.
void Stage(const Trial& trial, TrialOutcome* outcome) {
  ComPtr<simcam::ISimCamDevice> device = simcamtest::KitDeviceOf(AppTest::CurrentCaptureFilter());
  switch (trial.moment) {
    case Moment::Streaming: {
      TrialDriver boxes(trial, nullptr, outcome);
      Unplugger unplug(device, trial.lossDelayMs);
      AppTest::Pump(trial.holdMs);
      break;
    }
    case Moment::PropertyFrame:
    case Moment::InputDialog:
    case Moment::SourceDialog:
    case Moment::MessageBox: {  // with no other device to offer, Select Source shows only a box
      const UINT command = trial.moment == Moment::PropertyFrame ? CMD_VIDEO
                           : trial.moment == Moment::InputDialog ? CMD_INPUTS
                                                                 : CMD_SELECT_SOURCE;
      TrialDriver driver(trial, device, outcome);
      AppTest::Command(command);
      break;
    }
    case Moment::Rebuild: {
      TrialDriver boxes(trial, nullptr, outcome);
      Unplugger unplug(device, trial.lossDelayMs);
      SendMessageW(g_mainWindow, WM_SYSCOLORCHANGE, 0, 0);
      AppTest::Pump(300);
      break;
    }
  }
  TrialDriver late(trial, nullptr, outcome);  // answers a loss box that arrives after the moment
  AppTest::Pump(300);
}

TrialOutcome RunTrial(const Trial& trial) {
  TrialOutcome outcome;
  std::vector<simcam::DeviceProfile> devices = {Device(kLossy, kCard)};
  if (trial.moment != Moment::MessageBox) devices.push_back(Device(kSpare, L"format = RGB24 320x240 30"));
  AppTest::Register(devices);
  const DWORD start = GetTickCount();
  if (AppTest::Select(kLossy)) Stage(trial, &outcome);
  CloseCurrentDevice();
  AppTest::Pump(30);
  outcome.elapsedMs = GetTickCount() - start;
  outcome.objects = simcamtest::KitLiveObjects();
  outcome.references = simcamtest::KitLiveReferences();
  return outcome;
}

size_t Count(const std::vector<std::wstring>& texts, const std::wstring& text) {
  return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
}

// The failure kinds a trial shows; empty when the loss was handled as designed.
std::vector<std::string> Judge(const Trial& trial, const TrialOutcome& outcome) {
  std::vector<std::string> faults;
  if (outcome.elapsedMs >= 20000) faults.push_back("hang");
  if (!outcome.strangers.empty()) faults.push_back("unexpected dialog");
  const size_t lost = Count(outcome.boxes, LostText()), failed = Count(outcome.boxes, StartFailedText());
  const size_t noDevices = Count(outcome.boxes, kNoDevicesText);
  if (lost + failed + noDevices != outcome.boxes.size()) faults.push_back("wrong message");
  switch (trial.moment) {
    case Moment::MessageBox:
      if (noDevices != 1 || lost != 1 || failed != 0) faults.push_back("loss during a message box not reported once");
      break;
    case Moment::Rebuild:  // lost while streaming is reported as lost; lost while rebuilt, as failing to start
      if (lost + failed != 1) faults.push_back("loss during the rebuild not reported exactly once");
      break;
    default:
      if (lost != 1 || failed != 0 || noDevices != 0) faults.push_back("loss not reported exactly once");
  }
  if (outcome.objects != 0 || outcome.references != 0) faults.push_back("leak");
  return faults;
}

std::vector<Trial> SeededTrials() {
  std::mt19937 random(kSeed);
  std::uniform_int_distribution<DWORD> delay(0, 400), margin(200, 500);
  std::vector<Trial> trials;
  for (int moment = 0; moment < 6; ++moment) {
    for (int i = 0; i < kTrialsPerMoment; ++i) {
      Trial trial{static_cast<Moment>(moment), delay(random), 0, random() % 2 == 0};
      trial.holdMs = trial.lossDelayMs + margin(random);
      trials.push_back(trial);
    }
  }
  return trials;
}

}  // namespace

class DeviceLoss : public AppTest {};

TEST_F(DeviceLoss, AtSeededRandomMomentsIsReportedOnceAndReleasesEverything) {
  const std::vector<Trial> trials = SeededTrials();
  std::map<std::string, int> failures;
  for (size_t i = 0; i < trials.size(); ++i) {
    const Trial& trial = trials[i];
    char step[96];
    std::snprintf(step, sizeof(step), "trial %zu: %s, loss after %lu ms", i + 1,
                  kMomentNames[static_cast<int>(trial.moment)], trial.lossDelayMs);
    std::printf("  %s\n", step);
    std::fflush(stdout);
    watchdog::Step(step);
    const TrialOutcome outcome = RunTrial(trial);
    for (const std::string& fault : Judge(trial, outcome)) {
      ++failures[fault];
      ADD_FAILURE() << fault << " in trial " << i + 1 << " (" << kMomentNames[static_cast<int>(trial.moment)]
                    << ", loss after " << trial.lossDelayMs << " ms); boxes: " << testing::PrintToString(outcome.boxes);
    }
  }
  std::printf("device loss: seed %u, %zu trials, failures:", kSeed, trials.size());
  if (failures.empty()) std::printf(" none");
  for (const auto& [kind, count] : failures) std::printf(" %s %d;", kind.c_str(), count);
  std::printf("\n");
  EXPECT_GE(trials.size(), 100u);
}
