#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <map>
#include <string>

// Exact UTF-16 code-unit order, shorter prefix first; no locale, no case folding.
struct CodeUnitLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// The capture sources present when the list was filled, each under a display name that names
// exactly one device.
class DeviceList {
 public:
  using Entries = std::multimap<std::wstring, Microsoft::WRL::ComPtr<IMoniker>, CodeUnitLess>;

  DeviceList() = default;
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  virtual ~DeviceList() = default;

  [[nodiscard]] HRESULT Enumerate(GUID category);

  Entries::const_iterator begin() const { return entries.begin(); }
  Entries::const_iterator end() const { return entries.end(); }
  bool empty() const { return entries.empty(); }
  size_t size() const { return entries.size(); }
  // The first entry in key order whose name equals `name` exactly, or null.
  IMoniker* Find(const std::wstring& name) const;

 private:
  [[nodiscard]] HRESULT AddDevices(IEnumMoniker* monikers);
  [[nodiscard]] HRESULT MakeNamesUnique();

  Entries entries;
};
