#include "tests/support/kit/simcam_devices.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdio>
#include <cwchar>
#include <utility>

#include "simcam/common/device_registry.h"

using Microsoft::WRL::ComPtr;

namespace testsupport {
namespace {

bool g_installed = false;
std::wstring g_dllBefore;

std::wstring KitDll() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring executable(path, length);
  return executable.substr(0, executable.find_last_of(L"\\/") + 1) + L"simcam.dll";
}

}  // namespace

bool InstallKit() {
  if (!g_installed) g_dllBefore = simcam::RegisteredFilterDll();
  const HRESULT hr = simcam::RegisterFilterClass(KitDll());
  static bool told = false;
  if (hr == E_ACCESSDENIED && !std::exchange(told, true))
    std::fputs("The tests register simulated capture devices for the whole machine: run them as administrator.\n",
               stderr);
  g_installed = g_installed || SUCCEEDED(hr);
  return SUCCEEDED(hr);
}

void RestoreKit() {
  if (!g_installed) return;
  const std::wstring ours = KitDll();
  if (g_dllBefore.empty())
    simcam::UnregisterFilterClass(ours);
  else if (_wcsicmp(g_dllBefore.c_str(), ours.c_str()) != 0)
    simcam::RegisterFilterClass(g_dllBefore);
}

simcam::DeviceProfile Device(const std::wstring& name, const std::wstring& settings) {
  simcam::DeviceProfile device = NamelessDevice(settings);
  device.hasName = true;
  device.name = name;
  return device;
}

simcam::DeviceProfile NamelessDevice(const std::wstring& settings) {
  simcam::DeviceProfile device;
  EXPECT_TRUE(simcam::ParseDevice(settings, &device)) << "a test's own profile does not parse";
  device.text = settings;
  return device;
}

HRESULT ReplaceDevices(const std::vector<simcam::DeviceProfile>& devices) {
  HRESULT hr = RemoveDevices();
  for (size_t i = 0; SUCCEEDED(hr) && i < devices.size(); ++i)
    hr = simcam::RegisterDevice(simcam::InstanceName(static_cast<unsigned>(i + 1), kTestInstancePrefix), devices[i]);
  return hr;
}

HRESULT RemoveDevices() { return simcam::UnregisterAllDevices(kTestInstancePrefix); }

unsigned DeviceNumber(IMoniker* moniker) {
  LPOLESTR displayName = nullptr;
  if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &displayName)) || displayName == nullptr) return 0;
  const std::wstring text = displayName;
  CoTaskMemFree(displayName);
  const auto found = text.rfind(kTestInstancePrefix);
  if (found == std::wstring::npos) return 0;
  return static_cast<unsigned>(std::wcstoul(text.c_str() + found + std::wcslen(kTestInstancePrefix), nullptr, 10));
}

}  // namespace testsupport
