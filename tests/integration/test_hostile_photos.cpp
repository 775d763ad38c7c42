#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/hostile_batch.h"
#include "support/sample_photo.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::HostileBatchTest;
using test::InputGuard;
using test::ToolRun;
using test::WritePictureFile;

using HostilePhotoTest = HostileBatchTest;

// The EXIF pointer to the camera's own group, made to point far past the file's end:
// the camera and model stay readable, the rest of the block does not.
void BreakExifPointer(const fs::path& file) {
  std::string bytes = test::ReadFileBytes(file);
  const std::string little("\x69\x87\x04\x00\x01\x00\x00\x00", 8);
  const std::string big("\x87\x69\x00\x04\x00\x00\x00\x01", 8);
  size_t at = bytes.find(little);
  if (at == std::string::npos) at = bytes.find(big);
  ASSERT_NE(at, std::string::npos) << "no EXIF pointer in " << file;
  bytes.replace(at + 8, 4, std::string("\x7f\xff\xff\x70", 4));
  test::WriteFileBytes(file, bytes);
}

// Each bad photo is told with its own reason; the good ones of the same run are
// converted, the damaged EXIF and the 16-bit TIFF with a word about them, and nothing
// is left behind under a temporary name.
TEST_F(HostilePhotoTest, BadPhotosAreToldAndTheRunGoesOn) {
  const FrameImage picture = test::MakeDoughnutPicture(320, 240);
  const fs::path good = dir / "good.jpg";
  WritePictureFile(picture, good, "", "yuvj420p");

  const fs::path cut = dir / "cut short.jpg";
  WritePictureFile(picture, cut, "", "yuvj420p");
  const std::string whole = test::ReadFileBytes(cut);
  test::WriteFileBytes(cut, whole.substr(0, whole.size() / 2));

  const fs::path tiny = dir / "tiny.png";
  WritePictureFile(test::MakeDoughnutPicture(6, 4), tiny);

  const fs::path animated = dir / "animated.webp";
  test::RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                 "testsrc=size=64x48:rate=5:duration=1", "-c:v", "libwebp_anim", "-loop", "0",
                 animated.string()},
                dir / "animated.log");

  const fs::path deep = dir / "deep.tif";
  WritePictureFile(picture, deep, "", "rgb48le");

  const fs::path badExif = dir / "bad exif.jpg";
  WritePictureFile(picture, badExif, "", "yuvj420p");
  test::SetExif(badExif, {{"Exif.Image.Make", "Vistrel"},
                          {"Exif.Photo.DateTimeOriginal", "2026:07:14 10:31:05"}});
  BreakExifPointer(badExif);

  // A movie given a photo's name.
  const fs::path movieNamedPhoto = dir / "movie.jpg";
  fs::copy_file(Movie("short.mp4", {.width = 160, .height = 120, .frames = 5, .sound = false}),
                movieNamedPhoto);

  const InputGuard cutGuard(cut);
  const ToolRun run = Run({good.string(), cut.string(), tiny.string(), animated.string(),
                           deep.string(), badExif.string(), movieNamedPhoto.string()});
  ASSERT_TRUE(test::EndedCleanly(run)) << run.err;
  EXPECT_EQ(run.exitCode, 1);
  const auto toldAbout = [&run](const fs::path& input, const std::string& words) {
    const std::string line = "corvinex-batch: " + input.string() + ": ";
    const size_t at = run.err.find(line);
    return at != std::string::npos && run.err.find(words, at) != std::string::npos &&
           run.err.find(words, at) < run.err.find('\n', at);
  };
  EXPECT_TRUE(toldAbout(cut, "cut short")) << run.err;
  EXPECT_TRUE(toldAbout(tiny, "too small")) << run.err;
  EXPECT_TRUE(toldAbout(animated, "animated")) << run.err;
  EXPECT_TRUE(toldAbout(movieNamedPhoto, "more than one picture")) << run.err;
  EXPECT_NE(run.out.find("3 of 7"), std::string::npos) << run.out;

  EXPECT_TRUE(fs::exists(dir / "good_Unwrapped.jpg"));
  EXPECT_TRUE(fs::exists(dir / "deep_Unwrapped.jpg"));
  EXPECT_NE(run.out.find("8 bits"), std::string::npos) << run.out;
  const fs::path fromBadExif = dir / "bad exif_Unwrapped.jpg";
  ASSERT_TRUE(fs::exists(fromBadExif));
  EXPECT_NE(run.out.find("partly damaged"), std::string::npos) << run.out;
  EXPECT_EQ(test::ReadMetadata(fromBadExif).at("Exif.Image.Make"), "Vistrel");

  EXPECT_FALSE(fs::exists(dir / "cut short_Unwrapped.jpg"));
  EXPECT_FALSE(fs::exists(dir / "tiny_Unwrapped.jpg"));
  EXPECT_TRUE(cutGuard.Unchanged());
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
  }
}

// An output that exists is kept without --overwrite and replaced whole with it; a
// photo asked to become a movie is refused with the types it can be written as.
TEST_F(HostilePhotoTest, OutputsAreKeptOrReplacedWhole) {
  const fs::path photo = dir / "shot.png";
  WritePictureFile(test::MakeDoughnutPicture(320, 240), photo);
  const fs::path out = dir / "shot_Unwrapped.jpg";
  test::WriteFileBytes(out, "the user's own file");

  const ToolRun kept = Run({photo.string()}, "kept");
  EXPECT_TRUE(test::FailedSaying(kept, "exists already")) << kept.err;
  EXPECT_EQ(test::ReadFileBytes(out), "the user's own file");

  const ToolRun replaced = Run({photo.string(), "-y"}, "replaced");
  ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
  EXPECT_GT(test::ReadPictureFile(out).width, 100);

  const ToolRun movie = Run({photo.string(), "-o", (dir / "shot.mp4").string()}, "movie");
  EXPECT_TRUE(test::FailedSaying(movie, ".jpg, .png or .tif")) << movie.err;
  EXPECT_FALSE(fs::exists(dir / "shot.mp4"));

  const ToolRun quality = Run({photo.string(), "--jpeg-quality", "0"}, "quality");
  EXPECT_EQ(quality.exitCode, 2);
}

}  // namespace
}  // namespace corvinex
