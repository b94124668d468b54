#include "tests/support/simcam_devices.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cwchar>

#include "simcam/common/device_registry.h"

using Microsoft::WRL::ComPtr;

namespace simcamtest {

bool InstallKit() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll(path, length);
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"simcam.dll";
  return SUCCEEDED(simcam::RegisterFilterClass(dll));
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
    hr = simcam::RegisterDevice(simcam::InstanceName(static_cast<unsigned>(i + 1)), devices[i]);
  return hr;
}

HRESULT RemoveDevices() { return simcam::UnregisterAllDevices(); }

unsigned DeviceNumber(IMoniker* moniker) {
  LPOLESTR displayName = nullptr;
  if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &displayName)) || displayName == nullptr) return 0;
  const std::wstring text = displayName;
  CoTaskMemFree(displayName);
  const auto found = text.rfind(simcam::kInstancePrefix);
  if (found == std::wstring::npos) return 0;
  return static_cast<unsigned>(std::wcstoul(text.c_str() + found + std::wcslen(simcam::kInstancePrefix), nullptr, 10));
}

}  // namespace simcamtest
