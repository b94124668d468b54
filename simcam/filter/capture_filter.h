#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simcam/common/profile.h"
#include "simcam/filter/faults.h"
#include "simcam/filter/module_state.h"

namespace simcam {

class OutputPin;

// The simulated device's capture filter. It reads its profile from the device's property bag.
class CaptureFilter : public IBaseFilter, public IPersistPropertyBag, public LiveObject {
 public:
  CaptureFilter();
  ~CaptureFilter() override;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  // IPersistPropertyBag
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  FaultPlan& faults() { return faults_; }
  std::mutex& lock() { return lock_; }
  FILTER_STATE state() const { return state_; }

 private:
  void ApplyProfile(const DeviceProfile& profile);

  std::atomic<ULONG> references_{0};
  std::mutex lock_;
  FILTER_STATE state_ = State_Stopped;
  IFilterGraph* graph_ = nullptr;  // not counted: the graph owns its filters
  std::wstring name_;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;
  std::vector<std::unique_ptr<OutputPin>> pins_;
  FaultPlan faults_;
};

}  // namespace simcam
