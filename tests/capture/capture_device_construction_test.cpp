// A device whose graph cannot be made: in-process classes stand in for the graph manager and the
// capture graph builder while a test runs.
#include <gtest/gtest.h>

#include "capture/capture_device.h"
#include "tests/support/app/capture_device_internals.h"
#include "tests/support/doubles/class_replacement.h"
#include "tests/support/doubles/platform_doubles.h"
#include "tests/support/doubles/test_filter.h"
#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/preview_graph.h"
#include "tests/support/kit/simcam_devices.h"

using Microsoft::WRL::ComPtr;
using Inspector = CaptureDeviceInspector;

namespace {

// A capture graph builder that accepts nothing.
class RefusingBuilder : public testsupport::Counted<ICaptureGraphBuilder2> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_ICaptureGraphBuilder2) return E_NOINTERFACE;
    *object = static_cast<ICaptureGraphBuilder2*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP SetFiltergraph(IGraphBuilder*) override { return E_UNEXPECTED; }
  STDMETHODIMP GetFiltergraph(IGraphBuilder**) override { return E_NOTIMPL; }
  STDMETHODIMP SetOutputFileName(const GUID*, LPCOLESTR, IBaseFilter**, IFileSinkFilter**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP FindInterface(const GUID*, const GUID*, IBaseFilter*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP RenderStream(const GUID*, const GUID*, IUnknown*, IBaseFilter*, IBaseFilter*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP ControlStream(const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*, WORD,
                             WORD) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AllocCapFile(LPCOLESTR, DWORDLONG) override { return E_NOTIMPL; }
  STDMETHODIMP CopyCaptureFile(LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*) override { return E_NOTIMPL; }
  STDMETHODIMP FindPin(IUnknown*, PIN_DIRECTION, const GUID*, const GUID*, BOOL, int, IPin**) override {
    return E_NOTIMPL;
  }
};

// Creation of the replaced class fails with `failure`, or yields a RefusingBuilder when it is S_OK.
class Factory : public testsupport::Counted<IClassFactory> {
 public:
  explicit Factory(HRESULT failure) : failure_(failure) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** object) override {
    *object = nullptr;
    if (FAILED(failure_)) return failure_;
    RefusingBuilder* builder = new RefusingBuilder;
    const HRESULT hr = builder->QueryInterface(iid, object);
    builder->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  HRESULT failure_;
};

Microsoft::WRL::ComPtr<IClassFactory> NewFactory(HRESULT failure) {
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  factory.Attach(new Factory(failure));
  return factory;
}

class ReplacedClass {
 public:
  ReplacedClass(REFCLSID clsid, HRESULT failure) : replacement_(clsid, NewFactory(failure).Get()) {}
  HRESULT registered() const { return replacement_.registered(); }

 private:
  testsupport::ClassReplacement replacement_;
};

// The object of a failed construction exists, refuses to open and tears down safely.
void ExpectDeviceWithoutGraph(CaptureDevice* device) {
  EXPECT_EQ(Inspector::graph(device), nullptr);
  EXPECT_EQ(Inspector::builder(device), nullptr);
  EXPECT_EQ(Inspector::control(device), nullptr);
  EXPECT_EQ(device->Open(L"Cam", testsupport::DeviceMoniker(1)), E_UNEXPECTED);
  EXPECT_EQ(device->GetName(), L"");
  device->videoWindow = GetDesktopWindow();
  EXPECT_FALSE(device->BuildPreviewGraph());
  EXPECT_FALSE(device->Run());
  EXPECT_EQ(device->SaveStateAndTearDown(), -1);
  device->TearDown();
}

class CaptureDeviceConstruction : public testsupport::KitTest {
 protected:
  void SetUp() override { Register({testsupport::Device(L"Cam")}); }
};

TEST_F(CaptureDeviceConstruction, BuilderThatCannotBeCreated) {
  ReplacedClass replaced(CLSID_CaptureGraphBuilder2, E_OUTOFMEMORY);
  ASSERT_EQ(replaced.registered(), S_OK);
  ComPtr<CaptureDevice> device(new CaptureDevice());
  ExpectDeviceWithoutGraph(device.Get());
}

TEST_F(CaptureDeviceConstruction, GraphThatCannotBeCreated) {
  ReplacedClass replaced(CLSID_FilterGraph, REGDB_E_CLASSNOTREG);
  ASSERT_EQ(replaced.registered(), S_OK);
  ComPtr<CaptureDevice> device(new CaptureDevice());
  ExpectDeviceWithoutGraph(device.Get());
}

TEST_F(CaptureDeviceConstruction, BuilderThatRefusesTheGraph) {
  ReplacedClass replaced(CLSID_CaptureGraphBuilder2, S_OK);
  ASSERT_EQ(replaced.registered(), S_OK);
  ComPtr<CaptureDevice> device(new CaptureDevice());
  ExpectDeviceWithoutGraph(device.Get());
}

TEST_F(CaptureDeviceConstruction, GraphWithoutMediaControl) {
  testsupport::ClassDouble graph(CLSID_FilterGraph);
  ASSERT_TRUE(graph.registered());
  graph.faults.refusedInterface = IID_IMediaControl;
  ComPtr<CaptureDevice> device(new CaptureDevice());
  EXPECT_EQ(graph.created, 1);
  ExpectDeviceWithoutGraph(device.Get());
}

}  // namespace
