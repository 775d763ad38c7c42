// Each codec in each container that holds it, written by the batch tool from a real
// sample movie and read back by the real ffprobe and ffmpeg; and the movie's own
// tags carried into the output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/child_process.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kBatch = fs::path(CORVINEX_PROGRAM_DIR) / "corvinex-batch";

struct ExportCodecs : ::testing::Test {
  test::TempDir dir{"codecs ü"};
  fs::path settingsFile = dir / "options.ini";
  fs::path movie = dir / "ring movie.mp4";

  void SetUp() override {
    AppSettings s;
    s.X1 = 150;
    s.Y1 = 20;
    s.X2 = 316;
    s.Y2 = 306;
    s.RSIZE = 32;
    s.APATH = (dir / "temp").string();
    s.OPATH = dir.path().string();
    ASSERT_TRUE(WriteSettings(settingsFile, s));
    test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 8});
  }

  int Run(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    std::vector<std::string> argv = {kBatch.string(),
                                     "--settings",
                                     settingsFile.string(),
                                     "--log-folder",
                                     (dir / "logs").string(),
                                     "--progress",
                                     "none"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = dir / "run.out";
    io.stderrFile = dir / "run.err";
    const int code = RunProcess(argv, io, std::chrono::minutes(5)).exitCode;
    if (out) *out = test::ReadFileBytes(io.stdoutFile);
    if (err) *err = test::ReadFileBytes(io.stderrFile);
    return code;
  }

  // What a tool prints; the test fails where the tool does.
  std::string Tool(std::vector<std::string> argv) {
    ChildIo io;
    io.stdoutFile = dir / "tool.out";
    io.stderrFile = dir / "tool.err";
    EXPECT_EQ(RunProcess(argv, io, std::chrono::minutes(1)).exitCode, 0)
        << test::ReadFileBytes(io.stderrFile);
    return test::ReadFileBytes(io.stdoutFile);
  }

  // Frame `n` of a movie as 8-bit gray pixels.
  std::string GrayFrame(const fs::path& file, int n) {
    return Tool({"ffmpeg", "-v", "error", "-i", file.string(), "-vf",
                 "select=eq(n\\," + std::to_string(n) + ")", "-frames:v", "1", "-f", "rawvideo",
                 "-pix_fmt", "gray", "-"});
  }

  std::string Entry(const fs::path& file, const std::string& entries) {
    return Tool({"ffprobe", "-v", "error", "-show_entries", entries, "-of",
                 "default=noprint_wrappers=1", file.string()});
  }
};

double MeanDifference(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]));
  return sum / static_cast<double>(a.size());
}

TEST_F(ExportCodecs, EveryCodecInEveryContainerThatHoldsIt) {
  // The H.264 references: .mp4 and .webm play at 30 frames a second, .mov and .mkv
  // at the movie's own rate, so each is compared with a reference of its own rate.
  const fs::path mp4Reference = dir / "reference.mp4";
  const fs::path mkvReference = dir / "reference.mkv";
  ASSERT_EQ(Run({movie.string(), "-o", mp4Reference.string()}), 0);
  ASSERT_EQ(Run({movie.string(), "-o", mkvReference.string(), "--codec", "h264"}), 0);
  const auto reference = test::ProbeFile(mkvReference);
  ASSERT_TRUE(reference);
  EXPECT_EQ(reference->videoCodec, "h264");
  EXPECT_TRUE(reference->hasAudio);
  EXPECT_EQ(reference->frameCount, 8);

  struct Case {
    std::string codec, name, probed, tag, encoder;
    double loss;  // mean gray-level difference allowed from the H.264 frame
  };
  const Case cases[] = {
      {"h265", "h265.mp4", "hevc", "hvc1", "libx265", 4},
      {"h265", "h265.mov", "hevc", "hvc1", "libx265", 4},
      {"h265", "h265.mkv", "hevc", "", "libx265", 4},
      {"av1", "av1.mp4", "av1", "av01", "libsvtav1", 4},
      {"av1", "av1.mkv", "av1", "", "libsvtav1", 4},
      {"av1", "av1.webm", "av1", "", "libsvtav1", 4},
      {"vp9", "vp9.webm", "vp9", "", "", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path output = dir / c.name;
    std::string out, err;
    ASSERT_EQ(Run({movie.string(), "-o", output.string(), "--codec", c.codec}, &out, &err), 0)
        << err;
    if (!c.encoder.empty()) {
      EXPECT_NE(out.find("encoder: " + c.encoder), std::string::npos) << out;
    }
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->videoCodec, c.probed);
    EXPECT_EQ(facts->width, reference->width);
    EXPECT_EQ(facts->height, reference->height);
    EXPECT_TRUE(facts->hasAudio);
    const bool ownRate = output.extension() == ".mov" || output.extension() == ".mkv";
    const fs::path& same = ownRate ? mkvReference : mp4Reference;
    EXPECT_EQ(facts->frameCount, test::ProbeFile(same)->frameCount);
    if (!c.tag.empty()) {
      EXPECT_NE(Entry(output, "stream=codec_tag_string").find(c.tag), std::string::npos);
    }
    const std::string frame = GrayFrame(output, 5);
    EXPECT_LT(MeanDifference(frame, GrayFrame(same, 5)), c.loss);
    // The comparison tells frames apart: another frame of the reference is farther.
    EXPECT_GT(MeanDifference(frame, GrayFrame(same, 0)), MeanDifference(frame, GrayFrame(same, 5)));
  }
}

