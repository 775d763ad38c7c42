// The 2:1 projection through the real batch tool on sample movies: the processed frames
// (written as files, so every pixel can be checked) hold the strip's rows where the
// geometry puts them, and the encoded movies carry the 360-degree metadata.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "convert/child_process.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "transform/soft_fill.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kBatch = fs::path(CORVINEX_PROGRAM_DIR) / "corvinex-batch";

// A frame file: bottom-up 32-bit rows after the 54-byte header.
struct FrameFile {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  const uint32_t* Row(int32_t row) const {
    return pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(width);
  }
};

FrameFile ReadFrame(const fs::path& file) {
  const std::string bytes = test::ReadFileBytes(file);
  FrameFile f;
  if (bytes.size() < 54) return f;
  std::memcpy(&f.width, bytes.data() + 18, 4);
  std::memcpy(&f.height, bytes.data() + 22, 4);
  const size_t count = static_cast<size_t>(f.width) * static_cast<size_t>(f.height);
  if (f.width <= 0 || f.height <= 0 || bytes.size() != 54 + 4 * count) return FrameFile{};
  f.pixels.resize(count);
  std::memcpy(f.pixels.data(), bytes.data() + 54, 4 * count);
  return f;
}

bool RowsEqual(const uint32_t* a, const uint32_t* b, int32_t width) {
  return std::memcmp(a, b, static_cast<size_t>(width) * 4) == 0;
}

struct Projection : ::testing::Test {
  test::TempDir dir{"projection ü run"};
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
    test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 4});
  }

  int Run(std::vector<std::string> args, std::string* err = nullptr) {
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
    if (err) *err = test::ReadFileBytes(io.stderrFile);
    return code;
  }

  nlohmann::json Geometry(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {movie.string(), "--print-geometry"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<std::string> argv = {kBatch.string(), "--settings", settingsFile.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = dir / "geometry.out";
    io.stderrFile = dir / "geometry.err";
    EXPECT_EQ(RunProcess(argv, io, std::chrono::minutes(1)).exitCode, 0);
    return nlohmann::json::parse(test::ReadFileBytes(io.stdoutFile), nullptr, false);
  }

  // The first processed frame of a frames-only run with `args`.
  FrameFile Frame(const std::string& name, std::vector<std::string> args) {
    const fs::path folder = dir / name;
    args.insert(args.begin(), {movie.string(), "--frames-only", folder.string()});
    std::string err;
    EXPECT_EQ(Run(args, &err), 0) << err;
    return ReadFrame(folder / "temp000000.bmp");
  }
};

// Even, as the encoders need: W / 2, the odd half one row lower.
int32_t FrameHeight(int32_t width) {
  return 2 * (static_cast<int32_t>(std::nearbyint(width / 2.0)) / 2);
}

TEST_F(Projection, TheStripsRowsLandWhereTheGeometrySaysOnBothUnwrapPaths) {
  for (const bool draft : {false, true}) {
    for (const bool lens : {false, true}) {
      SCOPED_TRACE(std::string(draft ? "draft" : "quality") + (lens ? ", 7% lens" : ""));
      std::vector<std::string> options;
      if (draft) options.push_back("--draft");
      if (lens) options.insert(options.end(), {"--lens", "7"});
      const nlohmann::json g = Geometry(options);
      ASSERT_TRUE(g.is_object());
      const int32_t W = g["W"], outRows = g["outRows"], corrRows = g["corrRows"];
      EXPECT_EQ(corrRows > 0, lens);
      const std::string tag = std::string(draft ? "d" : "q") + (lens ? "l" : "");
      const FrameFile strip = Frame("strip " + tag, options);
      ASSERT_EQ(strip.width, W);
      ASSERT_EQ(strip.height, outRows + corrRows);
      const int32_t E = FrameHeight(W);
      for (const int32_t horizon : {0, 12, -9}) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--projection", "equirect", "--horizon", std::to_string(horizon)});
        const FrameFile frame = Frame("equirect " + tag + std::to_string(horizon), args);
        ASSERT_EQ(frame.width, W);
        ASSERT_EQ(frame.height, E);
        const int32_t first = static_cast<int32_t>(std::nearbyint((E - outRows) / 2.0)) - corrRows +
                              static_cast<int32_t>(std::nearbyint(horizon / 180.0 * E));
        for (int32_t row = 0; row < E; ++row) {
          const int32_t t = row - first;
          if (t >= 0 && t < outRows) {
            ASSERT_TRUE(RowsEqual(frame.Row(row), strip.Row(t), W)) << "row " << row;
          } else {
            for (int32_t x = 0; x < W; ++x) ASSERT_EQ(frame.Row(row)[x], 0u) << "row " << row;
          }
        }
      }
    }
  }
}

