#include <gtest/gtest.h>

#include <functional>

#include "cli/batch_options.h"
#include "cli/batch_outputs.h"
#include "convert/photo_resize.h"
#include "media/photo_decode.h"
#include "media/photo_metadata.h"
#include "media/photo_write.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// A 4 x 3 picture whose every pixel tells its own place.
FrameImage Numbered() {
  FrameImage picture(4, 3);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 4; ++x) picture.AtPicture(x, y) = static_cast<uint32_t>(10 * y + x);
  }
  return picture;
}

// The turns and mirrors written the other way round from the code under test: each
// source pixel is carried to where it goes.
FrameImage Carry(const FrameImage& from, bool swaps,
                 const std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)>& to) {
  FrameImage out(swaps ? from.height : from.width, swaps ? from.width : from.height);
  for (int32_t y = 0; y < from.height; ++y) {
    for (int32_t x = 0; x < from.width; ++x) {
      const auto [tx, ty] = to(x, y);
      out.AtPicture(tx, ty) = from.AtPicture(x, y);
    }
  }
  return out;
}
FrameImage Clockwise(const FrameImage& f) {
  return Carry(f, true, [&](int32_t x, int32_t y) { return std::pair{f.height - 1 - y, x}; });
}
FrameImage Anticlockwise(const FrameImage& f) {
  return Carry(f, true, [&](int32_t x, int32_t y) { return std::pair{y, f.width - 1 - x}; });
}
FrameImage Mirror(const FrameImage& f) {
  return Carry(f, false, [&](int32_t x, int32_t y) { return std::pair{f.width - 1 - x, y}; });
}

// Every EXIF orientation as the standard describes it: 2 mirrored, 3 half a turn,
// 4 mirrored upside down, 5 transposed, 6 a quarter clockwise to view, 7 transversed,
// 8 a quarter anticlockwise.
TEST(PhotoOrientation, EveryTagTurnsThePictureAsTheStandardSays) {
  const FrameImage stored = Numbered();
  const FrameImage expected[9] = {stored,
                                  stored,
                                  Mirror(stored),
                                  Clockwise(Clockwise(stored)),
                                  Mirror(Clockwise(Clockwise(stored))),
                                  Mirror(Clockwise(stored)),
                                  Clockwise(stored),
                                  Mirror(Anticlockwise(stored)),
                                  Anticlockwise(stored)};
  for (int32_t tag = 0; tag <= 9; ++tag) {
    SCOPED_TRACE(tag);
    FrameImage upright;
    TurnUpright(stored, tag, upright);
    const FrameImage& want = tag >= 1 && tag <= 8 ? expected[tag] : stored;
    EXPECT_EQ(upright.width, want.width);
    EXPECT_EQ(upright.height, want.height);
    EXPECT_EQ(upright.pixels, want.pixels);
    bool swaps = false;
    EXPECT_EQ(OrientationFilters(tag, swaps).empty(), tag < 2 || tag > 8);
    EXPECT_EQ(swaps, tag >= 5 && tag <= 8);
  }
}

// A 2:1 picture is a whole panorama; a lower one the band around the horizon of a
// panorama as wide as it; a higher one is no equirectangular picture at all.
TEST(PhotoOrientation, PanoramaMarksPlaceTheStripAroundTheHorizon) {
  EXPECT_EQ(PanoramaMarksFor(4000, 2000), (PanoramaMarks{true, 4000, 2000, 4000, 2000, 0, 0}));
  EXPECT_EQ(PanoramaMarksFor(3844, 1210), (PanoramaMarks{true, 3844, 1922, 3844, 1210, 0, 356}));
  EXPECT_EQ(PanoramaMarksFor(101, 50), (PanoramaMarks{true, 101, 50, 101, 50, 0, 0}));
  EXPECT_FALSE(PanoramaMarksFor(1000, 501).mark);
  EXPECT_FALSE(PanoramaMarksFor(0, 0).mark);
}