TEST_F(ExportCodecs, ACodecTheContainerCannotHoldIsRefusedBeforeTheFirstFrame) {
  struct Case {
    std::string codec, name, containers;
  };
  const Case cases[] = {
      {"h265", "x.webm", ".mp4 .mov .mkv"},
      {"av1", "x.mov", ".mp4 .mkv .webm"},
      {"vp9", "x.mp4", ".webm"},
      {"h265", "x.avi", ".mp4 .mov .mkv"},
      {"av1", "x.ogv", ".mp4 .mkv .webm"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_NE(Run({movie.string(), "-o", (dir / c.name).string(), "--codec", c.codec}, &out, &err),
              0)
        << c.name;
    EXPECT_NE(err.find("choose one of " + c.containers), std::string::npos) << err;
    EXPECT_EQ(err.find("frame"), std::string::npos) << "refused only after frames: " << err;
    EXPECT_FALSE(fs::exists(dir / c.name)) << c.name;
  }
  std::string out, err;
  EXPECT_NE(Run({movie.string(), "--codec", "mpeg2"}, &out, &err), 0);
  EXPECT_NE(err.find("--codec takes h264|h265|av1|vp9"), std::string::npos) << err;
}

// Every frame of a camera's 29.97 fps movie reaches every container, counted as a
// player shows them (decoded, edit lists applied): the containers that keep the
// movie's rate hold exactly its frames; those that play at 30 hold its length at 30,
// rounded up, so one more here. A lost frame at either end fails the exact count.
TEST_F(ExportCodecs, EveryContainerHoldsEveryFrameOfANtscMovie) {
  constexpr int kFrames = 37;
  const fs::path ntsc = dir / "ntsc take.mp4";
  test::MakeSampleMovie(ntsc,
                        {.width = 320, .height = 240, .frames = kFrames, .fps = "30000/1001"});
  ASSERT_EQ(test::ProbeFile(ntsc)->frameCount, kFrames);
  // 37 frames of 1001/30000 s last 1.2346 s: 37.04 frames at 30 a second.
  const int kAt30 = static_cast<int>(std::ceil(kFrames * 1001.0 / 1000.0));
  struct Case {
    std::string name;
    bool ownRate;
  };
  const Case cases[] = {{"all.mov", true},   {"all.mkv", true},     {"all.avi", true},
                        {"all.flv", true},   {"all.mp4", false},    {"all.m4v", false},
                        {"all.webm", false}, {"all h265.mov", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path output = dir / c.name;
    std::vector<std::string> args = {ntsc.string(), "-o", output.string()};
    if (c.name == "all h265.mov") args.insert(args.end(), {"--codec", "h265"});
    std::string err;
    ASSERT_EQ(Run(args, nullptr, &err), 0) << err;
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->frameCount, c.ownRate ? kFrames : kAt30);
  }
}

TEST_F(ExportCodecs, AMovieWithCreationTimeLocationAndTitleKeepsThem) {
  // A camera's movie: tags, a sound language and a rotation, which is not copied
  // because the frames are turned already.
  const fs::path tagged = dir / "camera take.mov";
  Tool({"ffmpeg",
        "-v",
        "error",
        "-i",
        movie.string(),
        "-c",
        "copy",
        "-metadata",
        "creation_time=2021-05-06T07:08:09.000000Z",
        "-metadata",
        "location=+48.8584+002.2945/",
        "-metadata",
        "title=Tour \"Eiffel\" ü",
        "-metadata",
        "comment=first; take",
        "-metadata:s:a:0",
        "language=fra",
        "-metadata:s:v:0",
        "rotate=90",
        tagged.string()});
  for (const std::string name : {"kept.mp4", "kept.mkv", "kept h265.mov", "spooled.webm"}) {
    SCOPED_TRACE(name);
    const fs::path output = dir / name;
    std::vector<std::string> args = {tagged.string(), "-o", output.string()};
    if (name == "kept h265.mov") args.insert(args.end(), {"--codec", "h265"});
    if (name == "spooled.webm") args.push_back("--spool");
    ASSERT_EQ(Run(args), 0);
    const std::string tags = Entry(output, "format_tags:stream_tags=language:stream_side_data");
    EXPECT_NE(tags.find("creation_time=2021-05-06T07:08:09"), std::string::npos) << tags;
    EXPECT_NE(tags.find("=+48.8584+002.2945/"), std::string::npos) << tags;
    EXPECT_NE(tags.find("=Tour \"Eiffel\" ü"), std::string::npos) << tags;
    EXPECT_NE(tags.find("=first; take"), std::string::npos) << tags;
    EXPECT_NE(tags.find("language=fra"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("rotation"), std::string::npos) << tags;
  }
  std::string log;
  for (const auto& entry : fs::directory_iterator(dir / "logs"))
    log += test::ReadFileBytes(entry.path());
  EXPECT_NE(log.find("Movie metadata kept: creation_time, location, title, comment, sound "
                     "language fra"),
            std::string::npos);
}

}  // namespace
}  // namespace corvinex
