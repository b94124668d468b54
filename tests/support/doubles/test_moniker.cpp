#include "tests/support/doubles/test_moniker.h"

namespace testsupport {
namespace {

class MonikerList : public Counted<IEnumMoniker> {
 public:
  explicit MonikerList(std::vector<Microsoft::WRL::ComPtr<IMoniker>> monikers) : monikers_(std::move(monikers)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IEnumMoniker) return *object = nullptr, E_NOINTERFACE;
    *object = static_cast<IEnumMoniker*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Next(ULONG, IMoniker** moniker, ULONG* fetched) override {
    if (fetched != nullptr) *fetched = 0;
    *moniker = nullptr;
    if (position_ >= monikers_.size()) return S_FALSE;
    *moniker = monikers_[position_++].Get();
    (*moniker)->AddRef();
    if (fetched != nullptr) *fetched = 1;
    return S_OK;
  }
  STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP Reset() override { return position_ = 0, S_OK; }
  STDMETHODIMP Clone(IEnumMoniker**) override { return E_NOTIMPL; }

 private:
  std::vector<Microsoft::WRL::ComPtr<IMoniker>> monikers_;
  size_t position_ = 0;
};

}  // namespace

TestMoniker::TestMoniker(IBaseFilter* filter, const VARIANT& friendlyName) : filter_(filter) {
  VariantInit(&friendlyName_);
  VariantCopy(&friendlyName_, const_cast<VARIANT*>(&friendlyName));  // only read
}

TestMoniker::~TestMoniker() { VariantClear(&friendlyName_); }

STDMETHODIMP TestMoniker::QueryInterface(REFIID iid, void** object) {
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IPersistStream || iid == IID_IMoniker)
    *object = static_cast<IMoniker*>(this);
  else if (iid == IID_IPropertyBag)
    *object = static_cast<IPropertyBag*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP TestMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) {
  return filter_->QueryInterface(iid, object);
}

STDMETHODIMP TestMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) {
  return QueryInterface(iid, object);
}

// Answers whatever type it was given, as a property bag that ignores the asked-for type can.
STDMETHODIMP TestMoniker::Read(LPCOLESTR property, VARIANT* value, IErrorLog*) {
  if (wcscmp(property, L"FriendlyName") != 0) return E_INVALIDARG;
  VariantClear(value);
  return VariantCopy(value, &friendlyName_);
}

Microsoft::WRL::ComPtr<IEnumMoniker> EnumerateMonikers(std::vector<Microsoft::WRL::ComPtr<IMoniker>> monikers) {
  Microsoft::WRL::ComPtr<IEnumMoniker> list;
  list.Attach(new MonikerList(std::move(monikers)));
  return list;
}

}  // namespace testsupport