// Photos get JPEG outputs of their own, beside movies of the same name and each other.
TEST(PhotoOrientation, PhotosGetTheirOwnPictureNames) {
  test::TempDir dir;
  const auto targets = PlanBatchTargets(
      {dir / "shot.jpg", dir / "shot.PNG", dir / "shot.mp4", dir / "pano.TIFF"}, {}, {});
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets[0].output, dir / "shot_Unwrapped.jpg");
  EXPECT_EQ(targets[1].output, dir / "shot_Unwrapped_2.jpg");
  EXPECT_EQ(targets[2].output, dir / "shot_Unwrapped.mp4");
  EXPECT_EQ(targets[3].output, dir / "pano_Unwrapped.jpg");
  EXPECT_EQ(PhotoTypeOf("a.JPEG"), PhotoType::Jpeg);
  EXPECT_EQ(PhotoTypeOf("a.tiff"), PhotoType::Tiff);
  EXPECT_EQ(PhotoTypeOf("a.webp"), PhotoType::None);  // read, never written
  EXPECT_FALSE(IsPhotoPath("a.gif"));                 // animations are movies

  EXPECT_EQ(ParseBatchOptions({"a.jpg", "--jpeg-quality", "55"}).options.jpegQuality, 55);
  for (const char* bad : {"0", "101", "high", ""}) {
    EXPECT_NE(ParseBatchOptions({"a.jpg", "--jpeg-quality", bad}).error.find("1 to 100"),
              std::string::npos)
        << bad;
  }
}

// Names that are no photo file are refused at once: a device would be read without
// end, a folder not at all.
TEST(PhotoDecode, NoPhotoFileIsRefusedAtOnce) {
  test::TempDir dir;
  const fs::path device = dir / "zero.jpg";
  fs::create_symlink("/dev/zero", device);
  EXPECT_NE(DecodePhoto(device).error.find("not a photo file"), std::string::npos);
  const fs::path folder = dir / "folder.jpg";
  fs::create_directory(folder);
  EXPECT_NE(DecodePhoto(folder).error.find("not a photo file"), std::string::npos);
  EXPECT_NE(DecodePhoto(dir / "missing.jpg").error.find("cannot be found"), std::string::npos);
}

// The resize step takes a photo to the export's size, but a 2:1 frame, or a band of
// one, never comes out higher than half its width, which would lose its panorama
// marks; a flat colour stays that colour.
TEST(PhotoResize, KeepsThePanoramaFrameAndTheColours) {
  struct Case {
    int32_t width, height, step, wantWidth, wantHeight;
  };
  for (const Case& c : {Case{1936, 968, 1, 1742, 871},  // each side rounded: 1742 x 872
                        Case{2000, 1000, 3, 1400, 700}, Case{1936, 966, 1, 1742, 870},
                        Case{300, 400, 5, 150, 200}, Case{640, 320, 0, 640, 320}}) {
    SCOPED_TRACE(c.width);
    OutputFrame picture{.number = 0, .width = c.width, .height = c.height, .bytes = {}};
    picture.bytes.resize(static_cast<size_t>(c.width) * c.height * 4);
    for (size_t i = 0; i < picture.bytes.size(); i += 4) {
      picture.bytes[i] = 30;
      picture.bytes[i + 1] = 140;
      picture.bytes[i + 2] = 220;
    }
    ASSERT_EQ(ResizePhotoOutput(c.step, picture), "");
    EXPECT_EQ(picture.width, c.wantWidth);
    EXPECT_EQ(picture.height, c.wantHeight);
    ASSERT_EQ(picture.bytes.size(), static_cast<size_t>(c.wantWidth) * c.wantHeight * 4);
    size_t off = 0;
    for (size_t i = 0; i < picture.bytes.size(); i += 4) {
      off += picture.bytes[i] != 30 || picture.bytes[i + 1] != 140 || picture.bytes[i + 2] != 220;
    }
    EXPECT_EQ(off, 0u);
    if (c.height <= c.width / 2) {
      EXPECT_TRUE(PanoramaMarksFor(picture.width, picture.height).mark);
    }
  }
  OutputFrame cut{.number = 0, .width = 100, .height = 50, .bytes = std::vector<uint8_t>(400)};
  EXPECT_NE(ResizePhotoOutput(1, cut), "");
  EXPECT_EQ(cut.width, 100);
}

}  // namespace
}  // namespace corvinex
