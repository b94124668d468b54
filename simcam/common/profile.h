#pragma once

#include <dshow.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "simcam/common/video_format.h"

namespace simcam {

enum class CapturePinKind { Category, NameOnly, None };
enum class PreviewPinKind { None, Category, VideoPort, NameOnly };
// Real pages, no ISpecifyPropertyPages, zero pages; or a driver's lies: a count of one with no
// array, one page whose class nobody can create.
enum class PagesKind { Pages, None, Zero, NullArray, Uncreatable };
// Where a slow or hung driver blocks: its move into paused (from stopped) or running, its stop, or
// its capture pin's Disconnect.
enum class BlockIn { None, Pause, Run, Stop, Disconnect };

// One crossbar pin: its PhysicalConnectorType, its related pin (-1: none) and, for an input fed
// by another crossbar, that crossbar's position in the profile and its output index.
struct CrossbarPinSpec {
  LONG type = 0;
  LONG related = -1;
  int fedBy = -1;
  std::wstring fedByName;  // as written in the profile; resolved into fedBy
  LONG fedByOutput = 0;
  bool routable = true;
};

struct CrossbarSpec {
  std::wstring name;
  std::vector<CrossbarPinSpec> inputs;
  std::vector<CrossbarPinSpec> outputs;
};

// How a driver's call can answer success and still break its contract: an out pointer left null;
// a count of 0, -1 or 2^31-1; a capability size smaller than its structure; a media type whose
// format block is too small for its format type, or missing; an enumerator that never ends, with
// no pin or always the same one, or whose Reset, Skip and Clone break their word; a connection to a pin that is not the
// peer; a pin that names a filter outside the graph; an index out of range.
enum class Lie {
  None,
  Null,
  Zero,
  Negative,
  Huge,
  SmallSize,
  FormatSize,
  NullFormat,
  Endless,
  EndlessSame,
  BrokenMoves,
  ForeignPin,
  ForeignFilter,
  OutOfRange
};

// The k-th call (1-based) of the named method fails with `result`; with `programOnly`, only calls
// made from the process's main executable are counted (not the platform's own calls).
struct FaultSpec {
  int call = 0;
  HRESULT result = S_OK;
  bool programOnly = false;
  Lie lie = Lie::None;  // instead of failing, the call answers S_OK and tells this lie
};

// One simulated device as the profile text describes it.
struct DeviceProfile {
  bool hasName = false;
  std::wstring name;
  bool numericName = false;  // the friendly name is stored as a number, as a broken driver's is
  CapturePinKind capturePin = CapturePinKind::Category;
  PreviewPinKind previewPin = PreviewPinKind::None;
  bool previewRenderable = true;
  bool streamConfig = true;
  bool fixedRate = false;            // streams each format at its own rate whatever a program asks
  std::vector<VideoFormat> formats;  // the capabilities, in order
  size_t defaultFormat = 0;
  // Capabilities offered after the formats that cannot be streamed: any size, however absurd.
  std::vector<SIZE> advertised;
  // crossbars[0] feeds the capture filter's analog video input from its output 0.
  std::vector<CrossbarSpec> crossbars;
  bool tuner = false;  // feeds the first Tuner input of the crossbars
  PagesKind filterPages = PagesKind::Pages;
  PagesKind formatPages = PagesKind::Pages;
  PagesKind tunerPages = PagesKind::Pages;
  LONG loseAfterFrames = 0;  // 0: never
  // After this many frames the device delivers no more and never returns from its stop; 0: never.
  LONG stallAfterFrames = 0;
  BlockIn blockIn = BlockIn::None;
  // How long the block lasts, the device's first time in a process (later ones are prompt, as a
  // tuner that has locked); 0: for ever.
  DWORD blockForMs = 0;
  // On the process's exit the DLL's detach waits for a hung call of this device, for ever.
  bool detachWaits = false;
  std::map<std::wstring, FaultSpec> faults;  // from `fail` and `lie` lines
  std::wstring text;                         // the device's own section, stored with its registration
};

struct ParseResult {
  std::vector<DeviceProfile> devices;
  std::wstring error;  // empty on success; otherwise "line N: ..."
};

// The methods a profile's `fail` and `lie` lines may name, in the order the README lists them.
inline constexpr const wchar_t* kFaultMethods[] = {L"Load",
                                                   L"EnumPins",
                                                   L"FindPin",
                                                   L"QueryPinInfo",
                                                   L"ConnectedTo",
                                                   L"PinQueryInterface",
                                                   L"GetPinCategory",
                                                   L"Run",
                                                   L"GetFormat",
                                                   L"SetFormat",
                                                   L"GetNumberOfCapabilities",
                                                   L"GetStreamCaps",
                                                   L"GetFilterPages",
                                                   L"GetFormatPages",
                                                   L"GetTunerPages",
                                                   L"QueryCrossbar",
                                                   L"get_PinCounts",
                                                   L"get_CrossbarPinInfo",
                                                   L"CanRoute",
                                                   L"Route"};

// Profile text: lines starting with '#' are comments; "[device]" starts a device; then "key = value" lines.
ParseResult ParseProfiles(const std::wstring& text);
// The lie named in a profile ("null", "zero", ...); false when there is no such lie.
bool ParseLie(const std::wstring& name, Lie* lie);

// PhysicalConnectorType of a connector name such as "Composite" or "AudioLine"; -1 if unknown.
LONG ConnectorType(const std::wstring& name);
// Audio connectors are numbered from the first audio type on.
inline bool IsAudioConnector(LONG type) { return type >= PhysConn_Audio_Tuner; }
// The default capabilities when a profile lists none.
std::vector<VideoFormat> DefaultFormats();

// The settings of one device section (as stored in the registry); false when it does not parse.
bool ParseDevice(const std::wstring& section, DeviceProfile* device);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace simcam
