#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace simcam {

enum class CapturePinKind { Category, NameOnly, None };

// The k-th call (1-based) of the named method fails with `result`.
struct FaultSpec {
  int call = 0;
  HRESULT result = S_OK;
};

// One simulated device as the profile text describes it.
struct DeviceProfile {
  bool hasName = false;
  std::wstring name;
  CapturePinKind capturePin = CapturePinKind::Category;
  std::map<std::wstring, FaultSpec> faults;
  std::wstring text;  // the device's own section, stored with its registration
};

struct ParseResult {
  std::vector<DeviceProfile> devices;
  std::wstring error;  // empty on success; otherwise "line N: ..."
};

// Profile text: lines starting with '#' are comments; "[device]" starts a device; then "key = value" lines.
ParseResult ParseProfiles(const std::wstring& text);
// The settings of one device section (as stored in the registry).
DeviceProfile ParseDevice(const std::wstring& section);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace simcam
