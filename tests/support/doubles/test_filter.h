#pragma once

// In-process filters and pins whose every answer a test controls, for exact call results that
// a real driver cannot be made to give.
#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Minimal reference counting shared by the test objects; tests read `references`.
template <typename Interface>
class Counted : public Interface {
 public:
  virtual ~Counted() = default;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG remaining = --references;
    if (remaining == 0) delete this;
    return remaining;
  }
  std::atomic<ULONG> references{1};
};

class TestFilter;

class TestPin : public Counted<IPin>, public IKsPropertySet, public IAMStreamConfig {
 public:
  TestPin(PIN_DIRECTION direction, std::wstring id, GUID category);

  PIN_DIRECTION direction;
  std::wstring id;
  GUID category;
  bool hasPropertySet = true;
  HRESULT queryPinInfoResult = S_OK;
  HRESULT getCategoryResult = S_OK;
  IBaseFilter* owner = nullptr;  // its filter, for QueryPinInfo; not counted
  // Set: the pin counts its references with this object, as a real pin counts with its filter.
  IUnknown* countedBy = nullptr;
  TestPin* peer = nullptr;  // what ConnectedTo answers; not counted, cleared by Disconnect
  int categoryReads = 0;
  int disconnects = 0;
  // Non-zero: the pin has IAMStreamConfig, with one capability (RGB24 320x240) of this reported
  // structure size; it records the size of the block a caller hands for the structure.
  int capabilitySize = 0;
  size_t capabilityBlockBytes = 0;
  int formatsSet = 0;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override {
    return countedBy != nullptr ? countedBy->AddRef() : Counted<IPin>::AddRef();
  }
  STDMETHODIMP_(ULONG) Release() override {
    return countedBy != nullptr ? countedBy->Release() : Counted<IPin>::Release();
  }

  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return VFW_E_NOT_CONNECTED; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* out) override;
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_FALSE; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD size, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }

  STDMETHODIMP SetFormat(AM_MEDIA_TYPE*) override { return ++formatsSet, S_OK; }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE**) override { return E_NOTIMPL; }
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
};

// How a test enumerator hands pins out, read at each Next.
struct PinWalk {
  bool givesNull = false;     // Next answers S_OK without a pin
  bool repeatsFirst = false;  // Next answers S_OK with the first pin, forever
  size_t limit = SIZE_MAX;    // only the first this many pins are handed out
};

// Enumerates `pins` as `walk` says, holding `owner` (whose members both are) meanwhile.
IEnumPins* NewPinEnumerator(IUnknown* owner, const std::vector<TestPin*>& pins, const PinWalk& walk);

class TestFilter : public Counted<IBaseFilter> {
 public:
  ~TestFilter() override;
  // The filter holds one reference on each pin.
  TestPin* AddPin(PIN_DIRECTION direction, const std::wstring& id, GUID category = GUID_NULL);

  std::vector<TestPin*> pins;
  HRESULT enumPinsResult = S_OK;
  PinWalk walk;
  bool findPinGivesNull = false;  // FindPin answers S_OK without a pin
  int findPinCalls = 0;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override { return S_OK; }
  STDMETHODIMP Pause() override { return S_OK; }
  STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
  STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
  STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumPins(IEnumPins** out) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
};

// Connects an output pin to an input pin, both ways, as a graph would.
void Link(TestPin* output, TestPin* input);

}  // namespace testsupport
