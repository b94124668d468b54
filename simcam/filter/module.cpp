// The in-process COM server entry points of the simulated device kit.
#include <dshow.h>
#include <windows.h>

#include <new>
#include <string>

#include "base/scoped.h"
#include "simcam/common/control.h"
#include "simcam/common/device_registry.h"
#include "simcam/filter/capture_filter.h"
#include "simcam/filter/kit_object.h"
#include "simcam/filter/property_pages.h"

HMODULE g_simcamModule = nullptr;

namespace simcam {

std::atomic<LONG> g_liveObjects{0};
std::atomic<LONG> g_liveReferences{0};
std::atomic<LONG> g_serverLocks{0};

namespace {

const CLSID* const kClasses[] = {&kFilterClsid, &CLSID_SimCamVideoPage, &CLSID_SimCamFormatPage,
                                 &CLSID_SimCamTunerPage};

IUnknown* CreateObject(REFCLSID clsid) {
  if (clsid == kFilterClsid) {
    CaptureFilter* filter = new (std::nothrow) CaptureFilter();
    if (filter != nullptr) filter->AddRef();
    return static_cast<IBaseFilter*>(filter);
  }
  return CreatePropertyPage(clsid);
}

// One static factory per class of the kit.
class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(const CLSID& clsid) : clsid_(clsid) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its count does not decide its lifetime.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IUnknown* created = CreateObject(clsid_);
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    g_serverLocks += lock ? 1 : -1;
    return S_OK;
  }

 private:
  const CLSID& clsid_;
};

ClassFactory g_factories[] = {ClassFactory(kFilterClsid), ClassFactory(CLSID_SimCamVideoPage),
                              ClassFactory(CLSID_SimCamFormatPage), ClassFactory(CLSID_SimCamTunerPage)};

std::wstring ClassKey(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

LSTATUS RegisterServerClass(const CLSID& clsid, const std::wstring& path) {
  scoped::RegistryKey server;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, (ClassKey(clsid) + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, server.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = WriteRegistryString(server.get(), nullptr, path);
  if (status == ERROR_SUCCESS) status = WriteRegistryString(server.get(), L"ThreadingModel", L"Both");
  return status;
}

}  // namespace
}  // namespace simcam

using namespace simcam;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_simcamModule = instance;
    DisableThreadLibraryCalls(instance);
  }
  // As some vendors' DLLs do at process exit: wait for the streaming thread of a hung device.
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr && DetachWaitsForHungDevice()) CaptureFilter::WaitForEver();
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (size_t i = 0; i < sizeof(kClasses) / sizeof(kClasses[0]); ++i)
    if (clsid == *kClasses[i]) return g_factories[i].QueryInterface(iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_simcamModule, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return E_FAIL;
  for (const CLSID* clsid : kClasses) {
    const LSTATUS status = RegisterServerClass(*clsid, path);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const CLSID* clsid : kClasses) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(*clsid).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

extern "C" LONG __stdcall SimCamLiveObjects() { return g_liveObjects; }
extern "C" LONG __stdcall SimCamLiveReferences() { return g_liveReferences; }
