#include "simcam/common/profile.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
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
      {L"E_ACCESSDENIED", E_ACCESSDENIED},
      {L"E_ABORT", E_ABORT},
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
// "Method K RESULT [program]" for a failure; "Method K KIND [program]" for a lie.
bool ParseFault(const std::wstring& value, bool lie, std::wstring* method, FaultSpec* fault) {
  std::wistringstream words(value);
  std::wstring callText, resultText, caller, rest;
  if (!(words >> *method >> callText >> resultText)) return false;
  if (std::find(std::begin(kFaultMethods), std::end(kFaultMethods), *method) == std::end(kFaultMethods)) return false;
  if (words >> caller) {
    if (caller != L"program" || (words >> rest)) return false;
    fault->programOnly = true;
  }
  wchar_t* end = nullptr;
  const long call = std::wcstol(callText.c_str(), &end, 10);
  if (*end != L'\0' || call < 1) return false;
  fault->call = static_cast<int>(call);
  return lie ? ParseLie(resultText, &fault->lie) : ParseHresult(resultText, &fault->result);
}

bool ParsePages(const std::wstring& value, PagesKind* pages) {
  if (value == L"yes")
    *pages = PagesKind::Pages;
  else if (value == L"none")
    *pages = PagesKind::None;
  else if (value == L"zero")
    *pages = PagesKind::Zero;
  else if (value == L"null-array")
    *pages = PagesKind::NullArray;
  else if (value == L"uncreatable")
    *pages = PagesKind::Uncreatable;
  else
    return false;
  return true;
}

bool ParseYesNo(const std::wstring& value, bool* flag) {
  if (value != L"yes" && value != L"no") return false;
  *flag = value == L"yes";
  return true;
}

// "run" (for ever) or "run 5000" (for 5 s, the first time).
bool ParseBlock(const std::wstring& value, DeviceProfile* device) {
  static const std::pair<const wchar_t*, BlockIn> kPlaces[] = {{L"pause", BlockIn::Pause},
                                                               {L"run", BlockIn::Run},
                                                               {L"stop", BlockIn::Stop},
                                                               {L"disconnect", BlockIn::Disconnect}};
  std::wistringstream words(value);
  std::wstring place, extra;
  long milliseconds = 0;
  words >> place;
  if (!words.eof() && (!(words >> milliseconds) || milliseconds <= 0 || (words >> extra))) return false;
  for (const auto& known : kPlaces) {
    if (place != known.first) continue;
    device->blockIn = known.second;
    device->blockForMs = static_cast<DWORD>(milliseconds);
    return true;
  }
  return false;
}

// "Composite", "Tuner~3" (related pin 3), "Composite<Extra.0" (fed by output 0 of crossbar Extra).
bool ParseCrossbarPin(const std::wstring& token, CrossbarPinSpec* pin) {
  std::wstring rest = token;
  const auto feed = rest.find(L'<');
  if (feed != std::wstring::npos) {
    const std::wstring source = rest.substr(feed + 1);
    rest = rest.substr(0, feed);
    const auto dot = source.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    pin->fedByName = source.substr(0, dot);
    wchar_t* end = nullptr;
    pin->fedByOutput = std::wcstol(source.c_str() + dot + 1, &end, 10);
    if (*end != L'\0' || pin->fedByOutput < 0) return false;
  }
  const auto related = rest.find(L'~');
  if (related != std::wstring::npos) {
    wchar_t* end = nullptr;
    pin->related = std::wcstol(rest.c_str() + related + 1, &end, 10);
    if (*end != L'\0') return false;
    rest = rest.substr(0, related);
  }
  pin->type = ConnectorType(rest);
  return pin->type >= 0;
}

// "Main: Tuner~3 Composite AudioTuner~0 -> VideoDecoder~1 AudioDecoder~0"
bool ParseCrossbar(const std::wstring& value, CrossbarSpec* crossbar) {
  const auto colon = value.find(L':');
  const auto arrow = value.find(L"->");
  if (colon == std::wstring::npos || arrow == std::wstring::npos || arrow < colon) return false;
  crossbar->name = Trim(value.substr(0, colon));
  std::wistringstream inputs(value.substr(colon + 1, arrow - colon - 1)), outputs(value.substr(arrow + 2));
  std::wstring token;
  while (inputs >> token) {
    crossbar->inputs.emplace_back();
    if (!ParseCrossbarPin(token, &crossbar->inputs.back())) return false;
  }
  while (outputs >> token) {
    crossbar->outputs.emplace_back();
    if (!ParseCrossbarPin(token, &crossbar->outputs.back()) || !crossbar->outputs.back().fedByName.empty())
      return false;
  }
  return !crossbar->name.empty() && !crossbar->inputs.empty() && !crossbar->outputs.empty();
}

bool RefuseRoute(const std::wstring& value, DeviceProfile* device) {
  std::wistringstream words(value);
  std::wstring name;
  long input = -1;
  if (!(words >> name >> input)) return false;
  for (CrossbarSpec& crossbar : device->crossbars) {
    if (crossbar.name == name && input >= 0 && static_cast<size_t>(input) < crossbar.inputs.size()) {
      crossbar.inputs[static_cast<size_t>(input)].routable = false;
      return true;
    }
  }
  return false;
}

