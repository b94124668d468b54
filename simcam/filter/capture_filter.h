#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <vector>

#include "simcam/common/control.h"
#include "simcam/common/profile.h"
#include "simcam/filter/filter_base.h"
#include "simcam/filter/routing_state.h"

namespace simcam {

class AnalogPin;
class CrossbarFilter;
class StreamPin;
class TunerFilter;

// The simulated device's capture filter. It reads its profile from the device's property bag and,
// for a card, brings its crossbars and tuner into the graph in front of its analog input.
// True once a hung device whose profile says so makes the DLL's detach wait.
bool DetachWaitsForHungDevice();

class CaptureFilter : public FilterBase,
                      public IPersistPropertyBag,
                      public ISpecifyPropertyPages,
                      public ISimCamDevice {
 public:
  CaptureFilter();
  ~CaptureFilter() override;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  SIMCAM_KIT_REFCOUNT

  // IPersist (also the base of IPersistPropertyBag)
  STDMETHODIMP GetClassID(CLSID* clsid) override { return FilterBase::GetClassID(clsid); }
  // IPersistPropertyBag
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;
  // ISimCamDevice
  STDMETHODIMP LoseDevice() override;
  STDMETHODIMP GetStats(StreamStats* stats) override;
  STDMETHODIMP SetBrightness(LONG percent) override;
  STDMETHODIMP LoseAtNextStateChange(LONG state) override;

  const DeviceProfile& profile() const { return profile_; }
  VideoFormat currentFormat();
  void SetCurrentFormat(const VideoFormat& format);
  bool lost() const { return lost_; }
  bool stalled() const { return stalled_; }
  // What a hung driver's call does: never return.
  [[noreturn]] void Hang();
  [[noreturn]] static void WaitForEver();
  // Blocks as the profile says when the driver reaches `place`: for its time, or for ever.
  void BlockAt(BlockIn place);
  unsigned pictureGeneration() const { return routing_->generation() + pictureChanges_; }
  void Picture(std::wstring* name, DWORD* colour, LONG* brightness);
  void CountFrame(bool accepted);
  // Adds and connects the card's crossbars and tuner when they are not in the graph.
  void EnsureUpstream();

 protected:
  HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;
  void OnJoinGraph(IFilterGraph* graph) override;

 private:
  void ApplyProfile(const DeviceProfile& profile);
  void DisconnectUpstream();
  void ReleaseCard();
  void ReportDeviceLost();
  std::vector<StreamPin*> streamPins();

  DeviceProfile profile_;
  std::shared_ptr<RoutingState> routing_;
  VideoFormat current_;
  std::atomic<LONG> brightness_{100};
  std::atomic<unsigned> pictureChanges_{0};
  std::atomic<bool> lost_{false};
  std::atomic<bool> stalled_{false};
  std::atomic<LONG> lossState_{-1};  // the state whose next entry loses the device; -1: none
  std::atomic<LONG> accepted_{0}, refused_{0};
  std::atomic<LONGLONG> firstFrameQpc_{0};
  AnalogPin* analogIn_ = nullptr;
  // The card's other filters.
  std::vector<Microsoft::WRL::ComPtr<CrossbarFilter>> crossbars_;
  Microsoft::WRL::ComPtr<TunerFilter> tuner_;
};

}  // namespace simcam
