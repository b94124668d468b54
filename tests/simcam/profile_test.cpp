#include "simcam/common/profile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

using simcam::ParseProfiles;

TEST(Profile, CardWithChainedCrossbarsTunerAndFormats) {
  const auto parsed = ParseProfiles(
      L"# a card\n[device]\nname = Card #01\\0x\nformat = RGB24 720x576 25\nformat = YUY2 320x240 30 vih2\n"
      L"default-format = 2\n"
      L"crossbar = Main: Tuner~3 Composite SVideo<Extra.0 AudioTuner~0 -> VideoDecoder~1 AudioDecoder~0\n"
      L"crossbar = Extra: SVideo 0x20 -> VideoDecoder\nrefuse-route = Extra 1\ntuner = yes\n"
      L"fail = Route 3 0x80004005\nlie = EnumPins 2 endless-same program\nstall-after = 7\nblock-in = "
      L"pause\n[device]\n");
  ASSERT_EQ(parsed.error, L"");
  ASSERT_EQ(parsed.devices.size(), 2u);
  const simcam::DeviceProfile& card = parsed.devices[0];
  EXPECT_EQ(card.name, std::wstring(L"Card #01\0x", 10));  // '#' inside a value is no comment; "\0" a NUL
  ASSERT_EQ(card.formats.size(), 2u);
  EXPECT_EQ(card.formats[1].pixels, simcam::PixelFormat::YUY2);
  EXPECT_TRUE(card.formats[1].videoInfo2);
  EXPECT_EQ(card.defaultFormat, 1u);
  ASSERT_EQ(card.crossbars.size(), 2u);
  const auto& main = card.crossbars[0];
  EXPECT_EQ(main.inputs[0].type, 1);
  EXPECT_EQ(main.inputs[0].related, 3);
  EXPECT_EQ(main.inputs[1].related, -1);
  EXPECT_EQ(main.inputs[2].fedBy, 1);
  EXPECT_EQ(main.inputs[3].type, 0x1000);
  EXPECT_EQ(main.outputs[1].type, 0x1009);
  EXPECT_EQ(card.crossbars[1].inputs[1].type, 0x20);
  EXPECT_FALSE(card.crossbars[1].inputs[1].routable);
  EXPECT_TRUE(card.tuner);
  EXPECT_EQ(card.faults.at(L"Route").call, 3);
  EXPECT_EQ(card.faults.at(L"Route").result, E_FAIL);
  EXPECT_EQ(card.faults.at(L"Route").lie, simcam::Lie::None);
  EXPECT_EQ(card.faults.at(L"EnumPins").call, 2);
  EXPECT_EQ(card.faults.at(L"EnumPins").result, S_OK);
  EXPECT_EQ(card.faults.at(L"EnumPins").lie, simcam::Lie::EndlessSame);
  EXPECT_TRUE(card.faults.at(L"EnumPins").programOnly);
  EXPECT_EQ(card.stallAfterFrames, 7);
  EXPECT_EQ(card.blockIn, simcam::BlockIn::Pause);
  EXPECT_FALSE(parsed.devices[1].hasName);
  EXPECT_EQ(parsed.devices[1].formats.size(), simcam::DefaultFormats().size());
}

TEST(Profile, MistakesNameTheirLineAndYieldNoDevice) {
  const struct {
    const wchar_t* text;
    const wchar_t* error;
  } cases[] = {
      {L"name = x\n", L"line 1: settings before the first [device]"},
      {L"[device]\n\nformat = RGB24 0x480 30\n", L"line 3: format takes: RGB24|RGB32|YUY2|MJPG WxH FPS [vih2]"},
      {L"[device]\ncolour = red\n", L"line 2: unknown key 'colour'"},
      {L"[device]\nfail = Route zero E_FAIL\n", L"line 2: fail takes: Method call-number HRESULT [program]"},
      {L"[device]\nfail = Route 1 E_FAIL anyone\n", L"line 2: fail takes: Method call-number HRESULT [program]"},
      {L"[device]\nlie = Route 1 E_FAIL\n", L"line 2: lie takes: Method call-number KIND [program]"},
      {L"[device]\nfail = Stop 1 E_FAIL\n", L"line 2: fail takes: Method call-number HRESULT [program]"},
      {L"[device]\nstall-after = -1\n", L"line 2: stall-after takes a frame count"},
      {L"[device]\nblock-in = sideways\n", L"line 2: block-in takes: pause|run|stop|disconnect [MILLISECONDS]"},
      {L"[device]\nblock-in = run 0\n", L"line 2: block-in takes: pause|run|stop|disconnect [MILLISECONDS]"},
      {L"[device]\ncrossbar = A: Composite<B.0 -> VideoDecoder\n", L"crossbar input fed by unknown crossbar output B"},
      {L"[device]\ndefault-format = 9\n", L"default-format is beyond the formats"},
  };
  for (const auto& item : cases) {
    const auto parsed = ParseProfiles(item.text);
    EXPECT_EQ(parsed.error, item.error) << item.text;
    EXPECT_TRUE(parsed.devices.empty());
  }
}

TEST(Profile, TheReadmeNamesExactlyTheMethodsAFaultMayName) {
  std::ifstream readme(MIRASEE_SOURCE_DIR "/README.md");
  ASSERT_TRUE(readme.is_open());
  const std::string text((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
  const size_t start = text.find("Methods that `fail` can name:");
  ASSERT_NE(start, std::string::npos);
  const std::string list = text.substr(start, text.find(". ", start) - start);
  std::vector<std::wstring> named;
  const std::regex method("`([A-Za-z_]+)`");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), method); it != std::sregex_iterator(); ++it)
    if ((*it)[1] != "fail") named.push_back(simcam::Utf8ToWide((*it)[1]));
  EXPECT_EQ(named, std::vector<std::wstring>(std::begin(simcam::kFaultMethods), std::end(simcam::kFaultMethods)));
}

}  // namespace
