// Broken and strange movies through the real batch tool: each either converts into a
// real movie or is refused with a message naming it, and none may crash or hang the
// tool, leave temporary files or change the input.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "convert/child_process.h"
#include "support/ffprobe.h"
#include "support/hostile_batch.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::ConvertedOrRefused;
using test::ExpectNothingLost;
using test::FailedSaying;
using test::InputGuard;

void Ffmpeg(std::vector<std::string> args) {
  args.insert(args.begin(), {"ffmpeg", "-v", "error", "-nostdin", "-y"});
  ASSERT_EQ(RunProcess(args, {}, std::chrono::minutes(1)).exitCode, 0) << args.back();
}

fs::path Output(const fs::path& input) {
  return input.parent_path() / (input.stem().string() + "_Unwrapped.mp4");
}

struct HostileMovies : test::HostileBatchTest {
  // Converts `input` and checks what every hostile run owes.
  test::ToolRun Convert(const fs::path& input) {
    const InputGuard guard(input);
    const test::ToolRun run = Run({input.string()}, input.stem().string());
    ExpectNothingLost(run, temp, guard);
    return run;
  }
};

// Containers keep their index in different places, so a cut or a damaged middle
// hurts each in its own way.
class BrokenContainer : public HostileMovies, public ::testing::WithParamInterface<const char*> {};

TEST_P(BrokenContainer, TruncatedMovieConvertsWhatItHoldsOrIsRefused) {
  const fs::path whole = Movie(std::string("whole") + GetParam());
  const std::string bytes = test::ReadFileBytes(whole);
  const fs::path cut = dir / (std::string("cut short") + GetParam());
  test::WriteFileBytes(cut, bytes.substr(0, bytes.size() * 2 / 5));
  const test::ToolRun run = Convert(cut);
  EXPECT_TRUE(ConvertedOrRefused(run, cut, Output(cut)));
}

TEST_P(BrokenContainer, MovieWithDamagedMiddleConvertsOrIsRefused) {
  const fs::path movie = Movie(std::string("damaged") + GetParam());
  std::string bytes = test::ReadFileBytes(movie);
  for (size_t i = bytes.size() / 2 - 1500; i < bytes.size() / 2 + 1500; ++i) bytes[i] ^= 0x5A;
  test::WriteFileBytes(movie, bytes);
  const test::ToolRun run = Convert(movie);
  EXPECT_TRUE(ConvertedOrRefused(run, movie, Output(movie)));
}

INSTANTIATE_TEST_SUITE_P(Containers, BrokenContainer, ::testing::Values(".mp4", ".avi", ".mkv"),
                         [](const auto& info) { return std::string(info.param + 1); });

TEST_F(HostileMovies, ZeroByteFileIsRefused) {
  const fs::path empty = dir / "empty.mp4";
  test::WriteFileBytes(empty, "");
  const test::ToolRun run = Convert(empty);
  EXPECT_TRUE(FailedSaying(run, "empty.mp4: cannot be read as a movie"));
  EXPECT_FALSE(fs::exists(Output(empty)));
}

TEST_F(HostileMovies, SoundWithoutPictureIsRefused) {
  const fs::path sound = dir / "only sound.m4a";
  Ffmpeg({"-f", "lavfi", "-i", "sine=d=1", sound.string()});
  const test::ToolRun run = Convert(sound);
  EXPECT_TRUE(FailedSaying(run, "only sound.m4a: cannot be read as a movie (no video stream)"));
  EXPECT_FALSE(fs::exists(Output(sound)));
}

// A raw YUV movie whose header may claim any size; `data` is all that follows it.
fs::path WriteY4m(const fs::path& file, int width, int height, const std::string& data) {
  test::WriteFileBytes(file, "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                                 " F25:1 Ip A1:1 C420jpeg\n" + data);
  return file;
}

// The largest resident size of any child this test process has waited for, in MB.
long LargestChildMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss / 1024;
}

