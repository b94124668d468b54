#include <gtest/gtest.h>

#include "controls/capture_format.h"

namespace {

struct TaskType {
  AM_MEDIA_TYPE* type = nullptr;
  ~TaskType() { DeleteMediaType(type); }
  const VIDEOINFOHEADER& info() const { return *reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat); }
};

TEST(VideoType, WorkedValuesAt15FramesPerSecond) {
  TaskType vga;
  ASSERT_EQ(CreateVideoType(&vga.type, MEDIASUBTYPE_RGB24, 24, 640, 480, 15.0), S_OK);
  EXPECT_EQ(vga.type->majortype, MEDIATYPE_Video);
  EXPECT_EQ(vga.type->formattype, FORMAT_VideoInfo);
  EXPECT_TRUE(vga.type->bFixedSizeSamples);
  EXPECT_EQ(vga.type->pUnk, nullptr);
  EXPECT_EQ(vga.type->cbFormat, 88u);
  EXPECT_EQ(vga.info().AvgTimePerFrame, 666666);
  EXPECT_EQ(vga.type->lSampleSize, 921600u);
  EXPECT_EQ(vga.info().bmiHeader.biSizeImage, 921600u);
  EXPECT_EQ(vga.info().dwBitRate, 110592000u);
  EXPECT_EQ(vga.info().bmiHeader.biSize, 40u);
  EXPECT_EQ(vga.info().bmiHeader.biPlanes, 1);
  EXPECT_EQ(vga.info().bmiHeader.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(vga.info().rcSource.right, 0);

  TaskType odd;
  ASSERT_EQ(CreateVideoType(&odd.type, MEDIASUBTYPE_RGB24, 24, 161, 120, 15.0), S_OK);
  EXPECT_EQ(odd.info().bmiHeader.biSizeImage, 58080u);  // stride 484

  TaskType large;  // 1.2 GB a frame at 60 fps: more bits a second than the field holds
  ASSERT_EQ(CreateVideoType(&large.type, MEDIASUBTYPE_RGB24, 24, 20000, 20000, 60.0), S_OK);
  EXPECT_EQ(large.info().dwBitRate, 0xffffffffu);
}

TEST(VideoType, InvalidSizesAndRatesAllocateNothing) {
  const struct {
    LONG width, height;
    double rate;
  } cases[] = {{0, 480, 15.0}, {640, -1, 15.0}, {640, 480, 0.0}, {640, 480, -5.0}};
  for (const auto& item : cases) {
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(CreateVideoType(&type, MEDIASUBTYPE_RGB24, 24, item.width, item.height, item.rate), E_INVALIDARG);
    EXPECT_EQ(type, nullptr);
  }
  EXPECT_EQ(CreateVideoType(nullptr, MEDIASUBTYPE_RGB24, 24, 640, 480, 15.0), E_POINTER);
  AM_MEDIA_TYPE* huge = nullptr;
  EXPECT_EQ(CreateVideoType(&huge, MEDIASUBTYPE_RGB32, 32, 0x7fffffff, 0x7fffffff, 15.0), E_INVALIDARG)
      << "an image size beyond 32 bits is refused rather than wrapped";
  EXPECT_EQ(huge, nullptr);
}

TEST(VideoType, ImageSizesBeyond32BitsAreRefusedAtAnyDepth) {
  // Rows of 2^33 and 2^34 bytes: their images are exactly 2^64 bytes, 0 once wrapped.
  const struct {
    WORD bits;
    LONG width, height;
  } cases[] = {{64, 1 << 30, -0x7fffffff - 1}, {0x8000, 1 << 22, 1 << 30}, {32, 0x7fffffff, 0x7fffffff}};
  for (const auto& item : cases) {
    std::unique_ptr<BYTE[]> block;
    DWORD size = 0;
    EXPECT_EQ(BuildBitmapHeader(MEDIASUBTYPE_ARGB32, item.bits, item.width, item.height, &block, &size), E_INVALIDARG)
        << item.bits << " bits, " << item.width << " x " << item.height;
  }
}

TEST(VideoType, ColourTablesForPalettedRgbAndFourccForOthers) {
  const struct {
    GUID subtype;
    WORD bits;
    DWORD blockSize;
    DWORD compression;
  } cases[] = {
      {MEDIASUBTYPE_RGB1, 1, 40 + 8, BI_RGB},
      {MEDIASUBTYPE_RGB4, 4, 40 + 64, BI_RGB},
      {MEDIASUBTYPE_RGB8, 8, 40 + 1024, BI_RGB},
      {MEDIASUBTYPE_RGB565, 16, 40, BI_RGB},
      {MEDIASUBTYPE_RGB32, 32, 40, BI_RGB},
      {MEDIASUBTYPE_YUY2, 16, 44, MAKEFOURCC('Y', 'U', 'Y', '2')},
      {MEDIASUBTYPE_UYVY, 16, 44, MAKEFOURCC('U', 'Y', 'V', 'Y')},
  };
  for (const auto& item : cases) {
    std::unique_ptr<BYTE[]> block;
    DWORD size = 0;
    ASSERT_EQ(BuildBitmapHeader(item.subtype, item.bits, 320, -240, &block, &size), S_OK);
    EXPECT_EQ(size, item.blockSize) << item.bits;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(block.get());
    EXPECT_EQ(header->biCompression, item.compression);
    EXPECT_EQ(header->biHeight, -240);
    EXPECT_GT(header->biSizeImage, 0u) << "positive for a top-down height";
    for (DWORD i = 40; i < size; ++i) ASSERT_EQ(block[i], 0) << "colour table zero-filled";
  }
  std::unique_ptr<BYTE[]> block;
  DWORD size = 7;
  EXPECT_EQ(BuildBitmapHeader(MEDIASUBTYPE_RGB24, 24, 1, 1, nullptr, &size), E_POINTER);
}

TEST(VideoType, BuildReplacesTheWholeFormerContent) {
  MediaType type;
  ASSERT_EQ(BuildVideoType(&type, MEDIASUBTYPE_YUY2, 320, 240, 16, 30.0), S_OK);
  ASSERT_EQ(BuildVideoType(&type, MEDIASUBTYPE_RGB24, 640, 480, 24, 15.0), S_OK);
  EXPECT_EQ(type.subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(type.cbFormat, 88u);
  EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biWidth, 640);
  EXPECT_EQ(BuildVideoType(&type, MEDIASUBTYPE_RGB24, 0, 480, 24, 15.0), E_INVALIDARG);
  EXPECT_EQ(type.cbFormat, 88u) << "a failed build keeps the content";
}

}  // namespace
