#pragma once

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "simcam/filter/kit_object.h"

namespace simcam {

// A property page of the kit: one labelled drop-down list whose choice is applied as soon as it
// is made (Wine's property frame never calls Apply).
class ChoicePage : public IPropertyPage, public KitObject {
 public:
  explicit ChoicePage(std::wstring title);
  ~ChoicePage() override;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  SIMCAM_KIT_REFCOUNT

  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override { return S_FALSE; }
  STDMETHODIMP Apply() override { return S_OK; }
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

 protected:
  virtual HRESULT Attach(IUnknown* object) = 0;
  virtual void Detach() = 0;
  virtual std::wstring Label() = 0;
  virtual std::vector<std::wstring> Choices() = 0;
  virtual int CurrentChoice() = 0;
  virtual void Choose(int index) = 0;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void Fill();

  std::wstring title_;
  Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
  HWND dialog_ = nullptr;
};

// Creates the page of class `clsid` with its first reference, or null.
IPropertyPage* CreatePropertyPage(REFCLSID clsid);

}  // namespace simcam
