#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "convert/child_process.h"
#include "media/spherical_metadata.h"
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
    std::vector<std::string> argv = {kBatch.string(), "--settings", settingsFile.string(),
                                     "--log-folder", (dir / "logs").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = dir / "run.out";
    io.stderrFile = dir / "run.err";
    const int code = RunProcess(argv, io, std::chrono::minutes(5)).exitCode;
    if (out) *out = test::ReadFileBytes(io.stdoutFile);
    if (err) *err = test::ReadFileBytes(io.stderrFile);
    return code;
  }

  // What a tool prints about a movie: `before` and `after` surround nothing else.
  std::string Tool(const std::string& tool, std::vector<std::string> before,
                   std::vector<std::string> after) {
    std::vector<std::string> argv = {tool, "-v", "error"};
    argv.insert(argv.end(), before.begin(), before.end());
    argv.insert(argv.end(), after.begin(), after.end());
    ChildIo io;
    io.stdoutFile = dir / "tool.out";
    io.stderrFile = dir / "tool.err";
    EXPECT_EQ(RunProcess(argv, io, std::chrono::minutes(1)).exitCode, 0)
        << test::ReadFileBytes(io.stderrFile);
    return test::ReadFileBytes(io.stdoutFile);
  }

  // The picture stream's projection and stereo type ("" when absent).
  static std::pair<std::string, std::string> Spherical(const fs::path& movie) {
    const auto facts = test::ProbeFile(movie);
    if (!facts) return {"unreadable", "unreadable"};
    return {facts->projection, facts->stereoType};
  }

  // Every packet as the demuxer reads it: stream, size, flags and checksum, in the
  // order of each stream (a remux may interleave the streams differently).
  std::vector<std::string> Packets(const fs::path& movie) {
    const std::string text = Tool("ffprobe",
                                  {"-show_data_hash", "MD5", "-show_entries",
                                   "packet=stream_index,size,flags,data_hash", "-of", "csv=p=0"},
                                  {movie.string()});
    std::vector<std::string> packets;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) packets.push_back(line);
    std::stable_sort(packets.begin(), packets.end(), [](const auto& a, const auto& b) {
      return a.substr(0, a.find(',')) < b.substr(0, b.find(','));
    });
    return packets;
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
    // The printed geometry names the logo's frame the movie got.
    std::string out;
    ASSERT_EQ(Run({movie.string(), "--print-geometry", "--logo", logo.string(), "--route",
                   decoder ? "decoder" : "graph"},
                  &out, &err),
              0)
        << err;
    const auto printed = nlohmann::json::parse(out, nullptr, false);
    EXPECT_EQ(printed.value("projection", ""), "equirect") << out;
    EXPECT_EQ(printed.value("pictureWidth", 0), facts->width) << out;
    EXPECT_EQ(printed.value("pictureHeight", 0), facts->height) << out;
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

