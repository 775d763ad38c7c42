#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "convert/child_process.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "transform/logo_frame.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kBatch = fs::path(CORVINEX_PROGRAM_DIR) / "corvinex-batch";

// The batch tool converts sample movies with a logo made by the real ffmpeg.
struct LogoConversion : ::testing::Test {
  test::TempDir dir{"logo ü run"};
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
    test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 6});
  }

  fs::path MakeLogo(const std::string& name, const std::string& size) {
    const fs::path logo = dir / name;
    ChildIo io;
    io.stdoutFile = dir / "logo.out";
    io.stderrFile = dir / "logo.err";
    const auto r = RunProcess({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                               "color=c=red:s=" + size, "-frames:v", "1", logo.string()},
                              io, std::chrono::minutes(1));
    EXPECT_EQ(r.exitCode, 0) << test::ReadFileBytes(io.stderrFile);
    return logo;
  }

  int Run(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    std::vector<std::string> argv = {kBatch.string(), "--settings", settingsFile.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = dir / "run.out";
    io.stderrFile = dir / "run.err";
    const int code = RunProcess(argv, io, std::chrono::minutes(5)).exitCode;
    if (out) *out = test::ReadFileBytes(io.stdoutFile);
    if (err) *err = test::ReadFileBytes(io.stderrFile);
    return code;
  }

  int PanoramaWidth() {
    std::string out;
    EXPECT_EQ(Run({movie.string(), "--print-geometry"}, &out), 0);
    const size_t at = out.find("\"W\": ");
    return at == std::string::npos ? 0 : std::stoi(out.substr(at + 5));
  }
};

TEST_F(LogoConversion, TheMovieTakesTheCanvasHeightInBothRoutes) {
  const fs::path logo = MakeLogo("wide logo é.jpg", "1200x200");
  const int width = PanoramaWidth();
  ASSERT_GT(width, 0);
  for (const bool decoder : {false, true}) {
    const fs::path output = dir / (decoder ? "decoder.mp4" : "graph.mp4");
    std::string err;
    ASSERT_EQ(Run({movie.string(), "-o", output.string(), "--logo", logo.string(), "--route",
                   decoder ? "decoder" : "graph"},
                  nullptr, &err),
              0)
        << err;
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->width, width);
    EXPECT_EQ(facts->height, LogoFrameHeight(width, decoder));
  }
}

TEST_F(LogoConversion, FramesCarryTheLogoAtBottomAndTop) {
  const fs::path logo = MakeLogo("logo.jpg", "1200x200");
  const fs::path frames = dir / "frames";
  std::string err;
  ASSERT_EQ(Run({movie.string(), "--frames-only", frames.string(), "--logo", logo.string()},
                nullptr, &err),
            0)
      << err;
  fs::path first;
  for (const auto& entry : fs::directory_iterator(frames)) {
    if (first.empty() || entry.path() < first) first = entry.path();
  }
  ASSERT_FALSE(first.empty());
  const std::string bytes = test::ReadFileBytes(first);
  ASSERT_GT(bytes.size(), 54u);
  int32_t w, h;
  std::memcpy(&w, bytes.data() + 18, 4);
  std::memcpy(&h, bytes.data() + 22, 4);
  ASSERT_EQ(static_cast<size_t>(w) * h * 4 + 54, bytes.size());
  EXPECT_EQ(h, LogoFrameHeight(w, false));
  auto pixel = [&](int32_t row, int32_t column) {
    const size_t at = 54 + (static_cast<size_t>(row) * w + column) * 4;
    return std::array<uint8_t, 3>{static_cast<uint8_t>(bytes[at]),
                                  static_cast<uint8_t>(bytes[at + 1]),
                                  static_cast<uint8_t>(bytes[at + 2])};
  };
  const int32_t logoRows = ComputeLogoFrameLayout(1200, 200, w, 0, 0, false).logoRows;
  for (int32_t row : {logoRows / 2, h - 1 - logoRows / 2}) {
    const auto p = pixel(row, w / 2);
    EXPECT_GT(p[2], 200) << row;  // red logo
    EXPECT_LT(p[1], 40) << row;
    EXPECT_LT(p[0], 40) << row;
  }
}

TEST_F(LogoConversion, TheStereoPairStacksTwoCanvases) {
  const fs::path logo = MakeLogo("logo.jpg", "1200x200");
  const fs::path frames = dir / "pair frames";
  std::string err;
  ASSERT_EQ(Run({movie.string(), "--frames-only", frames.string(), "--logo", logo.string(),
                 "--pair", "--stereo", "static", "--route", "decoder"},
                nullptr, &err),
            0)
      << err;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(frames)) {
    const std::string bytes = test::ReadFileBytes(entry.path());
    ASSERT_GT(bytes.size(), 54u);
    int32_t w, h;
    std::memcpy(&w, bytes.data() + 18, 4);
    std::memcpy(&h, bytes.data() + 22, 4);
    EXPECT_EQ(h, 2 * LogoFrameHeight(w, true));
    EXPECT_EQ(static_cast<size_t>(w) * h * 4 + 54, bytes.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}

TEST_F(LogoConversion, ABadLogoIsRefusedBeforeAnyMovie) {
  const fs::path narrow = MakeLogo("narrow.jpg", "1199x200");
  const fs::path broken = dir / "broken.jpg";
  { std::ofstream(broken) << "not a picture"; }
  for (const fs::path& logo : {narrow, broken, dir / "missing.jpg"}) {
    std::string err;
    EXPECT_EQ(Run({movie.string(), "--logo", logo.string()}, nullptr, &err), 2) << logo;
    EXPECT_NE(err.find("Bad Logo format."), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(dir / "ring movie_Unwrapped.mp4"));
}

}  // namespace
}  // namespace corvinex
