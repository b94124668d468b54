// simcam: adds, lists and removes the kit's simulated video capture devices.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "simcam/common/device_registry.h"
#include "simcam/common/profile.h"

namespace {

const char kUsage[] =
    "usage: simcam add PROFILE-FILE   register the devices that the profile describes\n"
    "       simcam list               list the registered simulated devices\n"
    "       simcam remove INSTANCE    remove one device (as 'list' names it)\n"
    "       simcam remove --all       remove every simulated device\n"
    "       simcam install            register simcam.dll (beside this program) only\n"
    "       simcam uninstall          remove every device and unregister simcam.dll\n";

std::wstring DllPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"simcam.dll";
}

int Fail(const std::string& message, HRESULT hr) {
  std::fprintf(stderr, "simcam: %s (0x%08lx)\n", message.c_str(), static_cast<unsigned long>(hr));
  return 1;
}

bool ReadFile(const std::wstring& path, std::wstring* text) {
  std::ifstream file(simcam::WideToUtf8(path), std::ios::binary);
  if (!file) return false;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  *text = simcam::Utf8ToWide(bytes.str());
  return true;
}

unsigned NextFreeNumber() {
  unsigned next = 1;
  for (const auto& device : simcam::ListDevices()) {
    const unsigned number = static_cast<unsigned>(std::wcstoul(device.instance.c_str() + 7, nullptr, 10));
    if (number >= next) next = number + 1;
  }
  return next;
}

int Add(const std::wstring& path) {
  std::wstring text;
  if (!ReadFile(path, &text)) return Fail("cannot read " + simcam::WideToUtf8(path), E_FAIL);
  const simcam::ParseResult parsed = simcam::ParseProfiles(text);
  if (!parsed.error.empty()) return Fail(simcam::WideToUtf8(path + L": " + parsed.error), E_INVALIDARG);
  HRESULT hr = simcam::RegisterFilterClass(DllPath());
  if (FAILED(hr)) return Fail("cannot register simcam.dll", hr);
  unsigned number = NextFreeNumber();
  for (const auto& device : parsed.devices) {
    const std::wstring instance = simcam::InstanceName(number++);
    hr = simcam::RegisterDevice(instance, device);
    if (FAILED(hr)) return Fail("cannot register " + simcam::WideToUtf8(instance), hr);
    std::printf("added %s: %s\n", simcam::WideToUtf8(instance).c_str(), simcam::WideToUtf8(device.name).c_str());
  }
  return 0;
}

int List() {
  for (const auto& device : simcam::ListDevices()) {
    std::printf("%s\t%s\n", simcam::WideToUtf8(device.instance).c_str(),
                device.hasName ? simcam::WideToUtf8(device.name).c_str() : "(no name)");
  }
  return 0;
}

int Remove(const std::wstring& what) {
  const HRESULT hr = what == L"--all" ? simcam::UnregisterAllDevices() : simcam::UnregisterDevice(what);
  return FAILED(hr) ? Fail("cannot remove " + simcam::WideToUtf8(what), hr) : 0;
}

int Run(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"add" && argc == 3) return Add(argv[2]);
  if (command == L"list" && argc == 2) return List();
  if (command == L"remove" && argc == 3) return Remove(argv[2]);
  if (command == L"install" && argc == 2) {
    const HRESULT hr = simcam::RegisterFilterClass(DllPath());
    return FAILED(hr) ? Fail("cannot register simcam.dll", hr) : 0;
  }
  if (command == L"uninstall" && argc == 2) {
    const HRESULT removed = simcam::UnregisterAllDevices();
    const HRESULT hr = simcam::UnregisterFilterClass(DllPath());
    return FAILED(removed) || FAILED(hr) ? Fail("cannot uninstall", FAILED(hr) ? hr : removed) : 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("cannot initialise COM", E_FAIL);
  const int status = Run(argc, argv);
  CoUninitialize();
  return status;
}
