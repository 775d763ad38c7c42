#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "convert/child_process.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kBatch = fs::path(CORVINEX_PROGRAM_DIR) / "corvinex-batch";

struct BatchResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the real tool with its own settings file, whose temporary folder lies
// inside the test's folder.
struct BatchFixture : ::testing::Test {
  test::TempDir dir{"batch ü run"};
  fs::path temp = dir / "my temp";
  fs::path settingsFile = dir / "options.ini";

  void SetUp() override {
    AppSettings s;
    s.X1 = 150;
    s.Y1 = 20;
    s.X2 = 316;
    s.Y2 = 306;
    s.RSIZE = 32;
    s.APATH = temp.string();
    s.OPATH = dir.path().string();
    ASSERT_TRUE(WriteSettings(settingsFile, s));
  }

  BatchResult Run(std::vector<std::string> args, const std::string& tag = "run") {
    std::vector<std::string> argv = {kBatch.string(), "--settings", settingsFile.string(),
                                     "--log-folder", (dir / "logs").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = dir / (tag + ".out");
    io.stderrFile = dir / (tag + ".err");
    BatchResult result;
    result.exitCode = RunProcess(argv, io, std::chrono::minutes(5)).exitCode;
    result.out = test::ReadFileBytes(io.stdoutFile);
    result.err = test::ReadFileBytes(io.stderrFile);
    return result;
  }

  fs::path Movie(const std::string& name, int frames = 12) {
    const fs::path movie = dir / name;
    test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = frames});
    return movie;
  }

  // What --print-geometry prints for `movie` with `args`, as JSON in its key order;
  // the test fails where the tool does.
  nlohmann::ordered_json PrintedGeometry(const fs::path& movie, std::vector<std::string> args,
                                         const std::string& tag) {
    args.insert(args.begin(), {movie.string(), "--print-geometry"});
    const BatchResult g = Run(args, tag);
    EXPECT_EQ(g.exitCode, 0) << g.err;
    return nlohmann::ordered_json::parse(g.out, nullptr, false);
  }

  bool TempHoldsNoRunFolder() {
    if (!fs::exists(temp)) return true;
    return fs::is_empty(temp);
  }
};

