#include "capture/pin_lookup.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include "tests/support/doubles/test_filter.h"

using Microsoft::WRL::ComPtr;
using testsupport::TestFilter;
using testsupport::TestPin;

namespace {

struct FilterHolder {
  TestFilter* filter = new TestFilter;
  ~FilterHolder() {
    EXPECT_EQ(filter->references, 1u) << "a lookup kept or lost a filter reference";
    filter->Release();
  }
};

TEST(PinLookup, CapturePinByCategoryAndPreviewFallsBackToItsName) {
  FilterHolder holder;
  TestPin* capture = holder.filter->AddPin(PINDIR_OUTPUT, L"Video", PIN_CATEGORY_CAPTURE);
  {
    ComPtr<IPin> pin;
    EXPECT_EQ(FindCapturePin(holder.filter, &pin), S_OK);
    EXPECT_EQ(pin.Get(), capture);
    EXPECT_EQ(capture->references, 2u);
  }
  EXPECT_EQ(capture->references, 1u);
  ComPtr<IPin> preview;
  EXPECT_EQ(FindPreviewPin(holder.filter, &preview), VFW_E_NOT_FOUND);  // FindPin's own answer
  EXPECT_EQ(preview, nullptr);
  EXPECT_EQ(holder.filter->findPinCalls, 1);
}

TEST(PinLookup, PreviewPinWinsOverVideoPortPin) {
  FilterHolder holder;
  holder.filter->AddPin(PINDIR_OUTPUT, L"Capture", PIN_CATEGORY_CAPTURE);
  holder.filter->AddPin(PINDIR_OUTPUT, L"VP", PIN_CATEGORY_VIDEOPORT);
  TestPin* preview = holder.filter->AddPin(PINDIR_OUTPUT, L"Pv", PIN_CATEGORY_PREVIEW);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPreviewPin(holder.filter, &pin), S_OK);
  EXPECT_EQ(pin.Get(), preview);
}

TEST(PinLookup, VideoPortAndNameAreLaterPreviewAttempts) {
  FilterHolder holder;
  TestPin* port = holder.filter->AddPin(PINDIR_OUTPUT, L"VP", PIN_CATEGORY_VIDEOPORT);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPreviewPin(holder.filter, &pin), S_OK);
  EXPECT_EQ(pin.Get(), port);

  FilterHolder named;
  TestPin* preview = named.filter->AddPin(PINDIR_OUTPUT, L"Preview");
  preview->hasPropertySet = false;
  ComPtr<IPin> byName;
  EXPECT_EQ(FindPreviewPin(named.filter, &byName), S_OK);
  EXPECT_EQ(byName.Get(), preview);
}

TEST(PinLookup, UnreadableCategoryStopsTheSearchAndOnlyTheNameCanSucceed) {
  FilterHolder holder;
  TestPin* first = holder.filter->AddPin(PINDIR_OUTPUT, L"Capture");
  first->hasPropertySet = false;
  TestPin* later = holder.filter->AddPin(PINDIR_OUTPUT, L"Later", PIN_CATEGORY_CAPTURE);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPinByCategory(holder.filter, PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, &pin), E_NOINTERFACE);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(later->categoryReads, 0);
  EXPECT_EQ(FindCapturePin(holder.filter, &pin), S_OK);
  EXPECT_EQ(pin.Get(), first);
}

TEST(PinLookup, FailingCategoryReadEndsWithItsCode) {
  FilterHolder holder;
  holder.filter->AddPin(PINDIR_OUTPUT, L"A", PIN_CATEGORY_CAPTURE)->getCategoryResult = E_ACCESSDENIED;
  holder.filter->AddPin(PINDIR_OUTPUT, L"B", PIN_CATEGORY_CAPTURE);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPinByCategory(holder.filter, PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, &pin), E_ACCESSDENIED);
}

TEST(PinLookup, FailingPinInfoEndsTheSearchAndReleasesEverything) {
  FilterHolder holder;
  TestPin* broken = holder.filter->AddPin(PINDIR_OUTPUT, L"A", PIN_CATEGORY_CAPTURE);
  broken->queryPinInfoResult = E_UNEXPECTED;
  holder.filter->AddPin(PINDIR_OUTPUT, L"B", PIN_CATEGORY_CAPTURE);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPinByCategory(holder.filter, PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, &pin), E_UNEXPECTED);
  EXPECT_EQ(broken->references, 1u);
}

