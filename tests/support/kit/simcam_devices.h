#pragma once

// Registers the kit's simulated devices for a test and removes them again.
#include <dshow.h>
#include <windows.h>

#include <string>
#include <vector>

#include "simcam/common/profile.h"

namespace testsupport {

// The tests' devices carry instance names of their own, so that they add and remove none of the
// devices a developer registered with the kit's tool.
inline constexpr wchar_t kTestInstancePrefix[] = L"SimCam Test ";

// The kit's DLL beside the test executable, registered as a COM class; false when it is missing or
// the registry refuses (the first refusal says why).
bool InstallKit();
// Registers the kit's class back to the DLL it named before the first InstallKit, or removes it.
void RestoreKit();

simcam::DeviceProfile Device(const std::wstring& name, const std::wstring& settings = L"");
simcam::DeviceProfile NamelessDevice(const std::wstring& settings = L"");

// Replaces every device the tests registered with these, enumerated in this order.
HRESULT ReplaceDevices(const std::vector<simcam::DeviceProfile>& devices);
HRESULT RemoveDevices();

// The 1-based registration position of the device behind a moniker, 0 when not the kit's.
unsigned DeviceNumber(IMoniker* moniker);

}  // namespace testsupport
