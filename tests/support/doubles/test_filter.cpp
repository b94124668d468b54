#include "tests/support/doubles/test_filter.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>

#include "controls/capture_format.h"

namespace testsupport {
namespace {

class TestPinEnumerator : public Counted<IEnumPins> {
 public:
  TestPinEnumerator(IUnknown* owner, const std::vector<TestPin*>& pins, const PinWalk& walk)
      : owner_(owner), pins_(pins), walk_(walk) {
    owner_->AddRef();
  }
  ~TestPinEnumerator() override { owner_->Release(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IEnumPins) return *object = nullptr, E_NOINTERFACE;
    *object = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Next(ULONG, IPin** pin, ULONG* fetched) override {
    if (fetched != nullptr) *fetched = 0;
    if (walk_.givesNull) return *pin = nullptr, S_OK;
    if (walk_.repeatsFirst && !pins_.empty()) position_ = 0;
    if (position_ >= std::min(pins_.size(), walk_.limit)) return *pin = nullptr, S_FALSE;
    *pin = pins_[position_++];
    (*pin)->AddRef();
    if (fetched != nullptr) *fetched = 1;
    return S_OK;
  }
  STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP Reset() override { return position_ = 0, S_OK; }
  STDMETHODIMP Clone(IEnumPins**) override { return E_NOTIMPL; }

 private:
  IUnknown* owner_;
  const std::vector<TestPin*>& pins_;
  const PinWalk& walk_;
  size_t position_ = 0;
};

}  // namespace

IEnumPins* NewPinEnumerator(IUnknown* owner, const std::vector<TestPin*>& pins, const PinWalk& walk) {
  return new TestPinEnumerator(owner, pins, walk);
}

TestPin::TestPin(PIN_DIRECTION pinDirection, std::wstring pinId, GUID pinCategory)
    : direction(pinDirection), id(std::move(pinId)), category(pinCategory) {}

STDMETHODIMP TestPin::QueryInterface(REFIID iid, void** object) {
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *object = static_cast<IPin*>(this);
  } else if (iid == IID_IKsPropertySet && hasPropertySet) {
    *object = static_cast<IKsPropertySet*>(this);
  } else if (iid == IID_IAMStreamConfig && capabilitySize != 0) {
    *object = static_cast<IAMStreamConfig*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP TestPin::ConnectedTo(IPin** pin) {
  *pin = peer;
  if (peer == nullptr) return VFW_E_NOT_CONNECTED;
  peer->AddRef();
  return S_OK;
}

STDMETHODIMP TestPin::Disconnect() {
  ++disconnects;
  if (peer == nullptr) return S_FALSE;
  peer = nullptr;
  return S_OK;
}

void Link(TestPin* output, TestPin* input) {
  output->peer = input;
  input->peer = output;
}

STDMETHODIMP TestPin::QueryPinInfo(PIN_INFO* info) {
  if (FAILED(queryPinInfoResult)) return queryPinInfoResult;
  info->pFilter = owner;
  if (owner != nullptr) owner->AddRef();
  info->dir = direction;
  info->achName[id.copy(info->achName, MAX_PIN_NAME - 1)] = L'\0';
  return queryPinInfoResult;
}

STDMETHODIMP TestPin::QueryDirection(PIN_DIRECTION* out) {
  *out = direction;
  return S_OK;
}

STDMETHODIMP TestPin::Get(REFGUID set, DWORD property, void*, DWORD, void* data, DWORD size, DWORD* returned) {
  ++categoryReads;
  if (set != AMPROPSETID_Pin || property != AMPROPERTY_PIN_CATEGORY || size < sizeof(GUID)) return E_INVALIDARG;
  if (FAILED(getCategoryResult)) return getCategoryResult;
  *static_cast<GUID*>(data) = category;
  if (returned != nullptr) *returned = sizeof(GUID);
  return S_OK;
}

STDMETHODIMP TestPin::GetNumberOfCapabilities(int* count, int* size) {
  *count = 1;
  *size = capabilitySize;
  return S_OK;
}

// The caller's block must come from the C runtime's heap (as a vector's does), so its size can be
// read; the structure is written only into a block that holds it.
STDMETHODIMP TestPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  *type = nullptr;
  capabilityBlockBytes = _msize(caps);
  if (index != 0) return S_FALSE;
  if (capabilityBlockBytes < sizeof(VIDEO_STREAM_CONFIG_CAPS)) return E_INVALIDARG;
  VIDEO_STREAM_CONFIG_CAPS capability{};
  capability.guid = FORMAT_VideoInfo;
  capability.MaxOutputSize = {320, 240};
  std::memcpy(caps, &capability, sizeof(capability));
  return CreateVideoType(type, MEDIASUBTYPE_RGB24, 24, 320, 240, 15.0);
}

TestFilter::~TestFilter() {
  for (TestPin* pin : pins) {
    pin->owner = nullptr;
    pin->Release();
  }
}

TestPin* TestFilter::AddPin(PIN_DIRECTION direction, const std::wstring& id, GUID category) {
  TestPin* pin = new TestPin(direction, id, category);
  pin->owner = this;
  pins.push_back(pin);
  return pin;
}

STDMETHODIMP TestFilter::QueryInterface(REFIID iid, void** object) {
  *object = nullptr;
  if (iid != IID_IUnknown && iid != IID_IPersist && iid != IID_IMediaFilter && iid != IID_IBaseFilter)
    return E_NOINTERFACE;
  *object = static_cast<IBaseFilter*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP TestFilter::GetState(DWORD, FILTER_STATE* state) {
  *state = State_Stopped;
  return S_OK;
}

STDMETHODIMP TestFilter::EnumPins(IEnumPins** out) {
  *out = nullptr;
  if (FAILED(enumPinsResult)) return enumPinsResult;
  *out = NewPinEnumerator(static_cast<IBaseFilter*>(this), pins, walk);
  return S_OK;
}

STDMETHODIMP TestFilter::FindPin(LPCWSTR id, IPin** pin) {
  ++findPinCalls;
  *pin = nullptr;
  if (findPinGivesNull) return S_OK;
  for (TestPin* candidate : pins) {
    if (candidate->id == id) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

}  // namespace testsupport
