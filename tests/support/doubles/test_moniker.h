#pragma once

// A device moniker of the test's own, for what the system device enumerator cannot be made to
// hand out: it binds to a given filter and its property bag answers a given friendly name.
#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <vector>

#include "tests/support/doubles/test_filter.h"

namespace testsupport {

class TestMoniker : public Counted<IMoniker>, public IPropertyBag {
 public:
  // Takes its own reference on `filter` and a copy of `friendlyName`.
  TestMoniker(IBaseFilter* filter, const VARIANT& friendlyName);
  ~TestMoniker() override;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return Counted<IMoniker>::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return Counted<IMoniker>::Release(); }

  STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override;
  STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override;
  STDMETHODIMP Read(LPCOLESTR property, VARIANT* value, IErrorLog*) override;
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP IsEqual(IMoniker* other) override { return other == this ? S_OK : S_FALSE; }
  STDMETHODIMP Hash(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  STDMETHODIMP GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  STDMETHODIMP Inverse(IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP IsSystemMoniker(DWORD* kind) override { return *kind = MKSYS_NONE, S_FALSE; }

 private:
  Microsoft::WRL::ComPtr<IBaseFilter> filter_;
  VARIANT friendlyName_;
};

// An enumerator handing out the given monikers in order, once.
Microsoft::WRL::ComPtr<IEnumMoniker> EnumerateMonikers(std::vector<Microsoft::WRL::ComPtr<IMoniker>> monikers);

}  // namespace testsupport
