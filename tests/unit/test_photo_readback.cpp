#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "media/photo_decode.h"
#include "media/photo_readback.h"
#include "media/photo_write.h"
#include "support/sample_photo.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Every channel of every pixel independent: the hardest picture for a JPEG coder.
FrameImage Noise(int32_t width, int32_t height) {
  FrameImage picture(width, height);
  uint32_t state = 12345;
  for (uint32_t& p : picture.pixels) {
    state = state * 1664525u + 1013904223u;
    p = state >> 8;
  }
  return picture;
}

std::span<const uint8_t> BytesOf(const FrameImage& picture) {
  return {picture.Bytes(), picture.ByteSize()};
}

std::string Write(const FrameImage& picture, const fs::path& file, int32_t quality = 92) {
  return WritePhoto(file, PhotoTypeOf(file), BytesOf(picture), picture.width, picture.height,
                    quality);
}

std::string Check(const FrameImage& picture, const fs::path& file, int32_t quality = 92) {
  return CheckPhotoReadsBack(file, PhotoTypeOf(file), BytesOf(picture), picture.width,
                             picture.height, quality);
}

// Every pixel one of the eight corners of the colour cube at random: the most the
// clipping on the way back can move a block's brightness.
FrameImage Corners(int32_t width, int32_t height) {
  FrameImage picture = Noise(width, height);
  for (uint32_t& p : picture.pixels) p = (p & 0x00808080u) * 0xFFu / 0x80u;
  return picture;
}

// Columns of two pure colours side by side: colour detail the coder's halved colour
// planes cannot hold, clipped on the way back.
FrameImage Stripes(int32_t width, int32_t height, uint32_t a, uint32_t b) {
  FrameImage picture(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      picture.AtPicture(x, y) = x % 2 == 0 ? a : b;
    }
  }
  return picture;
}

// What the coder really loses passes at every quality, for noise and for a doughnut.
TEST(PhotoReadBack, JpegsWithinTheCodersLossPass) {
  TempDir dir;
  const FrameImage doughnut = test::MakeDoughnutPicture(640, 480);
  const FrameImage noise = Noise(320, 240);
  const FrameImage redGreen = Stripes(333, 201, PackBgrx(0, 0, 255), PackBgrx(0, 255, 0));
  const FrameImage magentaGreen = Stripes(200, 120, PackBgrx(255, 0, 255), PackBgrx(0, 255, 0));
  const FrameImage corners = Corners(160, 96);
  const FrameImage blueYellow = Stripes(64, 64, PackBgrx(255, 0, 0), PackBgrx(0, 255, 255));
  for (const int32_t quality : {1, 30, 75, 92, 100}) {
    SCOPED_TRACE(quality);
    for (const FrameImage* picture :
         {&doughnut, &noise, &corners, &redGreen, &magentaGreen, &blueYellow}) {
      const fs::path file = dir / "read back.jpg";
      ASSERT_EQ(Write(*picture, file, quality), "");
      EXPECT_EQ(Check(*picture, file, quality), "");
      const DecodedPhoto back = DecodePhoto(file);
      ASSERT_TRUE(back.ok()) << back.error;
      // Well inside the bound: the check has room on real pictures.
      EXPECT_LT(WorstBandDifference(back.image, BytesOf(*picture)), JpegLossBound(quality) / 2);
    }
  }
}

// A picture cut short, a stretch of it damaged, or another picture is caught; a band
// of other rows is caught though the whole picture's mean stays small.
TEST(PhotoReadBack, DamagedOrOtherJpegsAreCaught) {
  TempDir dir;
  const FrameImage doughnut = test::MakeDoughnutPicture(640, 480);
  const fs::path file = dir / "written.jpg";
  ASSERT_EQ(Write(doughnut, file), "");
  const std::string whole = ReadFileBytes(file);
  ASSERT_EQ(Check(doughnut, file), "");

  WriteFileBytes(file, whole.substr(0, whole.size() * 2 / 3));
  EXPECT_NE(Check(doughnut, file).find("does not read back"), std::string::npos);

  std::string damaged = whole;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 200; ++i) damaged[i] = 0x11;
  WriteFileBytes(file, damaged);
  EXPECT_NE(Check(doughnut, file), "");

  WriteFileBytes(file, whole);
  FrameImage banded = doughnut;
  for (int32_t row = 200; row < 220; ++row) {
    for (int32_t x = 0; x < banded.width; ++x) banded.Row(row)[x] ^= 0x00FFFFFFu;
  }
  EXPECT_NE(Check(banded, file).find("other pixels"), std::string::npos);

  FrameImage upsideDown(doughnut.width, doughnut.height);
  for (int32_t row = 0; row < doughnut.height; ++row) {
    std::copy_n(doughnut.Row(row), doughnut.width, upsideDown.Row(doughnut.height - 1 - row));
  }
  EXPECT_NE(Check(upsideDown, file).find("other pixels"), std::string::npos);
}

// The lossless types must give back every pixel, and every type the size written;
// a width of whole 16-pixel blocks is converted in place, any other through a copy.
TEST(PhotoReadBack, LosslessPicturesMatchPixelForPixel) {
  TempDir dir;
  for (const auto& [width, height] : {std::pair{96, 64}, std::pair{97, 65}}) {
    const FrameImage noise = Noise(width, height);
    for (const char* name : {"n.png", "n.tif"}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(width));
      const fs::path file = dir / name;
      ASSERT_EQ(Write(noise, file), "");
      EXPECT_EQ(Check(noise, file), "");
      FrameImage oneOff = noise;
      oneOff.AtPicture(50, 30) ^= 1u;
      EXPECT_NE(Check(oneOff, file).find("other pixels"), std::string::npos);
      const std::string size = std::to_string(width) + "x" + std::to_string(height);
      EXPECT_NE(CheckPhotoReadsBack(file, PhotoTypeOf(file), BytesOf(noise), height, width, 92)
                    .find("reads back at " + size),
                std::string::npos);
    }
  }
}

TEST(PhotoReadBack, BoundGrowsAsQualityFalls) {
  EXPECT_LT(JpegLossBound(100), JpegLossBound(50));
  EXPECT_LT(JpegLossBound(50), JpegLossBound(1));
  EXPECT_EQ(JpegLossBound(0), JpegLossBound(1));
  EXPECT_EQ(JpegLossBound(500), JpegLossBound(100));
}

}  // namespace
}  // namespace corvinex
