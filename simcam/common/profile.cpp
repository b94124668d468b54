#include "simcam/common/profile.h"

#include <cwchar>
#include <sstream>

namespace simcam {
namespace {

std::wstring Trim(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t\r");
  if (first == std::wstring::npos) return L"";
  const auto last = text.find_last_not_of(L" \t\r");
  return text.substr(first, last - first + 1);
}

bool ParseHresult(const std::wstring& text, HRESULT* result) {
  static const std::map<std::wstring, HRESULT> names = {
      {L"S_OK", S_OK},
      {L"S_FALSE", S_FALSE},
      {L"E_FAIL", E_FAIL},
      {L"E_OUTOFMEMORY", E_OUTOFMEMORY},
      {L"E_NOINTERFACE", E_NOINTERFACE},
      {L"E_POINTER", E_POINTER},
      {L"E_INVALIDARG", E_INVALIDARG},
      {L"E_NOTIMPL", E_NOTIMPL},
      {L"E_UNEXPECTED", E_UNEXPECTED},
      {L"VFW_E_NOT_CONNECTED", static_cast<HRESULT>(0x80040209L)},
      {L"VFW_E_ALREADY_CONNECTED", static_cast<HRESULT>(0x80040204L)},
      {L"VFW_E_INVALIDMEDIATYPE", static_cast<HRESULT>(0x80040200L)},
      {L"VFW_E_WRONG_STATE", static_cast<HRESULT>(0x80040227L)},
  };
  const auto named = names.find(text);
  if (named != names.end()) {
    *result = named->second;
    return true;
  }
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 0);
  if (text.empty() || end == nullptr || *end != L'\0') return false;
  *result = static_cast<HRESULT>(value);
  return true;
}

// "Method K RESULT"
bool ParseFault(const std::wstring& value, std::wstring* method, FaultSpec* fault) {
  std::wistringstream words(value);
  std::wstring callText, resultText, rest;
  if (!(words >> *method >> callText >> resultText) || (words >> rest)) return false;
  wchar_t* end = nullptr;
  const long call = std::wcstol(callText.c_str(), &end, 10);
  if (*end != L'\0' || call < 1) return false;
  fault->call = static_cast<int>(call);
  return ParseHresult(resultText, &fault->result);
}

// Applies one "key = value" setting; false with *error set when it is not understood.
bool ApplySetting(const std::wstring& key, const std::wstring& value, DeviceProfile* device, std::wstring* error) {
  if (key == L"name") {
    device->hasName = true;
    device->name = value;
  } else if (key == L"capture-pin") {
    if (value == L"category")
      device->capturePin = CapturePinKind::Category;
    else if (value == L"name")
      device->capturePin = CapturePinKind::NameOnly;
    else if (value == L"none")
      device->capturePin = CapturePinKind::None;
    else
      return *error = L"capture-pin must be category, name or none", false;
  } else if (key == L"fail") {
    std::wstring method;
    FaultSpec fault;
    if (!ParseFault(value, &method, &fault)) return *error = L"fail takes: Method call-number HRESULT", false;
    device->faults[method] = fault;
  } else {
    return *error = L"unknown key '" + key + L"'", false;
  }
  return true;
}

}  // namespace

ParseResult ParseProfiles(const std::wstring& text) {
  ParseResult parsed;
  std::wistringstream lines(text);
  std::wstring line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::wstring content = Trim(line);
    std::wstring error;
    if (content.empty() || content[0] == L'#') continue;
    if (content == L"[device]") {
      parsed.devices.emplace_back();
      continue;
    }
    const auto equals = content.find(L'=');
    if (parsed.devices.empty())
      error = L"settings before the first [device]";
    else if (equals == std::wstring::npos)
      error = L"expected key = value";
    else
      ApplySetting(Trim(content.substr(0, equals)), Trim(content.substr(equals + 1)), &parsed.devices.back(), &error);
    if (!error.empty()) {
      parsed.error = L"line " + std::to_wstring(number) + L": " + error;
      parsed.devices.clear();
      return parsed;
    }
    parsed.devices.back().text += content + L"\n";
  }
  return parsed;
}

DeviceProfile ParseDevice(const std::wstring& section) {
  ParseResult parsed = ParseProfiles(L"[device]\n" + section);
  if (parsed.devices.empty()) return DeviceProfile();
  return parsed.devices.front();
}

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return L"";
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return "";
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

}  // namespace simcam
