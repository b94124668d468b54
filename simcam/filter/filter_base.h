#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simcam/filter/faults.h"
#include "simcam/filter/kit_object.h"

namespace simcam {

class PinBase;

// What every filter of the kit shares: state, clock, graph membership and its pins.
class FilterBase : public IBaseFilter, public KitObject {
 public:
  explicit FilterBase(std::shared_ptr<FaultPlan> faults);

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

  FaultPlan& faults() { return *faults_; }
  const std::shared_ptr<FaultPlan>& faultPlan() const { return faults_; }
  FILTER_STATE state();
  IFilterGraph* graph() { return graph_; }
  IReferenceClock* clock() { return clock_.Get(); }
  // A pin of this filter other than `pin` (`pin` itself when it is the only one), not counted.
  IPin* OtherPin(IPin* pin);

 protected:
  // Answers interfaces of the filter itself; derived filters add theirs before calling it.
  HRESULT QueryFilterInterface(REFIID iid, void** object);
  // Called with the new state after it is set, outside the lock.
  virtual HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start);
  virtual void OnJoinGraph(IFilterGraph* graph);
  virtual CLSID ClassId() const;
  FILTER_STATE ExchangeState(FILTER_STATE to);

  std::vector<std::unique_ptr<PinBase>> pins_;
  std::mutex lock_;

 private:
  std::shared_ptr<FaultPlan> faults_;
  FILTER_STATE state_ = State_Stopped;
  IFilterGraph* graph_ = nullptr;  // not counted: the graph owns its filters
  std::wstring name_;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;
};

}  // namespace simcam