// Turns crossbar names of fed inputs into positions; false when one names no crossbar.
bool ResolveCrossbarFeeds(DeviceProfile* device, std::wstring* error) {
  for (CrossbarSpec& crossbar : device->crossbars) {
    for (CrossbarPinSpec& input : crossbar.inputs) {
      if (input.fedByName.empty()) continue;
      input.fedBy = -1;
      for (size_t i = 0; i < device->crossbars.size(); ++i)
        if (device->crossbars[i].name == input.fedByName) input.fedBy = static_cast<int>(i);
      if (input.fedBy < 0 ||
          static_cast<size_t>(input.fedByOutput) >= device->crossbars[static_cast<size_t>(input.fedBy)].outputs.size())
        return *error = L"crossbar input fed by unknown crossbar output " + input.fedByName, false;
    }
  }
  return true;
}

// Applies one "key = value" setting; false with *error set when it is not understood.
bool ApplySetting(const std::wstring& key, const std::wstring& value, DeviceProfile* device, std::wstring* error) {
  if (key == L"name") {
    device->hasName = true;
    device->name = value;
    // "\0" stands for a NUL inside the name, as a broken driver's registration can hold one.
    for (size_t at = device->name.find(L"\\0"); at != std::wstring::npos; at = device->name.find(L"\\0", at + 1))
      device->name.replace(at, 2, 1, L'\0');
  } else if (key == L"name-type") {
    if (value != L"text" && value != L"number") return *error = L"name-type must be text or number", false;
    device->numericName = value == L"number";
  } else if (key == L"capture-pin") {
    if (value == L"category")
      device->capturePin = CapturePinKind::Category;
    else if (value == L"name")
      device->capturePin = CapturePinKind::NameOnly;
    else if (value == L"none")
      device->capturePin = CapturePinKind::None;
    else
      return *error = L"capture-pin must be category, name or none", false;
  } else if (key == L"preview-pin") {
    if (value == L"none")
      device->previewPin = PreviewPinKind::None;
    else if (value == L"category")
      device->previewPin = PreviewPinKind::Category;
    else if (value == L"videoport")
      device->previewPin = PreviewPinKind::VideoPort;
    else if (value == L"name")
      device->previewPin = PreviewPinKind::NameOnly;
    else
      return *error = L"preview-pin must be none, category, videoport or name", false;
  } else if (key == L"preview-renderable") {
    if (!ParseYesNo(value, &device->previewRenderable)) return *error = L"preview-renderable must be yes or no", false;
  } else if (key == L"stream-config") {
    if (!ParseYesNo(value, &device->streamConfig)) return *error = L"stream-config must be yes or no", false;
  } else if (key == L"format") {
    VideoFormat format;
    if (!ParseVideoFormat(value, &format)) return *error = L"format takes: RGB24|RGB32|YUY2|MJPG WxH FPS [vih2]", false;
    device->formats.push_back(format);
  } else if (key == L"fixed-rate") {
    if (value != L"yes" && value != L"no") return *error = L"fixed-rate takes: yes|no", false;
    device->fixedRate = value == L"yes";
  } else if (key == L"advertise") {
    SIZE size{};
    if (!ParseSize(value, &size)) return *error = L"advertise takes: WxH (any integers)", false;
    device->advertised.push_back(size);
  } else if (key == L"default-format") {
    wchar_t* end = nullptr;
    const long index = std::wcstol(value.c_str(), &end, 10);
    if (*end != L'\0' || index < 1) return *error = L"default-format takes a format number from 1", false;
    device->defaultFormat = static_cast<size_t>(index - 1);
  } else if (key == L"crossbar") {
    device->crossbars.emplace_back();
    if (!ParseCrossbar(value, &device->crossbars.back()))
      return *error = L"crossbar takes: NAME: INPUT... -> OUTPUT... (connector[~related][<CROSSBAR.output])", false;
  } else if (key == L"refuse-route") {
    if (!RefuseRoute(value, device)) return *error = L"refuse-route takes: CROSSBAR INPUT-INDEX", false;
  } else if (key == L"tuner") {
    if (!ParseYesNo(value, &device->tuner)) return *error = L"tuner must be yes or no", false;
  } else if (key == L"filter-pages" || key == L"format-pages" || key == L"tuner-pages") {
    PagesKind* pages = key == L"filter-pages"   ? &device->filterPages
                       : key == L"format-pages" ? &device->formatPages
                                                : &device->tunerPages;
    if (!ParsePages(value, pages)) return *error = key + L" must be yes, none, zero, null-array or uncreatable", false;
  } else if (key == L"lose-after" || key == L"stall-after") {
    LONG* frames = key == L"lose-after" ? &device->loseAfterFrames : &device->stallAfterFrames;
    wchar_t* end = nullptr;
    *frames = std::wcstol(value.c_str(), &end, 10);
    if (*end != L'\0' || *frames < 0) return *error = key + L" takes a frame count", false;
  } else if (key == L"block-in") {
    if (!ParseBlock(value, device)) return *error = L"block-in takes: pause|run|stop|disconnect [MILLISECONDS]", false;
  } else if (key == L"detach-waits") {
    if (!ParseYesNo(value, &device->detachWaits)) return *error = L"detach-waits must be yes or no", false;
  } else if (key == L"fail" || key == L"lie") {
    std::wstring method;
    FaultSpec fault;
    if (!ParseFault(value, key == L"lie", &method, &fault))
      return *error = key == L"lie" ? L"lie takes: Method call-number KIND [program]"
                                    : L"fail takes: Method call-number HRESULT [program]",
             false;
    device->faults[method] = fault;
  } else {
    return *error = L"unknown key '" + key + L"'", false;
  }
  return true;
}

}  // namespace

