#include "capture/media_type.h"

#include <gtest/gtest.h>

#include "tests/support/doubles/test_filter.h"

namespace {

// A counted object whose references the media type must keep exactly.
class Unknown : public testsupport::Counted<IUnknown> {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
};

AM_MEDIA_TYPE TypeWithBlock(ULONG size, IUnknown* unknown) {
  AM_MEDIA_TYPE type;
  InitMediaType(&type);
  type.majortype = MEDIATYPE_Video;
  type.subtype = MEDIASUBTYPE_RGB24;
  type.formattype = FORMAT_VideoInfo;
  type.cbFormat = size;
  type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
  for (ULONG i = 0; i < size; ++i) type.pbFormat[i] = static_cast<BYTE>(i);
  type.pUnk = unknown;
  return type;
}

TEST(MediaType, InitialisedTypeHasFixedSamplesOfSizeOneAndNothingElse) {
  MediaType type;
  EXPECT_EQ(type.majortype, GUID_NULL);
  EXPECT_EQ(type.formattype, GUID_NULL);
  EXPECT_TRUE(type.bFixedSizeSamples);
  EXPECT_FALSE(type.bTemporalCompression);
  EXPECT_EQ(type.lSampleSize, 1u);
  EXPECT_EQ(type.cbFormat, 0u);
  EXPECT_EQ(type.pbFormat, nullptr);
  EXPECT_EQ(type.pUnk, nullptr);
}

TEST(MediaType, CopyOwnsItsOwnBlockAndCountsTheUnknown) {
  Unknown* unknown = new Unknown;
  AM_MEDIA_TYPE source = TypeWithBlock(88, unknown);
  {
    HRESULT hr = S_OK;
    MediaType copy(source, &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_NE(copy.pbFormat, source.pbFormat);
    ASSERT_EQ(copy.cbFormat, 88u);
    EXPECT_EQ(copy.pbFormat[87], 87);
    EXPECT_EQ(copy.subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(unknown->references, 2u);
  }
  EXPECT_EQ(unknown->references, 1u);
  unknown->AddRef();
  FreeMediaType(&source);
  EXPECT_EQ(source.pUnk, nullptr);
  EXPECT_EQ(source.pbFormat, nullptr);
  EXPECT_EQ(unknown->references, 1u);
  unknown->Release();
}

TEST(MediaType, ZeroSizedFormatIsNeverTouched) {
  BYTE foreign[4] = {1, 2, 3, 4};  // not task-allocated: freeing it would corrupt the heap
  AM_MEDIA_TYPE source;
  InitMediaType(&source);
  source.pbFormat = foreign;
  MediaType copy(source);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(copy.pbFormat, foreign);
  FreeMediaType(&copy);
  EXPECT_EQ(copy.pbFormat, foreign);
  copy.Reinitialize();
}

TEST(MediaType, SizeWithoutABlockIsCopiedAsNoBlock) {
  AM_MEDIA_TYPE source;
  InitMediaType(&source);
  source.formattype = FORMAT_VideoInfo;
  source.cbFormat = sizeof(VIDEOINFOHEADER);  // a driver's claim with nothing behind it
  AM_MEDIA_TYPE copy;
  EXPECT_EQ(CopyMediaType(&copy, &source), S_OK);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(copy.pbFormat, nullptr);
  FreeMediaType(&copy);
}

TEST(MediaType, FreeingTwiceFreesOnce) {
  Unknown* unknown = new Unknown;
  unknown->AddRef();
  AM_MEDIA_TYPE type = TypeWithBlock(16, unknown);
  FreeMediaType(&type);
  FreeMediaType(&type);
  EXPECT_EQ(unknown->references, 1u);
  EXPECT_EQ(type.cbFormat, 0u);
  EXPECT_EQ(type.majortype, MEDIATYPE_Video);  // only ownership is dropped
  unknown->Release();
}

TEST(MediaType, DeleteOfNullDoesNothingAndDeleteOfTaskTypeFreesAll) {
  DeleteMediaType(nullptr);
  Unknown* unknown = new Unknown;
  unknown->AddRef();
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  *type = TypeWithBlock(32, unknown);
  DeleteMediaType(type);
  EXPECT_EQ(unknown->references, 1u);
  unknown->Release();
}

TEST(MediaType, AssignmentToItselfChangesNothing) {
  AM_MEDIA_TYPE source = TypeWithBlock(24, nullptr);
  MediaType type(source);
  BYTE* block = type.pbFormat;
  EXPECT_EQ(type.Assign(type), S_OK);
  EXPECT_EQ(type.pbFormat, block);
  EXPECT_EQ(type.pbFormat[23], 23);
  FreeMediaType(&source);
}

TEST(MediaType, AssignmentReplacesTheFormerTypeAndItsReferences) {
  Unknown* first = new Unknown;
  Unknown* second = new Unknown;
  AM_MEDIA_TYPE a = TypeWithBlock(8, first);
  AM_MEDIA_TYPE b = TypeWithBlock(12, second);
  MediaType target(a);
  const MediaType other(b);
  EXPECT_EQ(first->references, 2u);
  EXPECT_EQ(target.Assign(other), S_OK);
  EXPECT_EQ(first->references, 1u);
  EXPECT_EQ(second->references, 3u);
  EXPECT_EQ(target.cbFormat, 12u);
  EXPECT_NE(target.pbFormat, other.pbFormat);
  FreeMediaType(&a);
  FreeMediaType(&b);
}

}  // namespace
