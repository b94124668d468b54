#pragma once

#include <dshow.h>
#include <windows.h>
#include <wrl/client.h>

#include <mutex>
#include <string>

namespace simcam {

class FilterBase;

// What every pin of the kit shares. Its lifetime is its filter's: references to the pin count on
// the filter. A pin with category GUID_NULL has no IKsPropertySet, as on drivers that name pins
// only.
class PinBase : public IPin, public IKsPropertySet {
 public:
  PinBase(FilterBase* filter, std::wstring id, PIN_DIRECTION direction, const GUID& category);
  virtual ~PinBase();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin
  STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD size) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD size,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  const std::wstring& id() const { return id_; }
  bool IsConnected();
  Microsoft::WRL::ComPtr<IPin> peer();
  // Connects an output pin of the kit to `receiver`: with `type` when it is whole, else with the
  // pin's preferred type if it agrees with what `type` gives.
  HRESULT ConnectTo(IPin* receiver, const AM_MEDIA_TYPE* type = nullptr);
  void EnumPreferred(AM_MEDIA_TYPE** type);

 protected:
  // The type this pin offers for a connection, task-allocated; null when it offers none.
  virtual AM_MEDIA_TYPE* PreferredType() = 0;
  virtual bool Accepts(const AM_MEDIA_TYPE& type) = 0;
  // After the peer accepted `type` (output pins: allocator negotiation); a failure undoes it.
  virtual HRESULT CompleteConnection(IPin* peer, const AM_MEDIA_TYPE& type);
  virtual void BreakConnection();

  FilterBase* filter_;
  std::mutex pinLock_;
  AM_MEDIA_TYPE connectionType_{};

 private:
  std::wstring id_;
  PIN_DIRECTION direction_;
  GUID category_;
  Microsoft::WRL::ComPtr<IPin> connected_;
};

}  // namespace simcam