TEST_F(HostileMovies, EnormousDeclaredSizeIsRefusedWithoutExhaustingMemory) {
  const fs::path huge = WriteY4m(dir / "huge.y4m", 60000, 40000, "FRAME\n" + std::string(64, 'x'));
  EXPECT_TRUE(FailedSaying(Convert(huge), "huge.y4m: cannot be read as a movie"));
  // Within every limit of the libraries, yet the data holds no whole picture.
  const fs::path large =
      WriteY4m(dir / "large.y4m", 16000, 16000, "FRAME\n" + std::string(64, 'x'));
  EXPECT_TRUE(FailedSaying(Convert(large), "large.y4m: cannot be read as a movie"));
  // A picture buffer for the claimed size alone would be a gigabyte.
  EXPECT_LT(LargestChildMegabytes(), 600);
}

TEST_F(HostileMovies, ExtremelyWideFlatPicturesConvertOrAreRefused) {
  // Two real frames of 8192 x 2 pixels.
  const int w = 8192, h = 2;
  std::string frames;
  for (int f = 0; f < 2; ++f)
    frames += "FRAME\n" + std::string(w * h * 3 / 2, static_cast<char>(90 + f));
  const fs::path flat = WriteY4m(dir / "flat.y4m", w, h, frames);
  const test::ToolRun run = Convert(flat);
  EXPECT_TRUE(ConvertedOrRefused(run, flat, Output(flat)));
}

