#include "controls/capture_format.h"

#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "base/handed_back.h"
#include "base/scoped.h"
#include "capture/capture_device.h"
#include "capture/pin_lookup.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr double kUnitsPerSecond = 10000000.0;
constexpr DWORD kVideoInfoHead = 48;  // VIDEOINFOHEADER without its bmiHeader
constexpr DWORD kBitmapHeaderSize = 40;

[[nodiscard]] bool IsRgbFamily(const GUID& subtype) {
  return std::memcmp(&subtype.Data2, &MEDIASUBTYPE_RGB24.Data2, 12) == 0;
}

DWORD ColourTableEntries(WORD bitDepth) {
  switch (bitDepth) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

constexpr long long kMaxImageSize = 0xffffffffLL;  // what a 32-bit size field holds

// The bytes of an image whose rows are padded to 32 bits, as its bitmap header states them; any
// size a 32-bit field cannot hold is kMaxImageSize + 1, as the product itself could wrap to 0.
long long PaddedImageSize(LONG width, WORD bitDepth, LONG height) {
  const long long stride = std::llabs(((static_cast<long long>(width) * bitDepth + 31) / 8) & ~3LL);
  const long long rows = std::llabs(static_cast<long long>(height));
  if (stride != 0 && rows > kMaxImageSize / stride) return kMaxImageSize + 1;
  return stride * rows;
}

// A size a picture can have: a claimed size of zero, a negative one or one whose RGB24 image
// exceeds 32 bits would otherwise win the search and leave the device unset.
[[nodiscard]] bool Streamable(SIZE size) {
  return size.cx > 0 && size.cy > 0 && PaddedImageSize(size.cx, 24, size.cy) <= kMaxImageSize;
}

}  // namespace

HRESULT BuildBitmapHeader(const GUID& subtype, WORD bitDepth, LONG width, LONG height, std::unique_ptr<BYTE[]>* block,
                          DWORD* size) {
  if (block == nullptr || size == nullptr) return E_POINTER;
  block->reset();
  *size = 0;
  const bool rgb = IsRgbFamily(subtype);
  const DWORD blockSize = rgb ? kBitmapHeaderSize + 4 * ColourTableEntries(bitDepth) : kBitmapHeaderSize + 4;
  // The image size must fit its 32-bit field; a driver's absurd size is refused, not wrapped.
  const long long image = PaddedImageSize(width, bitDepth, height);
  if (image > kMaxImageSize) return E_INVALIDARG;
  block->reset(new (std::nothrow) BYTE[blockSize]());
  if (*block == nullptr) return E_OUTOFMEMORY;
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block->get());
  header->biSize = kBitmapHeaderSize;
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = bitDepth;
  header->biCompression = rgb ? BI_RGB : subtype.Data1;
  header->biSizeImage = width == 0 || height == 0 || bitDepth == 0 ? 0 : static_cast<DWORD>(image);
  *size = blockSize;
  return S_OK;
}

