#pragma once

#include <memory>

#include "simcam/filter/analog_pin.h"
#include "simcam/filter/filter_base.h"
#include "simcam/filter/routing_state.h"

namespace simcam {

// One crossbar of a simulated card: inputs first, then outputs, as real crossbars enumerate them.
class CrossbarFilter : public FilterBase, public IAMCrossbar {
 public:
  CrossbarFilter(std::shared_ptr<FaultPlan> faults, std::shared_ptr<RoutingState> routing, size_t index);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  SIMCAM_KIT_REFCOUNT

  // IAMCrossbar
  STDMETHODIMP get_PinCounts(LONG* outputs, LONG* inputs) override;
  STDMETHODIMP CanRoute(LONG output, LONG input) override;
  STDMETHODIMP Route(LONG output, LONG input) override;
  STDMETHODIMP get_IsRoutedTo(LONG output, LONG* input) override;
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override;

  AnalogPin* InputPin(size_t index) { return static_cast<AnalogPin*>(pins_[index].get()); }
  AnalogPin* OutputPin(size_t index) { return static_cast<AnalogPin*>(pins_[layout().inputs.size() + index].get()); }
  const CrossbarSpec& layout() const { return routing_->profile().crossbars[index_]; }

 protected:
  CLSID ClassId() const override;

 private:
  HRESULT CheckRoute(LONG output, LONG input);

  std::shared_ptr<RoutingState> routing_;
  size_t index_;
};

// The TV tuner of a simulated card; its analog output feeds a crossbar's Tuner input.
class TunerFilter : public FilterBase, public IAMTVTuner, public ISpecifyPropertyPages {
 public:
  TunerFilter(std::shared_ptr<FaultPlan> faults, std::shared_ptr<RoutingState> routing);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  SIMCAM_KIT_REFCOUNT

  // IAMTuner
  STDMETHODIMP put_Channel(LONG channel, LONG video, LONG audio) override;
  STDMETHODIMP get_Channel(LONG* channel, LONG* video, LONG* audio) override;
  STDMETHODIMP ChannelMinMax(LONG* minimum, LONG* maximum) override;
  STDMETHODIMP put_CountryCode(LONG) override { return S_OK; }
  STDMETHODIMP get_CountryCode(LONG* country) override;
  STDMETHODIMP put_TuningSpace(LONG) override { return S_OK; }
  STDMETHODIMP get_TuningSpace(LONG* space) override;
  STDMETHODIMP Logon(HANDLE) override { return S_OK; }
  STDMETHODIMP Logout() override { return S_OK; }
  STDMETHODIMP SignalPresent(LONG* strength) override;
  STDMETHODIMP put_Mode(AMTunerModeType mode) override;
  STDMETHODIMP get_Mode(AMTunerModeType* mode) override;
  STDMETHODIMP GetAvailableModes(LONG* modes) override;
  STDMETHODIMP RegisterNotificationCallBack(IAMTunerNotification*, LONG) override { return E_NOTIMPL; }
  STDMETHODIMP UnRegisterNotificationCallBack(IAMTunerNotification*) override { return E_NOTIMPL; }
  // IAMTVTuner
  STDMETHODIMP get_AvailableTVFormats(LONG* standards) override;
  STDMETHODIMP get_TVFormat(LONG* standard) override;
  STDMETHODIMP AutoTune(LONG, LONG* signal) override;
  STDMETHODIMP StoreAutoTune() override { return S_OK; }
  STDMETHODIMP get_NumInputConnections(LONG* count) override;
  STDMETHODIMP put_InputType(LONG, TunerInputType) override { return S_OK; }
  STDMETHODIMP get_InputType(LONG, TunerInputType* type) override;
  STDMETHODIMP put_ConnectInput(LONG) override { return S_OK; }
  STDMETHODIMP get_ConnectInput(LONG* index) override;
  STDMETHODIMP get_VideoFrequency(LONG* frequency) override;
  STDMETHODIMP get_AudioFrequency(LONG* frequency) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  AnalogPin* OutputPin() { return static_cast<AnalogPin*>(pins_[0].get()); }

 protected:
  CLSID ClassId() const override;

 private:
  std::shared_ptr<RoutingState> routing_;
};

// Fills a page list as a profile asks: one page, zero pages; `method` may be made to fail.
HRESULT FillPageList(FaultPlan& faults, PagesKind kind, const CLSID& page, const wchar_t* method, CAUUID* pages);

}  // namespace simcam
