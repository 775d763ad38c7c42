#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "convert/pending_name.h"
#include "media/photo_decode.h"
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

// The README's find line for a folder of photos, taken from the README itself: the
// expression between "find archive" and "-print0".
std::string ReadmePhotoFindTests() {
  const std::string readme = test::ReadFileBytes(fs::path(CORVINEX_SOURCE_DIR) / "README.md");
  const std::string start = "find archive -name '*.jpg'";
  const size_t at = readme.find(start);
  if (at == std::string::npos) return {};
  const size_t end = readme.find("-print0", at);
  if (end == std::string::npos) return {};
  return readme.substr(at + std::string("find archive").size(),
                       end - at - std::string("find archive").size());
}

// Two runs of the README's parallel recipe at once over one folder of photos, then a
// third after them: every photo gets one whole output, no output is converted again,
// no run fails, and nothing is left under a temporary name. Another run's unfinished
// output, when a listing catches it, is refused and left alone.
TEST_F(HostilePhotoTest, ParallelRecipeRunsTwiceAtOnceWithoutSharingOutputs) {
  const std::string tests = ReadmePhotoFindTests();
  ASSERT_FALSE(tests.empty()) << "no photo recipe in README.md";
  const fs::path folder = dir / "photo archive";
  fs::create_directories(folder / "day two");
  const FrameImage picture = test::MakeDoughnutPicture(320, 240);
  constexpr int kPhotos = 20;
  const fs::path made = dir / "made.jpg";
  WritePictureFile(picture, made, "", "yuvj420p");
  for (int i = 0; i < kPhotos; ++i) {
    const fs::path photo = folder / (i % 2 == 0 ? fs::path("day two") : fs::path()) /
                           ("shot 'n' \"" + std::to_string(i) + "\".jpg");
    fs::copy_file(made, photo);
  }
  // GNU parallel is not everywhere; xargs -P runs the jobs the same way.
  const std::string run = "find \"$DIR\"" + tests +
                          "-print0 | xargs -0 -n1 -P2 \"$TOOL\" --settings \"$S\" "
                          "--progress none -y";
  const ToolRun runs =
      RunUnshared("DIR=\"$1\" S=\"$2\"; run() { " + run +
                      "; }; run & a=$!; run & b=$!; wait $a; ra=$?; wait $b; rb=$?; run; "
                      "echo \"exits $ra $rb $?\"",
                  {folder.string(), settingsFile.string()}, "recipe");
  ASSERT_TRUE(runs.finished);
  EXPECT_NE(runs.out.find("exits 0 0 0"), std::string::npos) << runs.out << runs.err;
  int outputs = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name[0], '.') << "left behind: " << name;
    if (name.find("_Unwrapped") == std::string::npos) continue;
    ++outputs;
    EXPECT_EQ(name.find("_Unwrapped_"), std::string::npos) << "converted again: " << name;
    const DecodedPhoto back = DecodePhoto(entry.path());
    ASSERT_TRUE(back.ok()) << name << ": " << back.error;
    EXPECT_GT(back.image.width, 100) << name;
  }
  EXPECT_EQ(outputs, kPhotos);

  const fs::path unfinished =
      folder / PendingName("shot_Unwrapped.jpg", {.pid = 4242, .startTicks = 17}, 1);
  fs::copy_file(made, unfinished);
  const InputGuard guard(unfinished);
  const ToolRun refused = Run({unfinished.string()}, "unfinished");
  EXPECT_TRUE(test::FailedSaying(refused, "unfinished output")) << refused.err;
  EXPECT_TRUE(guard.Unchanged());
  // Half the photos and their outputs, the other half's folder and the unfinished file.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), kPhotos + 2)
      << "the refused run wrote nothing";
}

}  // namespace
}  // namespace corvinex