// The batch tool decodes logos through PLUG-IN/logo_decoder and links no picture
// library itself. A decoder that is missing, breaks or writes nonsense is reported as
// such, not as a bad logo, and no movie is converted.
TEST_F(LogoConversion, ALogoDecoderThatFailsIsToldApartFromABadLogo) {
  ChildIo io;
  io.stdoutFile = dir / "needed.out";
  ASSERT_EQ(RunProcess({"readelf", "-d", kBatch.string()}, io).exitCode, 0);
  const std::string needed = test::ReadFileBytes(io.stdoutFile);
  EXPECT_NE(needed.find("libavcodec"), std::string::npos) << needed;
  EXPECT_EQ(needed.find("libQt6"), std::string::npos) << needed;

  const fs::path logo = MakeLogo("logo.jpg", "1200x200");
  const fs::path program = dir / "program copy";
  fs::create_directories(program / "PLUG-IN");
  fs::copy_file(kBatch, program / "corvinex-batch");
  const fs::path decoder = program / "PLUG-IN" / "logo_decoder";
  const std::vector<std::string> brokenDecoders = {
      "",                                             // missing
      "#!/bin/sh\nkill -SEGV $$\n",                   // crashes
      "#!/bin/sh\nprintf 'abcdefghijkl' > \"$2\"\n",  // writes nonsense
  };
  for (const std::string& script : brokenDecoders) {
    SCOPED_TRACE(script);
    std::error_code ignored;
    fs::remove(decoder, ignored);
    if (!script.empty()) {
      std::ofstream(decoder) << script;
      fs::permissions(decoder, fs::perms::owner_all);
    }
    ChildIo run;
    run.stderrFile = dir / "copy.err";
    const int code = RunProcess({(program / "corvinex-batch").string(), "--settings",
                                 settingsFile.string(), movie.string(), "--logo", logo.string()},
                                run, std::chrono::minutes(2))
                         .exitCode;
    const std::string err = test::ReadFileBytes(run.stderrFile);
    EXPECT_EQ(code, 1) << err;
    EXPECT_NE(err.find("the logo could not be decoded"), std::string::npos) << err;
    EXPECT_EQ(err.find("Bad Logo format."), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(dir / "ring movie_Unwrapped.mp4"));
}

// With a logo the output is a 2:1 equirectangular frame, and says so to players.
TEST_F(LogoConversion, SphericalOutputsSayTheyAre360DegreeVideo) {
  const fs::path logo = MakeLogo("logo.jpg", "1200x200");
  struct Case {
    std::string name;
    std::vector<std::string> flags;
    std::string projection, stereo;
  };
  const Case cases[] = {
      {"mono é.mp4", {"--logo", logo.string()}, "equirectangular", "2D"},
      {"pair.webm",
       {"--logo", logo.string(), "--stereo", "static", "--pair"},
       "equirectangular",
       "top and bottom"},
      {"pair.mov",
       {"--logo", logo.string(), "--stereo", "static", "--pair"},
       "equirectangular",
       "top and bottom"},
      {"pair.mkv",
       {"--logo", logo.string(), "--stereo", "static", "--pair"},
       "equirectangular",
       "top and bottom"},
      {"mono h265.mkv", {"--logo", logo.string(), "--codec", "h265"}, "equirectangular", "2D"},
      {"mono.avi", {"--logo", logo.string()}, "", ""},  // no place for it
      {"cylindrical.mp4", {}, "", ""},
      {"turned off.mp4", {"--logo", logo.string(), "--no-spherical-metadata"}, "", ""},
  };
  for (const Case& c : cases) {
    const fs::path output = dir / c.name;
    std::vector<std::string> args = {movie.string(), "-o", output.string()};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    std::string out, err;
    ASSERT_EQ(Run(args, &out, &err), 0) << c.name << err;
    EXPECT_EQ(Spherical(output), std::make_pair(c.projection, c.stereo)) << c.name;
    EXPECT_EQ(out.find("360-degree video") != std::string::npos, !c.projection.empty()) << out;
    EXPECT_TRUE(test::ProbeFile(output)->hasAudio) << c.name;
  }
  EXPECT_FALSE(fs::exists(dir / "mono é.mp4.360-partial"));
}

// The metadata comes by a remux: every packet stays as the encoder wrote it, and a
// movie that cannot be rewritten is left untouched.
TEST_F(LogoConversion, MarkingKeepsEveryPacketAndAFailureKeepsTheMovie) {
  const fs::path logo = MakeLogo("logo.jpg", "1200x200");
  for (const std::string name : {"plain.mp4", "plain.webm", "plain.mkv"}) {
    const fs::path plain = dir / name;
    ASSERT_EQ(Run({movie.string(), "-o", plain.string(), "--logo", logo.string(),
                   "--no-spherical-metadata"}),
              0);
    const fs::path marked = dir / ("marked " + name);
    fs::copy_file(plain, marked);
    const SphericalResult result = AddSphericalMetadata(marked, StereoLayout::Mono);
    ASSERT_EQ(result.status, SphericalStatus::Marked) << result.reason;
    EXPECT_EQ(Spherical(marked).first, "equirectangular");
    const auto before = Packets(plain);
    EXPECT_GT(before.size(), 6u);
    EXPECT_EQ(Packets(marked), before) << name;
  }

  const fs::path broken = dir / "broken.mp4";
  test::WriteFileBytes(broken, "not a movie at all");
  const SphericalResult refused = AddSphericalMetadata(broken, StereoLayout::TopBottom);
  EXPECT_EQ(refused.status, SphericalStatus::Failed);
  EXPECT_FALSE(refused.reason.empty());
  EXPECT_EQ(test::ReadFileBytes(broken), "not a movie at all");
  EXPECT_FALSE(fs::exists(dir / "broken.mp4.360-partial"));
  EXPECT_EQ(AddSphericalMetadata(dir / "x.ogv", StereoLayout::Mono).status,
            SphericalStatus::NotCarried);
}

}  // namespace
}  // namespace corvinex