bool ParseLie(const std::wstring& name, Lie* lie) {
  static const std::pair<const wchar_t*, Lie> kLies[] = {{L"null", Lie::Null},
                                                         {L"zero", Lie::Zero},
                                                         {L"negative", Lie::Negative},
                                                         {L"huge", Lie::Huge},
                                                         {L"small-size", Lie::SmallSize},
                                                         {L"format-size", Lie::FormatSize},
                                                         {L"null-format", Lie::NullFormat},
                                                         {L"endless", Lie::Endless},
                                                         {L"endless-same", Lie::EndlessSame},
                                                         {L"broken-moves", Lie::BrokenMoves},
                                                         {L"foreign-pin", Lie::ForeignPin},
                                                         {L"foreign-filter", Lie::ForeignFilter},
                                                         {L"out-of-range", Lie::OutOfRange}};
  for (const auto& [text, kind] : kLies)
    if (name == text) return *lie = kind, true;
  return false;
}

ParseResult ParseProfiles(const std::wstring& text) {
  ParseResult parsed;
  std::wistringstream lines(text);
  std::wstring line;
  const auto finishDevice = [&parsed]() {
    if (parsed.devices.empty() || !parsed.error.empty()) return;
    DeviceProfile& device = parsed.devices.back();
    if (device.formats.empty()) device.formats = DefaultFormats();
    if (device.defaultFormat >= device.formats.size()) parsed.error = L"default-format is beyond the formats";
    std::wstring error;
    if (!ResolveCrossbarFeeds(&device, &error)) parsed.error = error;
  };
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::wstring content = Trim(line);
    std::wstring error;
    if (content.empty() || content[0] == L'#') continue;
    if (content == L"[device]") {
      finishDevice();
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
  finishDevice();
  if (!parsed.error.empty()) parsed.devices.clear();
  return parsed;
}

LONG ConnectorType(const std::wstring& name) {
  static const std::map<std::wstring, LONG> types = {
      {L"Tuner", PhysConn_Video_Tuner},
      {L"Composite", PhysConn_Video_Composite},
      {L"SVideo", PhysConn_Video_SVideo},
      {L"RGB", PhysConn_Video_RGB},
      {L"YRYBY", PhysConn_Video_YRYBY},
      {L"SerialDigital", PhysConn_Video_SerialDigital},
      {L"ParallelDigital", PhysConn_Video_ParallelDigital},
      {L"SCSI", PhysConn_Video_SCSI},
      {L"AUX", PhysConn_Video_AUX},
      {L"1394", PhysConn_Video_1394},
      {L"USB", PhysConn_Video_USB},
      {L"VideoDecoder", PhysConn_Video_VideoDecoder},
      {L"VideoEncoder", PhysConn_Video_VideoEncoder},
      {L"AudioTuner", PhysConn_Audio_Tuner},
      {L"AudioLine", PhysConn_Audio_Line},
      {L"AudioMic", PhysConn_Audio_Mic},
      {L"AudioAESDigital", PhysConn_Audio_AESDigital},
      {L"AudioSPDIFDigital", PhysConn_Audio_SPDIFDigital},
      {L"AudioSCSI", PhysConn_Audio_SCSI},
      {L"AudioAUX", PhysConn_Audio_AUX},
      {L"Audio1394", PhysConn_Audio_1394},
      {L"AudioUSB", PhysConn_Audio_USB},
      {L"AudioDecoder", PhysConn_Audio_AudioDecoder},
  };
  const auto found = types.find(name);
  if (found != types.end()) return found->second;
  wchar_t* end = nullptr;
  const long value = std::wcstol(name.c_str(), &end, 0);
  return !name.empty() && *end == L'\0' && value >= 0 ? value : -1;
}

std::vector<VideoFormat> DefaultFormats() {
  return {{PixelFormat::RGB24, 640, 480, 30.0, false},
          {PixelFormat::RGB24, 320, 240, 30.0, false},
          {PixelFormat::RGB32, 640, 480, 30.0, false},
          {PixelFormat::YUY2, 640, 480, 30.0, false}};
}

bool ParseDevice(const std::wstring& section, DeviceProfile* device) {
  ParseResult parsed = ParseProfiles(L"[device]\n" + section);
  if (parsed.devices.empty()) return false;
  *device = parsed.devices.front();
  return true;
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
