#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "simcam/common/profile.h"

namespace simcam {

// {31B0C468-035B-4CBE-938F-9741B71E7690}
inline constexpr CLSID kFilterClsid = {0x31b0c468, 0x035b, 0x4cbe, {0x93, 0x8f, 0x97, 0x41, 0xb7, 0x1e, 0x76, 0x90}};
inline constexpr wchar_t kProfileValue[] = L"SimCamProfile";
inline constexpr wchar_t kInstancePrefix[] = L"SimCam ";

struct RegisteredDevice {
  std::wstring instance;
  bool hasName = false;
  std::wstring name;
};

// Registers the filter class of the kit's DLL at `dllPath` (through its DllRegisterServer).
HRESULT RegisterFilterClass(const std::wstring& dllPath);
HRESULT UnregisterFilterClass(const std::wstring& dllPath);
// The DLL the filter class is registered to, empty when it is not registered.
std::wstring RegisteredFilterDll();

// A video input device served by the kit, under the instance name `instance`.
HRESULT RegisterDevice(const std::wstring& instance, const DeviceProfile& device);
HRESULT UnregisterDevice(const std::wstring& instance);
// The kit's devices whose instance name starts with `prefix`, in the order the system device
// enumerator lists them.
std::vector<RegisteredDevice> ListDevices(const std::wstring& prefix = L"");
HRESULT UnregisterAllDevices(const std::wstring& prefix = L"");
// Writes `text` as a REG_SZ value, its terminating NUL included (and any NUL inside it kept).
LSTATUS WriteRegistryString(HKEY key, const wchar_t* value, const std::wstring& text);
// "SimCam 0007" for 7: instance names sort in registration order.
std::wstring InstanceName(unsigned number, const std::wstring& prefix = kInstancePrefix);

}  // namespace simcam
