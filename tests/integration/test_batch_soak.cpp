#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "convert/child_process.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

const fs::path kProgram = CORVINEX_PROGRAM_DIR;

// Measured: after warming up (movies 1 to ~8) the tool's resident memory stays
// within about 0.6 MB. 4 MB over 25 further movies still catches a leak of 160 kB a
// movie, half of one 320 x 240 frame.
constexpr int64_t kResidentMarginKb = 4 * 1024;

// What the tool's log says after one movie.
struct AfterMovie {
  int64_t residentKb = -1;
  int32_t openFiles = -1;
  int32_t temporaryFiles = -1;
};

std::vector<AfterMovie> ResourceLines(const std::string& log) {
  std::vector<AfterMovie> movies;
  std::istringstream in(log);
  std::string text;
  while (std::getline(in, text)) {
    const size_t at = text.find("Batch movie ");
    if (at == std::string::npos) continue;
    int number = 0, count = 0, files = 0, temporary = 0;
    long long resident = 0;
    const int read = std::sscanf(text.c_str() + at,
                                 "Batch movie %d of %d done: resident memory %lld kB, open files "
                                 "%d, temporary files %d",
                                 &number, &count, &resident, &files, &temporary);
    EXPECT_EQ(read, 5) << text;
    EXPECT_EQ(number, static_cast<int>(movies.size()) + 1) << text;
    movies.push_back({resident, files, temporary});
  }
  return movies;
}

// The Matroska sample's picture starts 23 ms after its sound (the AAC encoder's
// delay, which MP4 hides in an edit list): its output starts with the first frame
// twice, to stay in step with the sound.
int64_t LeadFrames(const fs::path& input) {
  return input.extension() == ".mkv" ? 1 : 0;
}

// "INPUT -> OUTPUT (WxH, N frames)" lines of standard output, by output.
std::map<fs::path, std::string> OutputsNamed(const std::string& out, int64_t frames, int& lines) {
  std::map<fs::path, std::string> outputs;
  std::istringstream in(out);
  std::string text;
  lines = 0;
  while (std::getline(in, text)) {
    const size_t arrow = text.find(" -> ");
    const size_t facts = text.rfind(" (");
    int width = 0, height = 0;
    long long processed = 0;
    if (arrow == std::string::npos || facts == std::string::npos || facts < arrow ||
        std::sscanf(text.c_str() + facts, " (%dx%d, %lld frames)", &width, &height, &processed) !=
            3) {
      continue;
    }
    ++lines;
    outputs[fs::path(text.substr(arrow + 4, facts - arrow - 4))] = text.substr(0, arrow);
    EXPECT_EQ(processed, frames + LeadFrames(text.substr(0, arrow))) << text;
  }
  return outputs;
}

struct SoakRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::vector<AfterMovie> movies;
};

// Three short movies, two of them sharing a name, in two containers; passed many
// times to ONE batch process.
struct BatchSoak : ::testing::Test {
  test::TempDir dir{"soak ü run"};
  fs::path temp = dir / "soak temp";
  fs::path settingsFile = dir / "soak.ini";
  std::vector<fs::path> movies;
  std::vector<std::string> movieBytes;

  void SetUp() override {
    AppSettings s;
    StoreRing(sample::kSampleRing, s);  // the ring the generator draws
    s.APATH = temp.string();
    s.OPATH = dir.path().string();
    ASSERT_TRUE(WriteSettings(settingsFile, s));
    movies = {dir / "take.mp4", dir / "take.avi", dir / "tiny clip.mkv"};
    test::MakeSampleMovie(movies[0], {.width = 320, .height = 240, .frames = 25});
    test::MakeSampleMovie(movies[1], {.width = 320, .height = 240, .frames = 25, .sound = false});
    test::MakeSampleMovie(movies[2], {.width = 160, .height = 120, .frames = 25});
    for (const auto& m : movies) movieBytes.push_back(test::ReadFileBytes(m));
  }

  SoakRun Run(size_t count, std::vector<std::string> flags, const std::string& tag) {
    std::vector<std::string> argv = {(kProgram / "corvinex-batch").string(), "--settings",
                                     settingsFile.string(), "--log-folder",
                                     (dir / "logs").string()};
    argv.insert(argv.end(), flags.begin(), flags.end());
    for (size_t i = 0; i < count; ++i) argv.push_back(movies[i % movies.size()].string());
    ChildIo io;
    io.stdoutFile = dir / (tag + ".out");
    io.stderrFile = dir / (tag + ".err");
    SoakRun run;
    const ChildStart started = StartProcess(argv, io);
    if (!started.ok()) {
      ADD_FAILURE() << started.error;
      return run;
    }
    const ChildExit exit = WaitProcess(started.pid, std::chrono::minutes(5));
    if (!exit.exited) KillProcess(started.pid);
    run.exitCode = exit.exitCode;
    run.out = test::ReadFileBytes(io.stdoutFile);
    run.err = test::ReadFileBytes(io.stderrFile);
    const fs::path log = dir / "logs" / ("TLVPUB-batch-" + std::to_string(started.pid) + ".log");
    run.movies = ResourceLines(test::ReadFileBytes(log));
    std::error_code ignored;
    fs::remove(log, ignored);
    return run;
  }