TEST_F(BatchFixture, ConvertsBesideTheInputUnderTheDefaultName) {
  const fs::path movie = Movie("take 'one' é.avi");
  const BatchResult r = Run({movie.string(), "--lens", "10", "--sharpen", "2,1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const fs::path output = dir / "take 'one' é_Unwrapped.mp4";
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value()) << r.out << r.err;
  EXPECT_TRUE(facts->hasAudio);
  EXPECT_NE(r.out.find(output.string()), std::string::npos);
  EXPECT_TRUE(TempHoldsNoRunFolder());
}

TEST_F(BatchFixture, FramesOnlyWritesTheProcessedFramesAndSkipsTheExport) {
  const fs::path movie = Movie("frames.mp4", 10);
  const fs::path frames = dir / "frames out";
  const BatchResult geometry = Run({movie.string(), "--print-geometry"}, "geometry");
  ASSERT_EQ(geometry.exitCode, 0) << geometry.err;
  ASSERT_NE(geometry.out.find("\"W\": "), std::string::npos) << geometry.out;
  const int width = std::stoi(geometry.out.substr(geometry.out.find("\"W\": ") + 5));
  const int rows = std::stoi(geometry.out.substr(geometry.out.find("\"outRows\": ") + 11));

  const BatchResult r =
      Run({movie.string(), "--frames-only", frames.string(), "--pair", "--stereo", "static"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(frames)) {
    ASSERT_EQ(entry.path().extension(), ".bmp");
    const std::string bytes = test::ReadFileBytes(entry.path());
    ASSERT_GE(bytes.size(), 54u);
    int32_t w, h;
    std::memcpy(&w, bytes.data() + 18, 4);
    std::memcpy(&h, bytes.data() + 22, 4);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, 2 * rows);  // the stereo pair, no lens correction
    ++count;
  }
  EXPECT_EQ(count, 10);
  EXPECT_FALSE(fs::exists(dir / "frames_Unwrapped.mp4"));
}

TEST_F(BatchFixture, BadCommandLinesAndBadMoviesFailClearly) {
  BatchResult r = Run({"--depth", "7", "x.mp4"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--depth takes a whole number from 20 to 90"), std::string::npos);
  r = Run({"--flip", "sideways", "x.mp4"});
  EXPECT_EQ(r.exitCode, 2);
  r = Run({"-o", "a.mp4", "x.mp4", "y.mp4"});
  EXPECT_EQ(r.exitCode, 2);
  r = Run({});
  EXPECT_EQ(r.exitCode, 2);

  test::WriteFileBytes(dir / "broken.mp4", std::string(5000, 'x'));
  r = Run({(dir / "broken.mp4").string(), (dir / "missing.mp4").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("broken.mp4: cannot be read as a movie"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("missing.mp4: no such movie file"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("0 of 2 movie(s) converted"), std::string::npos) << r.out;
  EXPECT_TRUE(TempHoldsNoRunFolder());

  r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("--frames-only DIR"), std::string::npos);
  r = Run({"--cut=1,2,3", "x.mp4"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--cut takes five whole numbers"), std::string::npos) << r.err;

  // Several inputs give one JSON document, valid whatever bytes a name holds; the
  // count goes to standard error, out of the document's way.
  const fs::path movie = Movie("geometry.mp4", 2);
  const fs::path odd = dir / "odd\xff\tname.mp4";
  fs::copy_file(movie, odd);
  r = Run({movie.string(), odd.string(), (dir / "missing.mp4").string(), "--print-geometry"});
  EXPECT_EQ(r.exitCode, 1);
  const auto document = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(document.is_array()) << r.out;
  ASSERT_EQ(document.size(), 3u);
  EXPECT_EQ(document[0]["W"], document[1]["W"]);
  EXPECT_TRUE(document[2].contains("error"));
  EXPECT_NE(r.err.find("2 of 3 movie(s) converted"), std::string::npos) << r.err;
}

// An archive split over several runs at once, as GNU parallel or a job array does:
// every movie converts, and no run touches another's files.
TEST_F(BatchFixture, SeveralRunsAtOnceOnOneInputSetConvertEveryMovie) {
  const std::vector<std::string> names = {"a", "b", "c", "d", "e"};
  for (const std::string& name : names) Movie(name + ".mp4", 20);
  auto input = [&](const std::string& name) { return (dir / (name + ".mp4")).string(); };
  std::vector<std::vector<std::string>> jobs = {{input("a"), input("b"), "--progress", "json"},
                                                {input("c"), input("d"), "--route", "decoder"},
                                                {input("e"), "-y"}};
  std::vector<BatchResult> results(jobs.size());
  std::vector<std::thread> runs;
  for (size_t i = 0; i < jobs.size(); ++i) {
    runs.emplace_back([&, i] { results[i] = Run(jobs[i], "job" + std::to_string(i)); });
  }
  for (auto& run : runs) run.join();
  for (const BatchResult& r : results) EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const std::string& name : names) {
    const auto facts = test::ProbeFile(dir / (name + "_Unwrapped.mp4"));
    ASSERT_TRUE(facts.has_value()) << name;
    // The decoder route leaves out the movie's last frame.
    EXPECT_NEAR(facts->durationSeconds, 0.8, 0.1) << name;
  }
  // Each run logged to its own file.
  size_t logs = 0;
  for (const auto& entry : fs::directory_iterator(dir / "logs")) {
    logs += entry.path().filename().string().starts_with("TLVPUB-batch-");
  }
  EXPECT_EQ(logs, jobs.size());
  EXPECT_TRUE(TempHoldsNoRunFolder());
}

// The width and heading reach the geometry, the output and both JSON reports: full detail
// is the ring's outer circumference, and the rows follow in proportion.
TEST_F(BatchFixture, WidthAndHeadingShapeTheOutput) {
  const fs::path movie = Movie("shape.mp4", 6);
  const auto before = PrintedGeometry(movie, {}, "before");
  const auto full = PrintedGeometry(movie, {"--width", "full", "--heading", "90"}, "full");
  ASSERT_TRUE(before.is_object() && full.is_object()) << full;
  EXPECT_EQ(before["heading"], 0.0);
  EXPECT_EQ(before["turn"], 0);
  const int width = full["W"];
  const int cropH = full["cropH"];
  EXPECT_NEAR(width, 3.14159265 * cropH, 1.0);
  EXPECT_EQ(width % 2, 0);
  EXPECT_EQ(full["heading"], 90.0);
  EXPECT_EQ(full["turn"], (width + 2) / 4);  // a quarter turn, rounded to a whole column
  EXPECT_NEAR(double(full["outRows"]) / width, double(before["outRows"]) / double(before["W"]),
              0.02);

  const fs::path output = dir / "shape full.mp4";
  const BatchResult r =
      Run({movie.string(), "--width", "full", "--heading", "-45.5", "-o", output.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->width, width);
  EXPECT_EQ(facts->height, full["outRows"].get<int>());

  const BatchResult found =
      Run({movie.string(), "--find-ring", "--width", "1000", "--heading", "+12.5"}, "found");
  ASSERT_EQ(found.exitCode, 0) << found.err;
  const auto ring = nlohmann::json::parse(found.out, nullptr, false);
  EXPECT_EQ(ring["heading"], 12.5) << found.out;
  EXPECT_EQ(ring["width"], 1000) << found.out;
}

// The printed geometry tells the picture the run writes: the strip as it is, or the
// 2:1 frame it is put in, as large as the movie then made; a horizon the frame cannot
// take is refused there as the run refuses it.
TEST_F(BatchFixture, PrintedGeometryGivesThePictureOfTheOutput) {
  const fs::path movie = Movie("picture.mp4", 4);
  const auto strip = PrintedGeometry(movie, {}, "strip");
  ASSERT_TRUE(strip.is_object()) << strip;
  // The keys before stay first, in their order; the picture's come after them.
  std::vector<std::string> keys;
  for (const auto& item : strip.items()) keys.push_back(item.key());
  ASSERT_EQ(keys.size(), 24u);
  EXPECT_EQ(keys[0], "input");
  EXPECT_EQ(keys[20], "turn");
  EXPECT_EQ(std::vector<std::string>(keys.begin() + 21, keys.end()),
            (std::vector<std::string>{"projection", "pictureWidth", "pictureHeight"}));
  EXPECT_EQ(strip["projection"], "strip");
  EXPECT_EQ(strip["pictureWidth"], strip["W"]);
  EXPECT_EQ(strip["pictureHeight"], strip["outRows"]);

  struct Case {
    std::vector<std::string> args;
    std::string projection;
  };
  const Case cases[] = {
      {{}, "strip"},
      {{"--projection", "equirect"}, "equirect"},
      {{"--projection", "equirect", "--width", "1000", "--horizon", "5"}, "equirect"},
      {{"--lens", "10", "--projection", "equirect", "--fill", "soft"}, "equirect"}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string tag = "case" + std::to_string(++n);
    SCOPED_TRACE(tag);
    const auto g = PrintedGeometry(movie, c.args, tag);
    ASSERT_TRUE(g.is_object()) << g;
    EXPECT_EQ(g["projection"], c.projection);
    const int width = g["pictureWidth"];
    const int height = g["pictureHeight"];
    if (c.projection == "equirect") {
      EXPECT_EQ(width, g["W"].get<int>());
      EXPECT_NEAR(width, 2 * height, 2);
      EXPECT_EQ(height % 2, 0);
    }
    const fs::path output = dir / (tag + ".mp4");
    std::vector<std::string> args = {movie.string(), "-o", output.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const BatchResult r = Run(args, tag + "-run");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->width, width);
    EXPECT_EQ(facts->height, height);
  }

  const BatchResult refused =
      Run({movie.string(), "--print-geometry", "--projection", "equirect", "--horizon", "45"},
          "refused");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("The horizon offset +45 degrees moves the"), std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.out.find("pictureWidth"), std::string::npos) << refused.out;
}

// The ring found in a movie, given in pixels, or found before converting: the three
// ways agree, and a movie without a ring is not converted with a guessed one.
TEST_F(BatchFixture, TheRingIsFoundOrGivenInPixels) {
  const fs::path movie = Movie("ring.mp4", 6);
  BatchResult r = Run({movie.string(), "--find-ring"}, "find");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto found = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(found.is_object()) << r.out;
  const std::vector<int> cut = found["cut"].get<std::vector<int>>();
  ASSERT_EQ(cut.size(), 5u);
  // The sample's ring is the Cut Area 150,20,316,306 (a slightly oval square).
  EXPECT_NEAR(cut[0] + cut[2] / 2.0, 150 + 316 / 2.0, 3) << r.out;
  EXPECT_NEAR(cut[1] + cut[3] / 2.0, 20 + 306 / 2.0, 3) << r.out;
  EXPECT_NEAR(cut[2], 311, 8) << r.out;

  auto geometry = [&](std::vector<std::string> args, const std::string& tag) {
    args.insert(args.begin(), {movie.string(), "--print-geometry"});
    const BatchResult g = Run(args, tag);
    EXPECT_EQ(g.exitCode, 0) << g.err;
    auto json = nlohmann::json::parse(g.out, nullptr, false);
    json.erase("input");
    return json;
  };
  const std::string ring = std::to_string(found["centreX"].get<double>()) + "," +
                           std::to_string(found["centreY"].get<double>()) + "," +
                           std::to_string(found["outerRadius"].get<double>()) + "," +
                           std::to_string(found["innerRadius"].get<double>());
  // Without a dark centre to measure (the sample has none), --cut auto keeps the
  // inner circle of the settings.
  const std::string asCut = std::to_string(cut[0]) + "," + std::to_string(cut[1]) + "," +
                            std::to_string(cut[2]) + "," + std::to_string(cut[3]) + "," +
                            std::to_string(cut[4] > 0 ? cut[4] : 32);
  const auto byCut = geometry({"--cut", asCut}, "by-cut");
  EXPECT_EQ(geometry({"--cut", "auto"}, "by-auto"), byCut);
  EXPECT_EQ(geometry({"--ring", ring}, "by-ring"),
            geometry({"--cut", asCut.substr(0, asCut.rfind(',')) + "," + std::to_string(cut[4])},
                     "by-cut-found"));

  r = Run({movie.string(), "--cut", "auto", "-o", (dir / "auto.mp4").string()}, "auto");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(test::ProbeFile(dir / "auto.mp4").has_value());

  // A phone's rotation data turns the frames converted, not the frames searched: the
  // ring found is refused, half a turn (same size) included, and given by hand it works.
  for (const char* degrees : {"90", "180"}) {
    SCOPED_TRACE(degrees);
    const fs::path turned = dir / (std::string("turned ") + degrees + ".mp4");
    ASSERT_EQ(
        RunProcess({"ffmpeg", "-v", "error", "-i", movie.string(), "-c", "copy", "-metadata:s:v:0",
                    std::string("rotate=") + degrees, "-y", turned.string()})
            .exitCode,
        0);
    r = Run({turned.string(), "--cut", "auto", "-o", (dir / "turned.mp4").string()}, "turned");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("turned by the movie's rotation data"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "turned.mp4"));
  }
  r = Run({(dir / "turned 180.mp4").string(), "--ring", ring, "-o", (dir / "turned.mp4").string()},
          "turned-ring");
  EXPECT_EQ(r.exitCode, 0) << r.err;

  // Plain noise holds no ring: said so, and nothing converted.
  const fs::path noise = dir / "noise.mp4";
  ASSERT_EQ(RunProcess({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        "nullsrc=s=320x240:d=1,geq=random(1)*255:128:128", "-y", noise.string()})
                .exitCode,
            0);
  r = Run({noise.string(), "--cut", "auto"}, "noise");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no ring found"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "noise_Unwrapped.mp4"));
}

// What a script sees: progress it can parse reaching 100 % in both phases, the size
// actually written, an existing output kept unless asked, and no flag ignored.
TEST_F(BatchFixture, ScriptsGetParsableProgressAndNothingIsReplacedUnasked) {
  const fs::path movie = Movie("scripted.mp4", 12);
  const fs::path output = dir / "scripted out.mp4";
  BatchResult r =
      Run({movie.string(), "-o", output.string(), "--resize", "5", "--progress", "json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, int> lastPercent;
  bool finished = false;
  std::istringstream lines(r.err);
  for (std::string line; std::getline(lines, line);) {
    const auto json = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << "not JSON: " << line;
    const std::string phase = json.value("phase", "");
    if (json.contains("percent")) {
      EXPECT_GE(json["percent"].get<int>(), lastPercent[phase]) << line;
      lastPercent[phase] = json["percent"];
    }
    if (phase == "finished") finished = json["ok"].get<bool>();
  }
  EXPECT_EQ(lastPercent["frames"], 100);
  EXPECT_EQ(lastPercent["encoding"], 100);
  EXPECT_TRUE(finished);
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  const std::string size = std::to_string(facts->width) + "x" + std::to_string(facts->height);
  EXPECT_NE(r.out.find("(" + size + ", "), std::string::npos) << r.out << " vs " << size;

  const std::string before = test::ReadFileBytes(output);
  r = Run({movie.string(), "-o", output.string()}, "again");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(output), before);
  r = Run({movie.string(), "-o", output.string(), "-y", "--resize", "0"}, "replace");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(test::ReadFileBytes(output), before);

  r = Run({movie.string(), "-o", (dir / "rate.avi").string(), "--bitrate", "4"}, "rate");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("--bitrate has no effect on a .avi movie"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "rate.avi"));
}

}  // namespace
}  // namespace corvinex

namespace corvinex {
namespace {

// Inputs a user may really have: none of them may crash the tool, hang it, leave
// temporary files, or change the input.
// A resized movie keeps the panorama's proportions at even sizes, in both routes, and
// the summary line names the size the encoder wrote.
TEST_F(BatchFixture, ResizeKeepsTheProportionsInBothRoutes) {
  const fs::path movie = Movie("resized.mp4", 8);
  auto summarySize = [](const std::string& out) {
    const size_t at = out.rfind(" (");
    const size_t x = out.find('x', at);
    return at == std::string::npos || x == std::string::npos
               ? std::pair{0, 0}
               : std::pair{std::atoi(out.c_str() + at + 2), std::atoi(out.c_str() + x + 1)};
  };
  const BatchResult natural = Run({movie.string(), "-o", (dir / "natural.mp4").string()});
  ASSERT_EQ(natural.exitCode, 0) << natural.err;
  const auto [width, height] = summarySize(natural.out);
  ASSERT_GT(width, 16) << natural.out;
  ASSERT_GT(height, 16) << natural.out;
  for (const char* step : {"1", "3", "5"}) {
    for (const bool spool : {false, true}) {
      SCOPED_TRACE(std::string(step) + (spool ? " spooled" : " one pass"));
      const fs::path output = dir / (std::string("resized ") + step + (spool ? "s" : "") + ".mp4");
      std::vector<std::string> args = {movie.string(), "-o", output.string(), "--resize", step};
      if (spool) args.push_back("--spool");
      const BatchResult r = Run(args, "resize");
      ASSERT_EQ(r.exitCode, 0) << r.err;
      const auto facts = test::ProbeFile(output);
      ASSERT_TRUE(facts.has_value());
      const double factor = 1.0 - 0.1 * std::atoi(step);
      EXPECT_EQ(facts->width % 2, 0);
      EXPECT_EQ(facts->height % 2, 0);
      EXPECT_LE(std::abs(facts->width - factor * width), 1.0 + 1e-9) << facts->width;
      EXPECT_LE(std::abs(facts->height - factor * height), 1.0 + 1e-9) << facts->height;
      EXPECT_EQ(summarySize(r.out), std::pair(facts->width, facts->height)) << r.out;
    }
  }
}

TEST_F(BatchFixture, HostileMoviesFailClearlyAndLeaveNothingBehind) {
  test::WriteFileBytes(dir / "empty.mp4", "");
  const fs::path audio = dir / "only sound.m4a";
  ASSERT_EQ(
      RunProcess({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=1", "-y", audio.string()})
          .exitCode,
      0);
  const fs::path whole = Movie("whole.mp4", 20);
  const std::string bytes = test::ReadFileBytes(whole);
  test::WriteFileBytes(dir / "truncated.mp4", bytes.substr(0, bytes.size() / 2));
  const std::string audioBytes = test::ReadFileBytes(audio);

  const BatchResult r = Run({(dir / "empty.mp4").string(), audio.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("empty.mp4: cannot be read as a movie"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("only sound.m4a: cannot be read as a movie"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(audio), audioBytes);

  // A cut-off movie either converts what it holds or fails with a message.
  const BatchResult cut = Run({(dir / "truncated.mp4").string()}, "truncated");
  EXPECT_TRUE(cut.exitCode == 0 || !cut.err.empty()) << cut.out;
  EXPECT_TRUE(TempHoldsNoRunFolder());
}

TEST_F(BatchFixture, GarbageSettingsAndACutAreaOutsideTheFrameStillConvert) {
  std::string garbage;
  for (int i = 0; i < 4000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 251));
  test::WriteFileBytes(settingsFile, garbage + "<X1>12</X1><APATH>" + temp.string());
  const fs::path movie = Movie("plain.mp4", 8);
  BatchResult r = Run({movie.string(), "-o", (dir / "garbage.mp4").string()}, "garbage");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(test::ProbeFile(dir / "garbage.mp4").has_value());

  SetUp();  // a good settings file again
  r = Run({movie.string(), "--cut", "5000,-4000,20,10,3", "-o", (dir / "outside.mp4").string()},
          "outside");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(test::ProbeFile(dir / "outside.mp4").has_value());
  EXPECT_TRUE(TempHoldsNoRunFolder());
}

TEST_F(BatchFixture, MissingEncoderAdapterIsReportedAndKeepsNothing) {
  // A program folder without PLUG-IN/ffmpeg_III.
  const fs::path program = dir / "bare program";
  fs::create_directories(program);
  fs::copy_file(kBatch, program / "corvinex-batch");
  const fs::path movie = Movie("needs encoder.mp4", 6);
  ChildIo io;
  io.stdoutFile = dir / "bare.out";
  io.stderrFile = dir / "bare.err";
  const int code = RunProcess({(program / "corvinex-batch").string(), "--settings",
                               settingsFile.string(), movie.string()},
                              io, std::chrono::minutes(2))
                       .exitCode;
  const std::string err = test::ReadFileBytes(io.stderrFile);
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("the encoder did not write"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "needs encoder_Unwrapped.mp4"));
  EXPECT_TRUE(TempHoldsNoRunFolder());
}

}  // namespace
}  // namespace corvinex
