#include "tests/support/doubles/platform_doubles.h"

using Microsoft::WRL::ComPtr;

namespace testsupport {
namespace {

// An interface of the controlling object kept apart from it, since it shares method names with
// IMediaControl: identity and references are the controlling object's, the calls the inner's.
template <typename Interface>
class TearOff : public Interface {
 public:
  TearOff(IUnknown* outer, ClassDouble* owner) : outer_(outer), owner_(owner) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return outer_->QueryInterface(iid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return inner->GetTypeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return inner->GetTypeInfo(index, locale, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return inner->GetIDsOfNames(iid, names, count, locale, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                      EXCEPINFO* exception, UINT* argument) override {
    return inner->Invoke(id, iid, locale, flags, parameters, result, exception, argument);
  }

  Interface* inner = nullptr;  // held without a reference, as aggregation asks

 protected:
  IUnknown* outer_;
  ClassDouble* owner_;
};

// The graph's event queue, with the events it hands out and those given back recorded.
class Events final : public TearOff<IMediaEventEx> {
 public:
  using TearOff::TearOff;
  STDMETHODIMP GetEventHandle(OAEVENT* event) override { return inner->GetEventHandle(event); }
  STDMETHODIMP GetEvent(long* code, LONG_PTR* first, LONG_PTR* second, long timeout) override {
    owner_->eventWaits.Add(timeout);
    const HRESULT hr = inner->GetEvent(code, first, second, timeout);
    if (SUCCEEDED(hr)) owner_->eventsTaken.Add({*code, *first, *second});
    return hr;
  }
  STDMETHODIMP WaitForCompletion(long timeout, long* code) override { return inner->WaitForCompletion(timeout, code); }
  STDMETHODIMP CancelDefaultHandling(long code) override { return inner->CancelDefaultHandling(code); }
  STDMETHODIMP RestoreDefaultHandling(long code) override { return inner->RestoreDefaultHandling(code); }
  STDMETHODIMP FreeEventParams(long code, LONG_PTR first, LONG_PTR second) override {
    owner_->eventsFreed.Add({code, first, second});
    return inner->FreeEventParams(code, first, second);
  }
  STDMETHODIMP SetNotifyWindow(OAHWND window, long message, LONG_PTR data) override {
    return inner->SetNotifyWindow(window, message, data);
  }
  STDMETHODIMP SetNotifyFlags(long flags) override { return inner->SetNotifyFlags(flags); }
  STDMETHODIMP GetNotifyFlags(long* flags) override { return inner->GetNotifyFlags(flags); }
};

// The graph's video window (its renderer's), with the calls that hide it recorded.
class VideoWindow final : public TearOff<IVideoWindow> {
 public:
  using TearOff::TearOff;
  STDMETHODIMP put_Caption(BSTR caption) override { return inner->put_Caption(caption); }
  STDMETHODIMP get_Caption(BSTR* caption) override { return inner->get_Caption(caption); }
  STDMETHODIMP put_WindowStyle(long style) override { return inner->put_WindowStyle(style); }
  STDMETHODIMP get_WindowStyle(long* style) override { return inner->get_WindowStyle(style); }
  STDMETHODIMP put_WindowStyleEx(long style) override { return inner->put_WindowStyleEx(style); }
  STDMETHODIMP get_WindowStyleEx(long* style) override { return inner->get_WindowStyleEx(style); }
  STDMETHODIMP put_AutoShow(long autoShow) override { return inner->put_AutoShow(autoShow); }
  STDMETHODIMP get_AutoShow(long* autoShow) override { return inner->get_AutoShow(autoShow); }
  STDMETHODIMP put_WindowState(long state) override { return inner->put_WindowState(state); }
  STDMETHODIMP get_WindowState(long* state) override { return inner->get_WindowState(state); }
  STDMETHODIMP put_BackgroundPalette(long palette) override { return inner->put_BackgroundPalette(palette); }
  STDMETHODIMP get_BackgroundPalette(long* palette) override { return inner->get_BackgroundPalette(palette); }
  STDMETHODIMP put_Visible(long visible) override {
    owner_->visible.Add(visible);
    return inner->put_Visible(visible);
  }
  STDMETHODIMP get_Visible(long* visible) override { return inner->get_Visible(visible); }
  STDMETHODIMP put_Left(long left) override { return inner->put_Left(left); }
  STDMETHODIMP get_Left(long* left) override { return inner->get_Left(left); }
  STDMETHODIMP put_Width(long width) override { return inner->put_Width(width); }
  STDMETHODIMP get_Width(long* width) override { return inner->get_Width(width); }
  STDMETHODIMP put_Top(long top) override { return inner->put_Top(top); }
  STDMETHODIMP get_Top(long* top) override { return inner->get_Top(top); }
  STDMETHODIMP put_Height(long height) override { return inner->put_Height(height); }
  STDMETHODIMP get_Height(long* height) override { return inner->get_Height(height); }
  STDMETHODIMP put_Owner(OAHWND owner) override { return inner->put_Owner(owner); }
  STDMETHODIMP get_Owner(OAHWND* owner) override { return inner->get_Owner(owner); }
  STDMETHODIMP put_MessageDrain(OAHWND drain) override { return inner->put_MessageDrain(drain); }
  STDMETHODIMP get_MessageDrain(OAHWND* drain) override { return inner->get_MessageDrain(drain); }
  STDMETHODIMP get_BorderColor(long* colour) override { return inner->get_BorderColor(colour); }
  STDMETHODIMP put_BorderColor(long colour) override { return inner->put_BorderColor(colour); }
  STDMETHODIMP get_FullScreenMode(long* mode) override { return inner->get_FullScreenMode(mode); }
  STDMETHODIMP put_FullScreenMode(long mode) override { return inner->put_FullScreenMode(mode); }
  STDMETHODIMP SetWindowForeground(long focus) override { return inner->SetWindowForeground(focus); }
  STDMETHODIMP NotifyOwnerMessage(OAHWND window, long message, LONG_PTR wParam, LONG_PTR lParam) override {
    return inner->NotifyOwnerMessage(window, message, wParam, lParam);
  }
  STDMETHODIMP SetWindowPosition(long left, long top, long width, long height) override {
    return inner->SetWindowPosition(left, top, width, height);
  }
  STDMETHODIMP GetWindowPosition(long* left, long* top, long* width, long* height) override {
    return inner->GetWindowPosition(left, top, width, height);
  }
  STDMETHODIMP GetMinIdealImageSize(long* width, long* height) override {
    return inner->GetMinIdealImageSize(width, height);
  }
  STDMETHODIMP GetMaxIdealImageSize(long* width, long* height) override {
    return inner->GetMaxIdealImageSize(width, height);
  }
  STDMETHODIMP GetRestorePosition(long* left, long* top, long* width, long* height) override {
    return inner->GetRestorePosition(left, top, width, height);
  }
  STDMETHODIMP HideCursor(long hide) override { return inner->HideCursor(hide); }
  STDMETHODIMP IsCursorHidden(long* hidden) override { return inner->IsCursorHidden(hidden); }
};

// The controlling object around the platform's real one (aggregated as `inner_`). It answers
// IMediaControl, IVMRWindowlessControl9, IVMRMonitorConfig9, IMediaEventEx and IVideoWindow
// itself, passing every call on unless a fault is set; every other interface is the inner object's.
class Outer final : public IMediaControl, public IVMRWindowlessControl9, public IVMRMonitorConfig9 {
 public:
  explicit Outer(ClassDouble* owner) : owner_(owner), events_(Self(), owner), videoWindow_(Self(), owner) {}

  HRESULT Aggregate(IClassFactory* real) { return real->CreateInstance(Self(), IID_PPV_ARGS(&inner_)); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == owner_->faults.refusedInterface) return E_NOINTERFACE;
    if (iid == IID_IUnknown) return *object = Self(), AddRef(), S_OK;
    if (iid == IID_IMediaControl) return Wrap(iid, &control_, static_cast<IMediaControl*>(this), object);
    if (iid == IID_IVMRWindowlessControl9)
      return Wrap(iid, &windowless_, static_cast<IVMRWindowlessControl9*>(this), object);
    if (iid == IID_IVMRMonitorConfig9) return Wrap(iid, &monitor_, static_cast<IVMRMonitorConfig9*>(this), object);
    if (iid == IID_IMediaEventEx) return Wrap(iid, &events_.inner, static_cast<IMediaEventEx*>(&events_), object);
    if (iid == IID_IVideoWindow)
      return Wrap(iid, &videoWindow_.inner, static_cast<IVideoWindow*>(&videoWindow_), object);
    return inner_->QueryInterface(iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG remaining = InterlockedDecrement(&references_);
    if (remaining == 0) Destroy();
    return static_cast<ULONG>(remaining);
  }

  // IMediaControl
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return control_->GetTypeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return control_->GetTypeInfo(index, locale, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return control_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                      EXCEPINFO* exception, UINT* argument) override {
    return control_->Invoke(id, iid, locale, flags, parameters, result, exception, argument);
  }
  STDMETHODIMP Run() override {
    Sleep(owner_->faults.runDelay);
    return FAILED(owner_->faults.run) ? owner_->faults.run : control_->Run();
  }
  STDMETHODIMP Pause() override {
    Sleep(owner_->faults.pauseDelay);
    return control_->Pause();
  }
  STDMETHODIMP Stop() override { return control_->Stop(); }
  STDMETHODIMP GetState(LONG timeout, OAFilterState* state) override {
    return FAILED(owner_->faults.getState) ? owner_->faults.getState : control_->GetState(timeout, state);
  }
  STDMETHODIMP RenderFile(BSTR name) override { return control_->RenderFile(name); }
  STDMETHODIMP AddSourceFilter(BSTR name, IDispatch** filter) override {
    return control_->AddSourceFilter(name, filter);
  }
  STDMETHODIMP get_FilterCollection(IDispatch** collection) override {
    return control_->get_FilterCollection(collection);
  }
  STDMETHODIMP get_RegFilterCollection(IDispatch** collection) override {
    return control_->get_RegFilterCollection(collection);
  }
  STDMETHODIMP StopWhenReady() override { return control_->StopWhenReady(); }

  // IVMRWindowlessControl9
  STDMETHODIMP GetNativeVideoSize(LONG* width, LONG* height, LONG* aspectWidth, LONG* aspectHeight) override {
    if (FAILED(owner_->faults.nativeVideoSize)) return owner_->faults.nativeVideoSize;
    return Windowless()->GetNativeVideoSize(width, height, aspectWidth, aspectHeight);
  }
  STDMETHODIMP GetMinIdealVideoSize(LONG* width, LONG* height) override {
    return Windowless()->GetMinIdealVideoSize(width, height);
  }
  STDMETHODIMP GetMaxIdealVideoSize(LONG* width, LONG* height) override {
    return Windowless()->GetMaxIdealVideoSize(width, height);
  }
  STDMETHODIMP SetVideoPosition(const RECT* source, const RECT* destination) override {
    return Windowless()->SetVideoPosition(source, destination);
  }
  STDMETHODIMP GetVideoPosition(RECT* source, RECT* destination) override {
    return Windowless()->GetVideoPosition(source, destination);
  }
  STDMETHODIMP GetAspectRatioMode(DWORD* mode) override { return Windowless()->GetAspectRatioMode(mode); }
  STDMETHODIMP SetAspectRatioMode(DWORD mode) override { return Windowless()->SetAspectRatioMode(mode); }
  STDMETHODIMP SetVideoClippingWindow(HWND window) override { return Windowless()->SetVideoClippingWindow(window); }
  STDMETHODIMP RepaintVideo(HWND window, HDC context) override { return Windowless()->RepaintVideo(window, context); }
  STDMETHODIMP DisplayModeChanged() override {
    ++owner_->displayModeChanges;
    return Windowless()->DisplayModeChanged();
  }
  STDMETHODIMP GetCurrentImage(BYTE** image) override { return Windowless()->GetCurrentImage(image); }
  STDMETHODIMP SetBorderColor(COLORREF colour) override { return Windowless()->SetBorderColor(colour); }
  STDMETHODIMP GetBorderColor(COLORREF* colour) override { return Windowless()->GetBorderColor(colour); }

  // IVMRMonitorConfig9
  STDMETHODIMP SetMonitor(UINT monitor) override {
    owner_->monitors.Add(monitor);
    return monitor_->SetMonitor(monitor);
  }
  STDMETHODIMP GetMonitor(UINT* monitor) override { return monitor_->GetMonitor(monitor); }
  STDMETHODIMP SetDefaultMonitor(UINT monitor) override { return monitor_->SetDefaultMonitor(monitor); }
  STDMETHODIMP GetDefaultMonitor(UINT* monitor) override {
    return FAILED(owner_->faults.defaultMonitor) ? owner_->faults.defaultMonitor : monitor_->GetDefaultMonitor(monitor);
  }
  STDMETHODIMP GetAvailableMonitors(VMR9MonitorInfo* info, DWORD size, DWORD* count) override {
    return monitor_->GetAvailableMonitors(info, size, count);
  }

 private:
  IUnknown* Self() { return static_cast<IMediaControl*>(this); }
  IVMRWindowlessControl9* Windowless() {
    ++owner_->windowlessCalls;
    return windowless_;
  }

  // Hands out `wrapper` once the inner object has the interface; the inner's pointer is kept
  // without the reference it took on this object, as aggregation asks.
  template <typename Interface>
  HRESULT Wrap(REFIID iid, Interface** cached, Interface* wrapper, void** object) {
    if (*cached == nullptr) {
      const HRESULT hr = inner_->QueryInterface(iid, reinterpret_cast<void**>(cached));
      if (FAILED(hr)) return hr;
      Release();
    }
    *object = wrapper;
    AddRef();
    return S_OK;
  }

  void Destroy() {
    references_ = 1;  // the cached pointers' releases come back here
    if (control_ != nullptr) AddRef(), control_->Release();
    if (windowless_ != nullptr) AddRef(), windowless_->Release();
    if (monitor_ != nullptr) AddRef(), monitor_->Release();
    if (events_.inner != nullptr) AddRef(), events_.inner->Release();
    if (videoWindow_.inner != nullptr) AddRef(), videoWindow_.inner->Release();
    inner_.Reset();
    delete this;
  }

  ClassDouble* owner_;
  LONG references_ = 1;
  ComPtr<IUnknown> inner_;
  IMediaControl* control_ = nullptr;
  IVMRWindowlessControl9* windowless_ = nullptr;
  IVMRMonitorConfig9* monitor_ = nullptr;
  Events events_;
  VideoWindow videoWindow_;
};

class Factory final : public IClassFactory {
 public:
  Factory(ComPtr<IClassFactory> real, ClassDouble* owner) : real_(std::move(real)), owner_(owner) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG remaining = InterlockedDecrement(&references_);
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (FAILED(owner_->faults.create)) return owner_->faults.create;
    auto* created = new Outer(owner_);
    HRESULT hr = created->Aggregate(real_.Get());
    if (SUCCEEDED(hr)) hr = created->QueryInterface(iid, object);
    if (SUCCEEDED(hr)) ++owner_->created;
    created->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  LONG references_ = 1;
  ComPtr<IClassFactory> real_;
  ClassDouble* owner_;
};

}  // namespace

ClassDouble::ClassDouble(REFCLSID clsid) {
  ComPtr<IClassFactory> real;
  if (FAILED(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&real)))) return;
  ComPtr<IClassFactory> factory;
  factory.Attach(new Factory(real, this));
  replacement_ = std::make_unique<ClassReplacement>(clsid, factory.Get());
}

ClassDouble::~ClassDouble() = default;

}  // namespace testsupport