  // Descriptors and temporary files flat from movie `settled`, memory flat from
  // movie `warm` on; the figures go to the test's output for the record.
  void ExpectNoGrowth(const SoakRun& run, size_t settled, size_t warm) {
    std::string figures;
    for (size_t i = 0; i < run.movies.size(); ++i) {
      const AfterMovie& m = run.movies[i];
      figures += std::to_string(i + 1) + ": " + std::to_string(m.residentKb) + " kB " +
                 std::to_string(m.openFiles) + " fd " + std::to_string(m.temporaryFiles) + " tmp\n";
    }
    std::printf("%s", figures.c_str());
    ASSERT_GT(run.movies.size(), warm);
    const AfterMovie& last = run.movies.back();
    EXPECT_EQ(last.openFiles, run.movies[settled - 1].openFiles) << figures;
    EXPECT_EQ(last.temporaryFiles, run.movies[0].temporaryFiles) << figures;
    // The address sanitizer holds freed memory back on purpose, and its leak
    // checker already fails such a run on any leak.
    if (!kAddressSanitizer) {
      EXPECT_LE(last.residentKb, run.movies[warm - 1].residentKb + kResidentMarginKb) << figures;
    }
  }

  // One output per movie, none written twice, each with `exported` frames and
  // sound where its movie had sound.
  void ExpectEveryMovieConverted(const SoakRun& run, size_t count, int64_t processed,
                                 int64_t exported) {
    int lines = 0;
    const auto outputs = OutputsNamed(run.out, processed, lines);
    EXPECT_EQ(lines, static_cast<int>(count));
    ASSERT_EQ(outputs.size(), count) << run.out;
    for (const auto& [output, input] : outputs) {
      const auto facts = test::ProbeFile(output);
      ASSERT_TRUE(facts.has_value()) << output;
      // At the output's 30 frames a second the movie shows every output time its 25 a
      // second cover: the Matroska sample's lead frame adds a part of one, rounded up.
      const int64_t slots = processed + LeadFrames(input);
      EXPECT_EQ(facts->frameCount, LeadFrames(input) == 0 ? exported : (slots * 30 + 24) / 25)
          << output;
      EXPECT_EQ(facts->hasAudio, fs::path(input).extension() != ".avi") << output;
    }
  }

  void ExpectInputsUntouchedAndTempEmpty() {
    for (size_t i = 0; i < movies.size(); ++i) {
      EXPECT_EQ(test::ReadFileBytes(movies[i]), movieBytes[i]) << movies[i];
    }
    EXPECT_TRUE(!fs::exists(temp) || fs::is_empty(temp));
  }
};

TEST_F(BatchSoak, ThirtyMoviesInOneRunGrowNeitherMemoryNorOpenFiles) {
  const SoakRun run = Run(30, {}, "graph");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("30 of 30 movie(s) converted"), std::string::npos) << run.out;
  ASSERT_EQ(run.movies.size(), 30u) << "one resource line per movie";
  ExpectNoGrowth(run, 3, 5);

  // All 25 frames, exported as 1 s at 30 per second; take.mp4 and take.avi share
  // a name, so their outputs are numbered up to 20.
  ExpectEveryMovieConverted(run, 30, 25, 30);
  EXPECT_TRUE(fs::exists(dir / "take_Unwrapped_20.mp4"));
  ExpectInputsUntouchedAndTempEmpty();
}

// The decoder route runs a decoding child per movie; fewer movies keep it cheap.
TEST_F(BatchSoak, DecoderRouteGrowsNeitherMemoryNorOpenFiles) {
  const SoakRun run = Run(12, {"--route", "decoder"}, "decoder");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(run.movies.size(), 12u);
  ExpectNoGrowth(run, 3, 5);
  // Every frame, the last one too: 1 s, 30 frames at 30 per second.
  ExpectEveryMovieConverted(run, 12, 25, 30);
  ExpectInputsUntouchedAndTempEmpty();
}

TEST_F(BatchSoak, FramesOfSeveralMoviesGoToAFolderEach) {
  const fs::path frames = dir / "frames";
  const SoakRun run = Run(4, {"--frames-only", frames.string()}, "frames");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // take.mp4 twice, take.avi and tiny clip.mkv: four folders of 25 frames (26 for
  // the Matroska one, see LeadFrames).
  for (const char* name : {"take", "take_2", "take_3", "tiny clip"}) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(frames / name)) {
      EXPECT_EQ(entry.path().extension(), ".bmp");
      ++count;
    }
    const fs::path input =
        dir / (std::string(name) + (name == std::string("tiny clip") ? ".mkv" : ".mp4"));
    EXPECT_EQ(count, 25 + LeadFrames(input)) << name;
  }
  int topLevel = 0;
  for (const auto& entry : fs::directory_iterator(frames)) topLevel += entry.is_directory() ? 0 : 1;
  EXPECT_EQ(topLevel, 0);
  ExpectInputsUntouchedAndTempEmpty();
}

}  // namespace
}  // namespace corvinex
