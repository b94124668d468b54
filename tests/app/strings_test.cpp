// The string table and the device error box.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/app/app_fixture.h"
#include "tests/support/modal_driver.h"

using testsupport::AppTest;
using testsupport::ModalDriver;

namespace {

class Strings : public AppTest {};

TEST_F(Strings, TableHoldsTheProgramsTexts) {
  std::wstring text;
  EXPECT_EQ(LoadResourceString(&text, IDS_DEVICE_LOST), 31);
  EXPECT_EQ(text, L"The device \"%s\" has been lost. ");
  LoadResourceString(&text, IDS_WINDOW_CLASS);
  EXPECT_EQ(text, L"VANTORQMIRASEE");
  EXPECT_EQ(LoadResourceString(&text, 4711), 0);
  EXPECT_EQ(text, L"Resource error!");
  std::wstring digits;
  for (int i = 0; i < 30; ++i) digits += L"0123456789";
  EXPECT_EQ(LoadResourceString(&text, 4000), 254) << "a 300-character string is cut";
  EXPECT_EQ(text, digits.substr(0, 254));
}

TEST_F(Strings, DeviceErrorsShowTheNameLiterallyCutAt2047AndNothingForAMissingString) {
  std::vector<std::wstring> shown;
  ModalDriver driver([&](HWND box) {
    shown.push_back(testsupport::DialogText(box));
    testsupport::PressButton(box, IDOK);
    return true;
  });
  ShowDeviceError(g_mainWindow, 4711, L"ignored");
  const std::wstring longName(3000, L'x');
  ShowDeviceError(g_mainWindow, IDS_START_FAILED, longName.c_str());
  ShowDeviceError(g_mainWindow, IDS_DEVICE_LOST, L"%s %n %ls %%");
  ASSERT_EQ(shown.size(), 2u) << "no box for a missing string";
  EXPECT_EQ(shown[0].size(), 2047u);
  EXPECT_EQ(shown[0].substr(0, 40), L"Unable to start the selected device \"xxx");
  EXPECT_EQ(shown[1], L"The device \"%s %n %ls %%\" has been lost. ");
}

}  // namespace
