// The in-process COM server entry points of the simulated device kit.
#include <dshow.h>
#include <windows.h>

#include <new>
#include <string>

#include "simcam/common/device_registry.h"
#include "simcam/filter/capture_filter.h"
#include "simcam/filter/module_state.h"

namespace simcam {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

namespace {

HMODULE g_module = nullptr;

class ClassFactory : public IClassFactory {
 public:
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
    CaptureFilter* filter = new (std::nothrow) CaptureFilter();
    if (filter == nullptr) return E_OUTOFMEMORY;
    filter->AddRef();
    const HRESULT hr = filter->QueryInterface(iid, object);
    filter->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    g_serverLocks += lock ? 1 : -1;
    return S_OK;
  }
};

ClassFactory g_factory;

std::wstring ClassKey() {
  wchar_t clsid[64];
  StringFromGUID2(kFilterClsid, clsid, 64);
  return std::wstring(L"CLSID\\") + clsid;
}

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace
}  // namespace simcam

using namespace simcam;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != kFilterClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return E_FAIL;
  HKEY server = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, (ClassKey() + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, &server, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  status = SetString(server, nullptr, path);
  if (status == ERROR_SUCCESS) status = SetString(server, L"ThreadingModel", L"Both");
  RegCloseKey(server);
  return HRESULT_FROM_WIN32(status);
}

STDAPI DllUnregisterServer() {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

extern "C" long __stdcall SimCamLiveObjects() { return g_liveObjects; }