HRESULT CreateVideoType(AM_MEDIA_TYPE** type, const GUID& subtype, WORD bitDepth, LONG width, LONG height,
                        double frameRate) {
  if (type == nullptr) return E_POINTER;
  if (width <= 0 || height <= 0 || !(frameRate > 0.0)) return E_INVALIDARG;
  *type = nullptr;
  scoped::TaskMemory<AM_MEDIA_TYPE> created(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
  if (!created) return E_OUTOFMEMORY;
  std::memset(created.get(), 0, sizeof(AM_MEDIA_TYPE));
  created->majortype = MEDIATYPE_Video;
  created->subtype = subtype;
  created->bFixedSizeSamples = TRUE;
  created->bTemporalCompression = FALSE;
  created->formattype = FORMAT_VideoInfo;

  std::unique_ptr<BYTE[]> header;
  DWORD headerSize = 0;
  const HRESULT hr = BuildBitmapHeader(subtype, bitDepth, width, height, &header, &headerSize);
  if (FAILED(hr)) return hr;
  scoped::TaskMemory<BYTE> block(static_cast<BYTE*>(CoTaskMemAlloc(kVideoInfoHead + headerSize)));
  if (!block) return E_OUTOFMEMORY;
  std::memset(block.get(), 0, kVideoInfoHead + headerSize);
  std::memcpy(block.get() + kVideoInfoHead, header.get(), headerSize);
  created->cbFormat = kVideoInfoHead + headerSize;
  created->pbFormat = block.release();

  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(created->pbFormat);
  info->AvgTimePerFrame = static_cast<REFERENCE_TIME>(std::floor(kUnitsPerSecond / frameRate));
  created->lSampleSize = info->bmiHeader.biSizeImage;
  // A large picture at a high rate exceeds the 32-bit field: it is stated as the most it holds.
  const double bitRate = std::floor(static_cast<double>(created->lSampleSize) * frameRate * 8.0);
  info->dwBitRate = bitRate < 4294967295.0 ? static_cast<DWORD>(bitRate) : 0xffffffffu;
  *type = created.release();
  return S_OK;
}

HRESULT BuildVideoType(MediaType* type, const GUID& subtype, LONG width, LONG height, int bitDepth, double frameRate) {
  AM_MEDIA_TYPE* created = nullptr;
  const HRESULT hr = CreateVideoType(&created, subtype, static_cast<WORD>(bitDepth), width, height, frameRate);
  if (FAILED(hr)) return hr;
  FreeMediaType(type);
  type->Reinitialize();
  const HRESULT copied = CopyMediaType(type, created) == S_OK ? S_OK : E_OUTOFMEMORY;
  DeleteMediaType(created);
  return copied;
}

HRESULT CaptureDevice::Open(const std::wstring& displayName, const ComPtr<IMoniker>& device) {
  if (device == nullptr) return E_POINTER;
  TearDown();
  // A device whose graph could not be made, or whose teardown stalled, can hold no filter.
  if (graph == nullptr) return E_UNEXPECTED;
  name.clear();
  moniker.Reset();
  // The earlier device's filter leaves the graph too, or that device would stay open.
  if (captureFilter != nullptr) graph->RemoveFilter(captureFilter.Get());
  captureFilter.Reset();
  capturePin.Reset();
  name = displayName;
  moniker = device;
  scoped::ScopeExit forgetDevice([this] {
    name.clear();
    moniker.Reset();
    captureFilter.Reset();
    capturePin.Reset();
  });

  HRESULT hr = HandedBack(device->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&captureFilter)), captureFilter);
  if (FAILED(hr)) return hr;
  hr = FindCapturePin(captureFilter.Get(), &capturePin);
  if (FAILED(hr)) return hr;
  // Bound and with its pin, the device stays this object's source even when it cannot join.
  forgetDevice.Dismiss();
  ComPtr<IPin> connected;
  if (capturePin->ConnectedTo(&connected) != VFW_E_NOT_CONNECTED) return E_FAIL;
  hr = graph->AddFilter(captureFilter.Get(), name.c_str());
  if (FAILED(hr)) return hr;
  ChooseInitialFormat();
  return hr;
}

// The largest RGB24 capability the pin offers, at the program's frame rate.
void CaptureDevice::ChooseInitialFormat() {
  ComPtr<IAMStreamConfig> config;
  if (FAILED(capturePin.As(&config)) || config == nullptr) return;
  SIZE best = {0, 0};
  int count = 0, size = 0;
  if (SUCCEEDED(config->GetNumberOfCapabilities(&count, &size)) && count > 0 && size > 0) {
    // Never smaller than the structure read from it, whatever size the driver reports.
    std::vector<BYTE> buffer;
    try {
      buffer.assign(std::max<size_t>(static_cast<size_t>(size), sizeof(VIDEO_STREAM_CONFIG_CAPS)), 0);
    } catch (const std::bad_alloc&) {
      buffer.clear();
    }
    for (int index = 0; !buffer.empty() && index < count; ++index) {
      AM_MEDIA_TYPE* type = nullptr;
      if (config->GetStreamCaps(index, &type, buffer.data()) != S_OK) {
        DeleteMediaType(type);
        break;
      }
      if (type != nullptr && type->majortype == MEDIATYPE_Video && type->subtype == MEDIASUBTYPE_RGB24) {
        VIDEO_STREAM_CONFIG_CAPS caps;
        std::memcpy(&caps, buffer.data(), sizeof(caps));
        const long long area = static_cast<long long>(caps.MaxOutputSize.cx) * caps.MaxOutputSize.cy;
        if (Streamable(caps.MaxOutputSize) && area > static_cast<long long>(best.cx) * best.cy)
          best = caps.MaxOutputSize;
      }
      DeleteMediaType(type);
    }
  }
  if (static_cast<long long>(best.cx) * best.cy <= 0) return;
  MediaType type;
  if (SUCCEEDED(BuildVideoType(&type, MEDIASUBTYPE_RGB24, best.cx, best.cy, 24, kInitialFrameRate)))
    static_cast<void>(SetPinFormat(&type, capturePin.Get()));
}
