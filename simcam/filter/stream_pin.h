#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <thread>

#include "base/scoped.h"
#include "simcam/common/video_format.h"
#include "simcam/filter/pin_base.h"
#include "simcam/filter/test_pattern.h"

namespace simcam {

class CaptureFilter;

// A video output of the capture filter: negotiates its format and allocator, and streams the
// test pattern from its own thread, started at the first Run, idle while paused, ended at Stop or
// disconnection.
class StreamPin : public PinBase, public IAMStreamConfig, public ISpecifyPropertyPages {
 public:
  StreamPin(CaptureFilter* filter, std::wstring id, const GUID& category, bool configurable, bool renderable);
  ~StreamPin() override;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return PinBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return PinBase::Release(); }

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;
  // IPin: the capture pin's close can be slow or hang, as a broken USB driver's does.
  STDMETHODIMP Disconnect() override;

  HRESULT Activate();
  void Start(REFERENCE_TIME start);
  void Idle() { running_ = false; }
  void Deactivate();

 protected:
  AM_MEDIA_TYPE* PreferredType() override;
  bool Accepts(const AM_MEDIA_TYPE& type) override;
  HRESULT CompleteConnection(IPin* peer, const AM_MEDIA_TYPE& type) override;
  void BreakConnection() override;

 private:
  HRESULT StreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps);
  static HRESULT AdvertisedCapability(SIZE size, AM_MEDIA_TYPE** type, BYTE* caps);
  void Stream();
  bool WaitUntil(REFERENCE_TIME due);
  void Deliver(LONGLONG number, REFERENCE_TIME streamTime, REFERENCE_TIME frameTime);
  bool LayoutFor(const AM_MEDIA_TYPE& type, SampleLayout* layout);
  bool AdoptSampleLayout(IMediaSample* sample);

  CaptureFilter* device_;
  bool configurable_;
  bool renderable_;
  Microsoft::WRL::ComPtr<IMemInputPin> input_;
  Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
  std::thread thread_;
  scoped::Handle wake_;  // set to end the streaming thread
  std::atomic<bool> running_{false};
  std::atomic<REFERENCE_TIME> start_{0};
  TestPattern pattern_;
  SampleLayout layout_;               // of the connection, or of the last sample that named one
  bool sampleLayoutRefused_ = false;  // the last layout a sample named cannot be painted
  unsigned patternGeneration_ = ~0u;
};

}  // namespace simcam
