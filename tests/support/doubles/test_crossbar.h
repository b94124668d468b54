#pragma once

// In-process crossbars whose answers and calls a test controls and records, for exact call
// sequences and reference counts.
#include <dshow.h>
#include <windows.h>

#include <atomic>
#include <climits>
#include <set>
#include <utility>
#include <vector>

namespace testsupport {

class TestCrossbar;

// A crossbar pin, or with no owner the capture filter's analog video input.
class Pin : public IPin {
 public:
  Pin(TestCrossbar* owner, PIN_DIRECTION direction) : owner_(owner), direction_(direction) {}
  virtual ~Pin() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP Disconnect() override { return S_OK; }
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_FALSE; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  IPin* peer = nullptr;  // not counted: the test owns every object
  HRESULT queryPinInfoResult = S_OK;
  std::atomic<ULONG> ownReferences{1};  // for the analog input, which has no owner

 private:
  TestCrossbar* owner_;
  PIN_DIRECTION direction_;
};

struct Connector {
  LONG type;
  LONG related;
};

class TestCrossbar : public IBaseFilter, public IAMCrossbar {
 public:
  TestCrossbar(std::vector<Connector> inputs, std::vector<Connector> outputs);
  virtual ~TestCrossbar();

  Pin* input(size_t index) { return pins[index]; }
  Pin* output(size_t index) { return pins[inputs.size() + index]; }
  // Makes `upstream`'s output `output` feed `input` of this crossbar.
  void FeedFrom(size_t input, TestCrossbar* upstream, size_t output);
  ULONG references() const { return references_; }

  std::vector<Connector> inputs, outputs;
  std::vector<Pin*> pins;  // inputs first, then outputs
  HRESULT pinCountsResult = S_OK;
  int pinCountsCalls = 0;
  int pinCountsFailFromCall = INT_MAX;  // this call of get_PinCounts and later ones fail
  HRESULT pinInfoResult = S_OK;         // for every get_CrossbarPinInfo call
  LONG failPinInfoInput = -1;           // one input whose get_CrossbarPinInfo fails
  std::set<LONG> refusedInputs;         // CanRoute answers S_FALSE
  HRESULT routeResult = S_OK;
  size_t enumeratedPins = SIZE_MAX;  // EnumPins hands out only this many
  std::vector<std::pair<LONG, LONG>> routeCalls;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }  // the test deletes it

  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override { return S_OK; }
  STDMETHODIMP Pause() override { return S_OK; }
  STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
  STDMETHODIMP GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
  STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumPins(IEnumPins** enumerator) override;
  STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  STDMETHODIMP get_PinCounts(LONG* outputs, LONG* inputs) override;
  STDMETHODIMP CanRoute(LONG output, LONG input) override;
  STDMETHODIMP Route(LONG output, LONG input) override;
  STDMETHODIMP get_IsRoutedTo(LONG, LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override;

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace testsupport
