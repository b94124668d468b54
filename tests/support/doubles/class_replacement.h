#pragma once

// The one way a test puts objects of its own in place of a platform class: `factory` answers for
// `clsid` in this process from construction to destruction.
#include <objbase.h>
#include <windows.h>

namespace testsupport {

class ClassReplacement {
 public:
  ClassReplacement(REFCLSID clsid, IClassFactory* factory)
      : registered_(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_)) {}
  ~ClassReplacement() {
    if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
  }
  ClassReplacement(const ClassReplacement&) = delete;
  ClassReplacement& operator=(const ClassReplacement&) = delete;
  HRESULT registered() const { return registered_; }

 private:
  DWORD cookie_ = 0;
  HRESULT registered_;
};

}  // namespace testsupport