class OddSize : public HostileMovies, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(OddSize, ConvertsOrIsRefusedClearly) {
  const auto [w, h] = GetParam();
  const fs::path movie = dir / ("odd " + std::to_string(w) + "x" + std::to_string(h) + ".mkv");
  // A lossless codec takes any size, even 1 x 1.
  Ffmpeg({"-f", "lavfi", "-i", "testsrc=d=1:r=25:s=" + std::to_string(w) + "x" + std::to_string(h),
          "-c:v", "ffv1", "-pix_fmt", "bgr0", movie.string()});
  const test::ToolRun run = Convert(movie);
  EXPECT_TRUE(ConvertedOrRefused(run, movie, Output(movie)));
  if (run.exitCode == 0) {
    const auto facts = test::ProbeFile(Output(movie));
    ASSERT_TRUE(facts.has_value());
    EXPECT_GE(facts->frameCount, 20);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, OddSize,
                         ::testing::Values(std::pair{1, 1}, std::pair{3, 3}, std::pair{641, 359},
                                           std::pair{2, 480}),
                         [](const auto& info) {
                           return std::to_string(info.param.first) + "x" +
                                  std::to_string(info.param.second);
                         });

TEST_F(HostileMovies, OutputNamingTheInputUnderAnotherSpellingIsRefused) {
  const fs::path movie = Movie("source.mp4");
  fs::create_symlink(movie, dir / "link.mp4");
  for (const fs::path& output : {dir / "." / "source.mp4", dir / "link.mp4"}) {
    SCOPED_TRACE(output);
    const InputGuard guard(movie);
    const test::ToolRun run = Run({movie.string(), "-o", output.string()}, "same");
    ExpectNothingLost(run, temp, guard);
    EXPECT_TRUE(FailedSaying(run, "Incorrect name of output file"));
  }
}

TEST_F(HostileMovies, LogoThatIsAFolderOrCutShortIsRefused) {
  const fs::path movie = Movie("with logo.mp4");
  const fs::path folder = dir / "logo folder.jpg";
  fs::create_directories(folder);
  const fs::path logo = dir / "logo strip.jpg";
  Ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=600x60", "-frames:v", "1", logo.string()});
  const std::string bytes = test::ReadFileBytes(logo);
  test::WriteFileBytes(logo, bytes.substr(0, bytes.size() / 3));
  // A logo of the right shape cut short decodes with grey rows: refused all the same,
  // whether it ends in the middle of its picture or just before its end marker.
  const fs::path wide = dir / "wide logo.jpg";
  Ffmpeg({"-f", "lavfi", "-i", "testsrc=s=1200x200", "-frames:v", "1", wide.string()});
  const std::string wideBytes = test::ReadFileBytes(wide);
  const fs::path cutWide = dir / "wide logo cut é.jpg";
  test::WriteFileBytes(cutWide, wideBytes.substr(0, wideBytes.size() * 2 / 3));
  const fs::path noEnd = dir / "wide logo without end.jpg";
  test::WriteFileBytes(noEnd, wideBytes.substr(0, wideBytes.size() - 2));
  for (const fs::path& bad : {folder, logo, cutWide, noEnd}) {
    SCOPED_TRACE(bad);
    const InputGuard guard(movie);
    const test::ToolRun run = Run({movie.string(), "--logo", bad.string()}, "logo");
    ExpectNothingLost(run, temp, guard);
    EXPECT_TRUE(FailedSaying(run, bad.filename().string() + ": Bad Logo format."));
    EXPECT_FALSE(fs::exists(Output(movie)));
  }
}

TEST_F(HostileMovies, WholeLogoWithBytesAfterItsEndIsTaken) {
  // Cameras and editors leave padding after the end marker; the picture is whole.
  const fs::path movie = Movie("padded logo.mp4");
  const fs::path logo = dir / "padded logo.jpg";
  Ffmpeg({"-f", "lavfi", "-i", "color=c=blue:s=1200x200", "-frames:v", "1", logo.string()});
  test::WriteFileBytes(logo, test::ReadFileBytes(logo) + std::string(300, '\0') + "\xFF\xD8junk");
  const InputGuard guard(movie);
  const test::ToolRun run = Run({movie.string(), "--logo", logo.string()}, "padded");
  ExpectNothingLost(run, temp, guard);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(test::ProbeFile(Output(movie)).has_value());
}

// A large movie under a memory limit: whichever thread runs out first, the run ends
// with a message naming the movie, status 1 rather than an abort, and removes its
// temporary folder.
TEST_F(HostileMovies, RunningOutOfMemoryEndsWithAMessageAndNoLeftovers) {
#if defined(__SANITIZE_ADDRESS__)
  // The tool's sanitizer reserves terabytes of address space at start: under a limit
  // of this size it could not start at all.
  GTEST_SKIP() << "an address-space limit cannot be set under AddressSanitizer";
#endif
  const fs::path movie =
      Movie("huge ü.mp4", {.width = 5760, .height = 2880, .frames = 3, .sound = false});
  program = CopyProgram("limited");
  fs::rename(program / "corvinex-batch", program / "corvinex-batch.bin");
  for (const int limitKb : {400000, 500000, 600000, 700000}) {
    SCOPED_TRACE(limitKb);
    // Few malloc arenas, so the limit means the same on a machine of many cores.
    test::WriteFileBytes(program / "corvinex-batch",
                         "#!/bin/sh\nulimit -v " + std::to_string(limitKb) +
                             " || exit 97\nMALLOC_ARENA_MAX=2 exec \"$0.bin\" \"$@\"\n");
    fs::permissions(program / "corvinex-batch", fs::perms::owner_all);
    const InputGuard guard(movie);
    const test::ToolRun run = Run({movie.string(), "-y"}, "limited");
    ASSERT_NE(run.exitCode, 97) << run.err;
    ExpectNothingLost(run, temp, guard);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(FailedSaying(run, "huge ü.mp4: not enough memory to convert this movie"));
  }
}

TEST_F(HostileMovies, PictureSizeChangingMidwayConvertsAtTheOpeningSize) {
  // Two H.264 transport stream pieces joined by ffmpeg's concat with a stream copy.
  const fs::path small = dir / "small.ts";
  const fs::path large = dir / "large.ts";
  Ffmpeg({"-f", "lavfi", "-i", "testsrc=d=1:r=25:s=160x120", "-c:v", "libx264", "-preset",
          "ultrafast", "-pix_fmt", "yuv420p", small.string()});
  Ffmpeg({"-f", "lavfi", "-i", "testsrc=d=1:r=25:s=320x200", "-c:v", "libx264", "-preset",
          "ultrafast", "-pix_fmt", "yuv420p", large.string()});
  const fs::path list = dir / "pieces.txt";
  test::WriteFileBytes(list, "file '" + small.string() + "'\nfile '" + large.string() + "'\n");
  const fs::path joined = dir / "changing size.ts";
  Ffmpeg({"-f", "concat", "-safe", "0", "-i", list.string(), "-c", "copy", joined.string()});

  const test::ToolRun geometry = Run({joined.string(), "--print-geometry"}, "geometry");
  ASSERT_EQ(geometry.exitCode, 0) << geometry.err;
  const size_t at = geometry.out.find("\"W\": ");
  ASSERT_NE(at, std::string::npos) << geometry.out;

  const test::ToolRun run = Convert(joined);
  ASSERT_TRUE(ConvertedOrRefused(run, joined, Output(joined)));
  if (run.exitCode == 0) {
    const auto facts = test::ProbeFile(Output(joined));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->width, std::stoi(geometry.out.substr(at + 5)));
    EXPECT_GE(facts->frameCount, 40) << "the second piece is missing";
  }
}

