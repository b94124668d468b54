#include "devices/device_list.h"

#include <gtest/gtest.h>

#include <utility>

#include "tests/support/kit/kit_fixture.h"
#include "tests/support/kit/simcam_devices.h"

using testsupport::Device;
using testsupport::NamelessDevice;

namespace {

using Listing = std::vector<std::pair<std::wstring, unsigned>>;

// Display names in list order, each with the registration position of its device.
Listing ListOf(const DeviceList& list) {
  Listing listing;
  for (const auto& entry : list) listing.emplace_back(entry.first, testsupport::DeviceNumber(entry.second.Get()));
  return listing;
}

class DeviceDiscovery : public testsupport::KitTest {
 protected:
  void SetUp() override { ASSERT_EQ(testsupport::RemoveDevices(), S_OK); }
  std::vector<simcam::DeviceProfile> Same(const std::wstring& name, int count) {
    return std::vector<simcam::DeviceProfile>(static_cast<size_t>(count), Device(name));
  }

  DeviceList list;
};

TEST_F(DeviceDiscovery, EqualNamesAreAllNumberedInEnumerationOrder) {
  Register({Device(L"USB Camera"), Device(L"TV Card"), Device(L"USB Camera"), Device(L"USB Camera")});
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  EXPECT_EQ(ListOf(list),
            (Listing{{L"TV Card", 2}, {L"USB Camera #01", 1}, {L"USB Camera #02", 3}, {L"USB Camera #03", 4}}));
  EXPECT_EQ(testsupport::DeviceNumber(list.Find(L"USB Camera #02")), 3u);
  EXPECT_EQ(list.Find(L"USB Camera"), nullptr);
}

TEST_F(DeviceDiscovery, GeneratedNameMeetingADevicesOwnNameIsResolvedByAnotherPass) {
  Register({Device(L"Cam #01"), Device(L"Cam"), Device(L"Cam")});
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  EXPECT_EQ(ListOf(list), (Listing{{L"Cam #01 #01", 1}, {L"Cam #01 #02", 2}, {L"Cam #02", 3}}));
}

TEST_F(DeviceDiscovery, TwelveAndHundredAndOneEqualNames) {
  Register(Same(L"Webcam", 12));
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  Listing twelve = ListOf(list);
  ASSERT_EQ(twelve.size(), 12u);
  EXPECT_EQ(twelve.front(), std::make_pair(std::wstring(L"Webcam #01"), 1u));
  EXPECT_EQ(twelve[8], std::make_pair(std::wstring(L"Webcam #09"), 9u));
  EXPECT_EQ(twelve.back(), std::make_pair(std::wstring(L"Webcam #12"), 12u));

  Register(Same(L"Webcam", 101));
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  ASSERT_EQ(list.size(), 101u);
  EXPECT_EQ(testsupport::DeviceNumber(list.Find(L"Webcam #100")), 100u);
  EXPECT_EQ(testsupport::DeviceNumber(list.Find(L"Webcam #101")), 101u);
  // Code-unit order puts "#100" and "#101" between "#10" and "#11".
  EXPECT_EQ(std::next(list.begin(), 10)->first, L"Webcam #100");
}

TEST_F(DeviceDiscovery, EmptyNamesBecomeUnknownAndCaseMatters) {
  Register({Device(L""), Device(L"cam"), Device(L""), Device(L"Cam")});
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  EXPECT_EQ(ListOf(list), (Listing{{L"Cam", 4}, {L"Unknown #01", 1}, {L"Unknown #02", 3}, {L"cam", 2}}));
}

TEST_F(DeviceDiscovery, ANameEndsAtItsFirstNulAsTheListShowsIt) {
  Register({Device(std::wstring(L"Cam\0A", 5)), Device(L"Cam"), Device(std::wstring(L"\0X", 2))});
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  EXPECT_EQ(ListOf(list), (Listing{{L"Cam #01", 1}, {L"Cam #02", 2}, {L"Unknown", 3}}));
}

TEST_F(DeviceDiscovery, UnusableDevicesAreDroppedWithoutChangingTheResult) {
  Register({NamelessDevice(), Device(L"No Capture", L"capture-pin = none"), Device(L"Named Pin", L"capture-pin = name"),
            Device(L"Broken", L"fail = Load 1 E_FAIL"), Device(L"Pins Fail", L"fail = EnumPins 1 E_OUTOFMEMORY"),
            Device(L"Good"), Device(L"Number", L"name-type = number")});
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  // "Pins Fail" keeps its capture pin through FindPin by name after the failed search; a name
  // that is not text is no name.
  EXPECT_EQ(ListOf(list), (Listing{{L"Good", 6}, {L"Named Pin", 3}, {L"Pins Fail", 5}}));
}

TEST_F(DeviceDiscovery, AllDevicesDroppedIsSuccessWithNoEntries) {
  Register({NamelessDevice(), Device(L"No Capture", L"capture-pin = none")});
  EXPECT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  EXPECT_TRUE(list.empty());
}

TEST_F(DeviceDiscovery, RejectedOrEmptyCategoryLeavesNoEarlierEntry) {
  Register({Device(L"Cam")});
  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.Enumerate(CLSID_VideoCompressorCategory), E_INVALIDARG);
  EXPECT_TRUE(list.empty());

  ASSERT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_OK);
  ASSERT_EQ(testsupport::RemoveDevices(), S_OK);
  EXPECT_EQ(list.Enumerate(CLSID_VideoInputDeviceCategory), S_FALSE);
  EXPECT_TRUE(list.empty());
}

TEST_F(DeviceDiscovery, AudioCategoryIsAccepted) {
  EXPECT_TRUE(SUCCEEDED(list.Enumerate(CLSID_AudioInputDeviceCategory)));
}

}  // namespace
