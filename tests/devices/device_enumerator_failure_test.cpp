// Failures that the system device enumerator cannot be made to produce: an in-process class
// registered for CLSID_SystemDeviceEnum stands in for it while a test runs, answering a given
// result and, on success, monikers of the test's own.
#include <gtest/gtest.h>

#include "devices/device_list.h"
#include "tests/support/doubles/class_replacement.h"
#include "tests/support/doubles/test_filter.h"
#include "tests/support/doubles/test_moniker.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/simcam_devices.h"

namespace {

using Monikers = std::vector<Microsoft::WRL::ComPtr<IMoniker>>;

class FailingDevEnum : public testsupport::Counted<ICreateDevEnum> {
 public:
  FailingDevEnum(HRESULT result, Monikers monikers) : result_(result), monikers_(std::move(monikers)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_ICreateDevEnum) return E_NOINTERFACE;
    *object = static_cast<ICreateDevEnum*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP CreateClassEnumerator(REFCLSID, IEnumMoniker** monikers, DWORD) override {
    *monikers = nullptr;
    if (result_ == S_OK && !monikers_.empty()) *monikers = testsupport::EnumerateMonikers(monikers_).Detach();
    return result_;
  }

 private:
  HRESULT result_;
  Monikers monikers_;
};

// Creates FailingDevEnum objects, or fails creation itself when `createResult` is a failure.
class Factory : public testsupport::Counted<IClassFactory> {
 public:
  Factory(HRESULT createResult, HRESULT enumeratorResult, Monikers monikers)
      : create_(createResult), enumerator_(enumeratorResult), monikers_(std::move(monikers)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** object) override {
    *object = nullptr;
    if (FAILED(create_)) return create_;
    FailingDevEnum* enumerator = new FailingDevEnum(enumerator_, monikers_);
    const HRESULT hr = enumerator->QueryInterface(iid, object);
    enumerator->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  HRESULT create_, enumerator_;
  Monikers monikers_;
};

Microsoft::WRL::ComPtr<IClassFactory> NewFactory(HRESULT createResult, HRESULT enumeratorResult, Monikers monikers) {
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  factory.Attach(new Factory(createResult, enumeratorResult, std::move(monikers)));
  return factory;
}

class ReplacedEnumerator {
 public:
  ReplacedEnumerator(HRESULT createResult, HRESULT enumeratorResult, Monikers monikers = {})
      : replacement_(CLSID_SystemDeviceEnum, NewFactory(createResult, enumeratorResult, std::move(monikers)).Get()) {}
  HRESULT registered() const { return replacement_.registered(); }

 private:
  testsupport::ClassReplacement replacement_;
};

class DeviceEnumeratorFailure : public testsupport::KitTest {
 protected:
  // Every case starts from a filled list, so that "empty afterwards" means "emptied".
  void SetUp() override {
    Register({testsupport::Device(L"Cam")});
    ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
    ASSERT_EQ(list.size(), 1u);
  }
  DeviceList list;
};

TEST_F(DeviceEnumeratorFailure, EnumeratorThatCannotBeCreatedGivesItsCode) {
  ReplacedEnumerator replaced(E_OUTOFMEMORY, S_OK);
  ASSERT_EQ(replaced.registered(), S_OK);
  EXPECT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), E_OUTOFMEMORY);
  EXPECT_TRUE(list.empty());
}

TEST_F(DeviceEnumeratorFailure, FailingClassEnumeratorGivesItsCodeUnchanged) {
  const HRESULT vfwError = static_cast<HRESULT>(0x80040217L);  // VFW_E_CANNOT_CONNECT
  ReplacedEnumerator replaced(S_OK, vfwError);
  ASSERT_EQ(replaced.registered(), S_OK);
  EXPECT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), vfwError);
  EXPECT_TRUE(list.empty());
}

TEST_F(DeviceEnumeratorFailure, ClassEnumeratorSuccessWithoutEnumeratorIsAFailure) {
  ReplacedEnumerator replaced(S_OK, S_OK);
  ASSERT_EQ(replaced.registered(), S_OK);
  EXPECT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), E_POINTER);
  EXPECT_TRUE(list.empty());
}

// The property bag is the platform's, but a device's registration is the driver's: a name read
// back as another type than text is no name, and the device is not listed.
TEST_F(DeviceEnumeratorFailure, ANameThatIsNotTextDropsItsDevice) {
  auto monikerNamed = [](VARIANT name) {
    testsupport::TestFilter* filter = new testsupport::TestFilter;
    filter->AddPin(PINDIR_OUTPUT, L"Capture", PIN_CATEGORY_CAPTURE);
    Microsoft::WRL::ComPtr<IMoniker> moniker;
    moniker.Attach(new testsupport::TestMoniker(filter, name));
    filter->Release();
    VariantClear(&name);
    return moniker;
  };
  VARIANT number{}, text{};
  number.vt = VT_I4;
  number.lVal = 0x1234;
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(L"Text");
  ReplacedEnumerator replaced(S_OK, S_OK, {monikerNamed(number), monikerNamed(text)});
  ASSERT_EQ(replaced.registered(), S_OK);
  EXPECT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.begin()->first, L"Text");
}

}  // namespace
