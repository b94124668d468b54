#include "tests/support/doubles/test_crossbar.h"

#include <algorithm>

#include "tests/support/doubles/test_filter.h"

namespace testsupport {

namespace {

// A crossbar's pin: named nothing, of no category, counted with the crossbar.
TestPin* NewCrossbarPin(TestCrossbar* owner, PIN_DIRECTION direction) {
  auto* pin = new TestPin(direction, L"", GUID_NULL);
  pin->owner = owner;
  pin->countedBy = static_cast<IBaseFilter*>(owner);
  pin->hasPropertySet = false;
  return pin;
}

}  // namespace

TestCrossbar::TestCrossbar(std::vector<Connector> in, std::vector<Connector> out)
    : inputs(std::move(in)), outputs(std::move(out)) {
  for (size_t i = 0; i < inputs.size(); ++i) pins.push_back(NewCrossbarPin(this, PINDIR_INPUT));
  for (size_t i = 0; i < outputs.size(); ++i) pins.push_back(NewCrossbarPin(this, PINDIR_OUTPUT));
}

TestCrossbar::~TestCrossbar() {
  for (TestPin* pin : pins) delete pin;
}

void TestCrossbar::FeedFrom(size_t in, TestCrossbar* upstream, size_t out) {
  input(in)->peer = upstream->output(out);
  upstream->output(out)->peer = input(in);
}

STDMETHODIMP TestCrossbar::QueryInterface(REFIID iid, void** object) {
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
    *object = static_cast<IBaseFilter*>(this);
  } else if (iid == IID_IAMCrossbar) {
    *object = static_cast<IAMCrossbar*>(this);
  } else {
    return *object = nullptr, E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP TestCrossbar::EnumPins(IEnumPins** enumerator) {
  *enumerator = NewPinEnumerator(static_cast<IBaseFilter*>(this), pins, walk);
  return S_OK;
}

STDMETHODIMP TestCrossbar::get_PinCounts(LONG* outs, LONG* ins) {
  if (++pinCountsCalls >= pinCountsFailFromCall) return E_FAIL;
  if (pinCountsResult != S_OK) return pinCountsResult;
  *outs = static_cast<LONG>(outputs.size());
  *ins = static_cast<LONG>(inputs.size());
  return S_OK;
}

STDMETHODIMP TestCrossbar::CanRoute(LONG, LONG input) { return refusedInputs.count(input) ? S_FALSE : S_OK; }

STDMETHODIMP TestCrossbar::Route(LONG output, LONG input) {
  routeCalls.emplace_back(output, input);
  return routeResult;
}

STDMETHODIMP TestCrossbar::get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) {
  if (pinInfoResult != S_OK) return pinInfoResult;
  if (isInput && index == failPinInfoInput) return E_UNEXPECTED;
  const std::vector<Connector>& list = isInput ? inputs : outputs;
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return E_INVALIDARG;
  *related = list[static_cast<size_t>(index)].related;
  *type = list[static_cast<size_t>(index)].type;
  return S_OK;
}

}  // namespace testsupport