TEST(PinLookup, NullCategoryTakesTheFirstPinOfTheDirectionWithoutReading) {
  FilterHolder holder;
  TestPin* output = holder.filter->AddPin(PINDIR_OUTPUT, L"Out", PIN_CATEGORY_CAPTURE);
  TestPin* input = holder.filter->AddPin(PINDIR_INPUT, L"In", PIN_CATEGORY_ANALOGVIDEOIN);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPinByCategory(holder.filter, PINDIR_INPUT, GUID_NULL, &pin), S_OK);
  EXPECT_EQ(pin.Get(), input);
  EXPECT_EQ(output->categoryReads, 0);
  EXPECT_EQ(input->categoryReads, 0);
}

TEST(PinLookup, PinsOfTheOtherDirectionAreNeverAsked) {
  FilterHolder holder;
  TestPin* output = holder.filter->AddPin(PINDIR_OUTPUT, L"Out", PIN_CATEGORY_CAPTURE);
  output->hasPropertySet = false;  // would stop the search if it were asked
  TestPin* input = holder.filter->AddPin(PINDIR_INPUT, L"In", PIN_CATEGORY_ANALOGVIDEOIN);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindAnalogVideoInPin(holder.filter, &pin), S_OK);
  EXPECT_EQ(pin.Get(), input);
}

TEST(PinLookup, NoPinOfTheDirectionIsAFailure) {
  FilterHolder holder;
  holder.filter->AddPin(PINDIR_OUTPUT, L"Out", PIN_CATEGORY_CAPTURE);
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPinByCategory(holder.filter, PINDIR_INPUT, GUID_NULL, &pin), E_FAIL);
  EXPECT_EQ(FindAnalogVideoInPin(holder.filter, &pin), E_FAIL);
}

TEST(PinLookup, NullArgumentsAndBrokenEnumerators) {
  ComPtr<IPin> pin;
  EXPECT_EQ(FindPinByCategory(nullptr, PINDIR_OUTPUT, GUID_NULL, &pin), E_POINTER);
  EXPECT_EQ(FindCapturePin(nullptr, &pin), E_POINTER);
  EXPECT_EQ(FindPreviewPin(nullptr, &pin), E_POINTER);
  EXPECT_EQ(FindAnalogVideoInPin(nullptr, &pin), E_POINTER);

  FilterHolder failing;
  failing.filter->enumPinsResult = E_OUTOFMEMORY;
  EXPECT_EQ(FindPinByCategory(failing.filter, PINDIR_OUTPUT, GUID_NULL, &pin), E_OUTOFMEMORY);
  EXPECT_EQ(FindPinByCategory(failing.filter, PINDIR_OUTPUT, GUID_NULL, nullptr), E_POINTER);

  FilterHolder lying;  // S_OK without a pin must not be dereferenced
  lying.filter->AddPin(PINDIR_OUTPUT, L"Out", PIN_CATEGORY_CAPTURE);
  lying.filter->walk.givesNull = true;
  EXPECT_EQ(FindPinByCategory(lying.filter, PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, &pin), E_POINTER);
  EXPECT_EQ(pin, nullptr);
  lying.filter->walk.givesNull = false;
  lying.filter->pins[0]->category = GUID_NULL;
  lying.filter->findPinGivesNull = true;  // found "by name", without a pin
  EXPECT_TRUE(FAILED(FindCapturePin(lying.filter, &pin)));
  EXPECT_TRUE(FAILED(FindPreviewPin(lying.filter, &pin)));
  EXPECT_EQ(pin, nullptr);

  FilterHolder endless;  // answers S_OK with the same input pin for ever
  endless.filter->AddPin(PINDIR_INPUT, L"In");
  endless.filter->walk.repeatsFirst = true;
  EXPECT_TRUE(FAILED(FindPinByCategory(endless.filter, PINDIR_OUTPUT, GUID_NULL, &pin)));
  EXPECT_EQ(pin, nullptr);
}

TEST(PinLookup, FormatHelpersRefuseNullAndPinsWithoutStreamConfig) {
  FilterHolder holder;
  TestPin* pin = holder.filter->AddPin(PINDIR_OUTPUT, L"Capture", PIN_CATEGORY_CAPTURE);
  EXPECT_EQ(GetPinFormat(nullptr), nullptr);
  EXPECT_EQ(GetPinFormat(pin), nullptr);
  MediaType type;
  EXPECT_EQ(SetPinFormat(nullptr, pin), E_POINTER);
  EXPECT_EQ(SetPinFormat(&type, nullptr), E_POINTER);
  EXPECT_EQ(SetPinFormat(&type, pin), E_NOINTERFACE);
}

}  // namespace