// A horizon the movie's strip cannot follow, or one that is no number, is refused
// before any frame, with the range that would do; nothing is written, an older movie
// of that name stays.
TEST_F(HostileMovies, HorizonOffsetsOutsideTheFrameAreRefusedBeforeTheFirstFrame) {
  const fs::path movie = Movie("level.mp4");
  const fs::path output = Output(movie);
  test::WriteFileBytes(output, "an older movie");
  const InputGuard guard(movie);
  const test::ToolRun far =
      Run({movie.string(), "-y", "--projection", "equirect", "--horizon", "44"}, "far");
  ExpectNothingLost(far, temp, guard);
  EXPECT_TRUE(FailedSaying(far, "The horizon offset +44 degrees moves the")) << far.err;
  EXPECT_NE(far.err.find("this movie's Cut Area allows -"), std::string::npos) << far.err;
  EXPECT_EQ(test::ReadFileBytes(output), "an older movie");
  for (const char* bad : {"north", "12.5", "46", "-90"}) {
    const test::ToolRun run = Run({movie.string(), "--horizon", bad}, "bad");
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_NE(run.err.find("--horizon takes a whole number from -45 to 45"), std::string::npos)
        << run.err;
  }
  const test::ToolRun odd = Run({movie.string(), "--projection", "sphere"}, "odd");
  EXPECT_TRUE(FailedSaying(odd, "--projection takes strip|equirect")) << odd.err;
  // A fill or horizon for a strip, or a fill under a logo, would be silently lost.
  for (const std::vector<std::string>& lost :
       {std::vector<std::string>{"--horizon", "5"},
        std::vector<std::string>{"--projection", "equirect", "--projection", "strip", "--fill",
                                 "soft"},
        std::vector<std::string>{"--logo", (dir / "none.jpg").string(), "--fill", "black"}}) {
    std::vector<std::string> args = {movie.string(), "-y"};
    args.insert(args.end(), lost.begin(), lost.end());
    const test::ToolRun run = Run(args, "lost");
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.err.find("--fill"), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::ReadFileBytes(output), "an older movie");
}

}  // namespace
}  // namespace corvinex

namespace corvinex {
namespace {

// A width the Cut Area cannot reach and a heading that is no number are refused before
// the first frame, with the reason and the range, and nothing is written.
TEST_F(HostileMovies, PanoramaWidthOrHeadingOutOfReachIsRefusedWithTheRange) {
  const fs::path movie = Movie("shape.mp4");
  const InputGuard guard(movie);
  const test::ToolRun far = Run({movie.string(), "--width", "16384"}, "far");
  EXPECT_TRUE(FailedSaying(far, "out of reach for this Cut Area")) << far.err;
  EXPECT_NE(far.err.find("can be unwrapped from 64 to "), std::string::npos) << far.err;
  EXPECT_FALSE(fs::exists(Output(movie)));
  ExpectNothingLost(far, temp, guard);
  for (const char* width : {"63", "1001", "16386", "-1", "fullest", "1e3"}) {
    const test::ToolRun r = Run({movie.string(), "--width", width}, "width");
    EXPECT_EQ(r.exitCode, 2) << width;
    EXPECT_NE(r.err.find("even number of pixels from 64 to 16384 or full"), std::string::npos)
        << width << ": " << r.err;
  }
  for (const char* heading : {"north", "nan", "inf", "1e400", "361", "12,5"}) {
    const test::ToolRun r = Run({movie.string(), "--heading", heading}, "heading");
    EXPECT_EQ(r.exitCode, 2) << heading;
    EXPECT_NE(r.err.find("degrees from -360 to 360"), std::string::npos)
        << heading << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(Output(movie)));
  EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace corvinex
