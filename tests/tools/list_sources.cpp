// Prints the video capture sources as the source dialog offers them, one display name a line.
#include <objbase.h>
#include <windows.h>

#include <cstdio>

#include "devices/device_list.h"

int wmain() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 0;
  {
    DeviceList devices;
    const HRESULT hr = devices.Enumerate(CLSID_VideoInputDeviceCategory);
    if (FAILED(hr)) {
      std::fprintf(stderr, "device enumeration failed: 0x%08lx\n", static_cast<unsigned long>(hr));
      status = 1;
    }
    if (devices.empty()) std::printf("(no video capture source)\n");
    for (const auto& entry : devices) {
      const int length = WideCharToMultiByte(CP_UTF8, 0, entry.first.c_str(), -1, nullptr, 0, nullptr, nullptr);
      std::string name(static_cast<size_t>(length), '\0');
      WideCharToMultiByte(CP_UTF8, 0, entry.first.c_str(), -1, name.data(), length, nullptr, nullptr);
      std::printf("%s\n", name.c_str());
    }
  }
  CoUninitialize();
  return status;
}
