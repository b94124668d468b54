#include "simcam/common/device_registry.h"

#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <cwchar>

#include "base/scoped.h"

using Microsoft::WRL::ComPtr;

namespace simcam {
namespace {

std::wstring CategoryInstancesKey() {
  wchar_t category[64];
  StringFromGUID2(CLSID_VideoInputDeviceCategory, category, 64);
  return std::wstring(L"CLSID\\") + category + L"\\Instance";
}

LSTATUS OpenClassesKey(const std::wstring& path, REGSAM access, scoped::RegistryKey* key) {
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, access, key->put());
}

bool ReadString(HKEY key, const wchar_t* value, std::wstring* text) {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) return false;
  std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
    return false;
  buffer.resize(bytes / sizeof(wchar_t));
  while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  *text = buffer;
  return true;
}

HRESULT CallDllEntry(const std::wstring& dllPath, const char* entry) {
  HMODULE module = LoadLibraryW(dllPath.c_str());
  if (module == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  using Entry = HRESULT(STDAPICALLTYPE*)();
  const auto function = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
  const HRESULT hr = function != nullptr ? function() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeLibrary(module);
  return hr;
}

ComPtr<IFilterMapper2> CreateMapper(HRESULT* hr) {
  ComPtr<IFilterMapper2> mapper;
  *hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
  return mapper;
}

}  // namespace

HRESULT RegisterFilterClass(const std::wstring& dllPath) { return CallDllEntry(dllPath, "DllRegisterServer"); }

HRESULT UnregisterFilterClass(const std::wstring& dllPath) { return CallDllEntry(dllPath, "DllUnregisterServer"); }

std::wstring RegisteredFilterDll() {
  wchar_t clsid[64];
  StringFromGUID2(kFilterClsid, clsid, 64);
  scoped::RegistryKey server;
  std::wstring dll;
  if (OpenClassesKey(std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32", KEY_READ, &server) == ERROR_SUCCESS)
    ReadString(server.get(), nullptr, &dll);
  return dll;
}

std::wstring InstanceName(unsigned number, const std::wstring& prefix) {
  std::wstring digits = std::to_wstring(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), L'0');
  return prefix + digits;
}

HRESULT RegisterDevice(const std::wstring& instance, const DeviceProfile& device) {
  HRESULT hr = S_OK;
  ComPtr<IFilterMapper2> mapper = CreateMapper(&hr);
  if (FAILED(hr)) return hr;
  REGFILTER2 filter{};
  filter.dwVersion = 1;
  filter.dwMerit = MERIT_DO_NOT_USE;
  hr = mapper->RegisterFilter(kFilterClsid, device.hasName ? device.name.c_str() : L"", nullptr,
                              &CLSID_VideoInputDeviceCategory, instance.c_str(), &filter);
  if (FAILED(hr)) return hr;
  scoped::RegistryKey key;
  const LSTATUS opened = OpenClassesKey(CategoryInstancesKey() + L"\\" + instance, KEY_SET_VALUE, &key);
  if (opened != ERROR_SUCCESS) return HRESULT_FROM_WIN32(opened);
  // The friendly name is written here rather than trusted to the mapper, so that empty and absent
  // names reach the enumerator exactly as the profile says.
  const DWORD number = 1234;
  LSTATUS written = !device.hasName      ? RegDeleteValueW(key.get(), L"FriendlyName")
                    : device.numericName ? RegSetValueExW(key.get(), L"FriendlyName", 0, REG_DWORD,
                                                          reinterpret_cast<const BYTE*>(&number), sizeof(number))
                                         : WriteRegistryString(key.get(), L"FriendlyName", device.name);
  if (written == ERROR_FILE_NOT_FOUND) written = ERROR_SUCCESS;
  if (written == ERROR_SUCCESS) written = WriteRegistryString(key.get(), kProfileValue, device.text);
  return HRESULT_FROM_WIN32(written);
}

HRESULT UnregisterDevice(const std::wstring& instance) {
  HRESULT hr = S_OK;
  ComPtr<IFilterMapper2> mapper = CreateMapper(&hr);
  if (FAILED(hr)) return hr;
  return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, instance.c_str(), kFilterClsid);
}

std::vector<RegisteredDevice> ListDevices(const std::wstring& prefix) {
  std::vector<RegisteredDevice> devices;
  scoped::RegistryKey instances;
  if (OpenClassesKey(CategoryInstancesKey(), KEY_READ, &instances) != ERROR_SUCCESS) return devices;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (RegEnumKeyExW(instances.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    if (std::wcsncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
    scoped::RegistryKey device;
    std::wstring profile;
    if (OpenClassesKey(CategoryInstancesKey() + L"\\" + name, KEY_READ, &device) != ERROR_SUCCESS) continue;
    if (!ReadString(device.get(), kProfileValue, &profile)) continue;
    RegisteredDevice entry;
    entry.instance = name;
    entry.hasName = ReadString(device.get(), L"FriendlyName", &entry.name);
    devices.push_back(entry);
  }
  std::sort(devices.begin(), devices.end(), [](const RegisteredDevice& a, const RegisteredDevice& b) {
    return _wcsicmp(a.instance.c_str(), b.instance.c_str()) < 0;
  });
  return devices;
}

HRESULT UnregisterAllDevices(const std::wstring& prefix) {
  HRESULT result = S_OK;
  for (const RegisteredDevice& device : ListDevices(prefix)) {
    const HRESULT hr = UnregisterDevice(device.instance);
    if (FAILED(hr)) result = hr;
  }
  return result;
}

LSTATUS WriteRegistryString(HKEY key, const wchar_t* value, const std::wstring& text) {
  return RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace simcam
