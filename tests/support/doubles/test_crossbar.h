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

#include "tests/support/doubles/test_filter.h"

namespace testsupport {

class TestCrossbar;

struct Connector {
  LONG type;
  LONG related;
};

class TestCrossbar : public IBaseFilter, public IAMCrossbar {
 public:
  TestCrossbar(std::vector<Connector> inputs, std::vector<Connector> outputs);
  virtual ~TestCrossbar();

  TestPin* input(size_t index) { return pins[index]; }
  TestPin* output(size_t index) { return pins[inputs.size() + index]; }
  // Makes `upstream`'s output `output` feed `input` of this crossbar.
  void FeedFrom(size_t input, TestCrossbar* upstream, size_t output);
  ULONG references() const { return references_; }

  std::vector<Connector> inputs, outputs;
  std::vector<TestPin*> pins;  // inputs first, then outputs; counted with the crossbar
  HRESULT pinCountsResult = S_OK;
  int pinCountsCalls = 0;
  int pinCountsFailFromCall = INT_MAX;  // this call of get_PinCounts and later ones fail
  HRESULT pinInfoResult = S_OK;         // for every get_CrossbarPinInfo call
  LONG failPinInfoInput = -1;           // one input whose get_CrossbarPinInfo fails
  std::set<LONG> refusedInputs;         // CanRoute answers S_FALSE
  HRESULT routeResult = S_OK;
  PinWalk walk;  // how EnumPins hands the pins out
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