TEST_F(Projection, TheSoftFillContinuesTheEdgeRowsBlurredAndTheStereoPairStacksTwoFrames) {
  const nlohmann::json g = Geometry();
  const int32_t W = g["W"], outRows = g["outRows"];
  const int32_t E = FrameHeight(W);
  const int32_t first = static_cast<int32_t>(std::nearbyint((E - outRows) / 2.0));
  const FrameFile strip = Frame("strip", {});
  const FrameFile soft = Frame("soft", {"--projection", "equirect", "--fill", "soft"});
  ASSERT_EQ(soft.height, E);
  for (int32_t t = 0; t < outRows; ++t)
    ASSERT_TRUE(RowsEqual(soft.Row(first + t), strip.Row(t), W));
  // The rows at the frame's bottom and top edge are the edge rows' averages: a colour
  // that hardly changes across the frame, where the strip's own rows do change.
  for (const auto& [edge, outer] : {std::pair{first, 0}, std::pair{first + outRows - 1, E - 1}}) {
    uint64_t sums[3] = {0, 0, 0};
    for (int32_t x = 0; x < W; ++x) {
      for (int c = 0; c < 3; ++c) sums[c] += (soft.Row(edge)[x] >> (8 * c)) & 0xFF;
    }
    for (int32_t x = 0; x < W; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int mean = static_cast<int>(sums[c] / static_cast<uint64_t>(W));
        const int got = static_cast<int>((soft.Row(outer)[x] >> (8 * c)) & 0xFF);
        ASSERT_NEAR(got, mean, 2) << "edge row " << edge << " column " << x;
      }
    }
  }
  // Next to the strip the fill is the edge row itself.
  ASSERT_EQ(SoftFill::Radius(W, 1, first), 0);
  EXPECT_TRUE(RowsEqual(soft.Row(first - 1), soft.Row(first), W));

  // The stereo pair: two whole 2:1 frames, one above the other.
  const FrameFile pair =
      Frame("pair", {"--projection", "equirect", "--stereo", "static", "--pair"});
  ASSERT_EQ(pair.width, W);
  ASSERT_EQ(pair.height, 2 * E);
  for (const int32_t base : {0, E}) {
    for (int32_t row = 0; row < first; ++row) {
      for (int32_t x = 0; x < W; ++x) ASSERT_EQ(pair.Row(base + row)[x], 0u) << base + row;
    }
    bool picture = false;
    for (int32_t x = 0; x < W && !picture; ++x)
      picture = pair.Row(base + first + outRows / 2)[x] != 0;
    EXPECT_TRUE(picture) << "view at " << base;
  }
}

TEST_F(Projection, EquirectMoviesCarryTheSphericalMetadataTheStripDoesNot) {
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string projection;
    std::string stereo;
    int32_t heightFactor;
  };
  const nlohmann::json g = Geometry();
  const int32_t W = g["W"], outRows = g["outRows"];
  const std::vector<Case> cases = {
      {"strip.mp4", {}, "", "", 0},
      {"strip.webm", {}, "", "", 0},
      {"strip.mov", {}, "", "", 0},
      {"equirect soft.mp4",
       {"--projection", "equirect", "--fill", "soft", "--horizon", "-5"},
       "equirectangular",
       "2D",
       1},
      {"equirect black.webm", {"--projection", "equirect"}, "equirectangular", "2D", 1},
      {"equirect.mov", {"--projection", "equirect"}, "equirectangular", "2D", 1},
      {"pair.mp4",
       {"--projection", "equirect", "--stereo", "dynamic", "--pair"},
       "equirectangular",
       "top and bottom",
       2},
  };
  std::map<std::string, int64_t> stripFrames;  // by container
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path output = dir / c.name;
    std::vector<std::string> args = {movie.string(), "-o", output.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string err;
    ASSERT_EQ(Run(args, &err), 0) << err;
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->width, W);
    EXPECT_EQ(facts->height, c.heightFactor == 0 ? outRows : c.heightFactor * FrameHeight(W));
    EXPECT_EQ(facts->projection, c.projection);
    EXPECT_EQ(facts->stereoType, c.stereo);
    // Every frame the strip got in that container.
    const std::string type = output.extension().string();
    if (c.heightFactor == 0) stripFrames[type] = facts->frameCount;
    EXPECT_GE(facts->frameCount, 4);
    EXPECT_EQ(facts->frameCount, stripFrames.at(type));
  }
}

}  // namespace
}  // namespace corvinex
