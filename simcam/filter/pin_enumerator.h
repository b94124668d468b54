#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

#include "simcam/filter/module_state.h"

namespace simcam {

// IEnumPins over a fixed set of pins; holds the filter alive while it exists.
class PinEnumerator : public IEnumPins, public LiveObject {
 public:
  PinEnumerator(IBaseFilter* filter, std::vector<IPin*> pins, size_t position = 0);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** clone) override;

 private:
  std::atomic<ULONG> references_{1};
  Microsoft::WRL::ComPtr<IBaseFilter> filter_;
  std::vector<IPin*> pins_;  // owned by the filter
  size_t position_;
};

}  // namespace simcam
