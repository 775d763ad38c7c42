// Movies whose frames do not come at one steady rate from the sound's start: a
// variable rate, pieces of different rates joined, a picture that starts after its
// sound. The output follows the input's timestamps, so picture and sound last as
// long and stay in step, in both routes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <future>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "convert/bmp_header.h"
#include "convert/child_process.h"
#include "convert/frame_timing.h"
#include "convert/pipe_writer.h"
#include "convert/spool_writer.h"
#include "convert/tee_sink.h"
#include "convert/temp_files.h"
#include "media/bgrx_scaler.h"
#include "media/halving_filter.h"
#include "media/yuv420_converter.h"
#include "media/yuv420_rows.h"
#include "media/yuv420_to_bgrx.h"
#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/probe_helpers_h4.h"
#include "support/temp_dir.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace corvinex {
namespace {

namespace fs = std::filesystem;

const fs::path kBatch = fs::path(CORVINEX_PROGRAM_DIR) / "corvinex-batch";
// Intra-only pictures: the first frame decodes the same in every movie made from it.
const std::vector<std::string> kPicture = {"-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", "yuvj420p"};
const std::string kSource = "testsrc2=size=320x240:rate=";
// One frame at 25 fps, with room for rounding to the millisecond.
constexpr double kOneFrame = 0.045;

struct TimingFixture : ::testing::Test {
  test::TempDir dir{"movie timing"};
  fs::path settingsFile = dir / "options.ini";

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
  }

  fs::path Make(const std::string& name, std::vector<std::string> args) {
    const fs::path movie = dir / name;
    args.insert(args.end(), kPicture.begin(), kPicture.end());
    for (const char* a : {"-c:a", "aac", "-video_track_timescale", "90000"}) args.push_back(a);
    args.push_back(movie.string());
    EXPECT_TRUE(test::RunFfmpeg(args)) << name;
    return movie;
  }

  // A 25 fps piece and a 15 fps piece, each with its sound, joined by the concat demuxer.
  fs::path Joined() {
    std::string list;
    for (const char* rate : {"25", "15"}) {
      const fs::path piece = Make(std::string("piece") + rate + ".mp4",
                                  {"-f", "lavfi", "-i", kSource + rate + ":duration=1.2", "-f",
                                   "lavfi", "-i", "sine=duration=1.2"});
      list += "file '" + piece.filename().string() + "'\n";  // beside the list
    }
    test::WriteFileBytes(dir / "pieces.txt", list);
    const fs::path movie = dir / "joined.mp4";
    EXPECT_TRUE(test::RunFfmpeg(
        {"-f", "concat", "-i", (dir / "pieces.txt").string(), "-c", "copy", movie.string()}));
    return movie;
  }

  int Run(std::vector<std::string> args, const std::string& tag) {
    std::vector<std::string> argv = {kBatch.string(), "--settings", settingsFile.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = dir / (tag + ".out");
    io.stderrFile = dir / (tag + ".err");
    return RunProcess(argv, io, std::chrono::minutes(2)).exitCode;
  }

  std::string Said(const std::string& tag) {
    return test::ReadFileBytes(dir / (tag + ".out")) + test::ReadFileBytes(dir / (tag + ".err"));
  }

  // Converts in both routes; each output's picture lasts as long as the input's
  // sound, and its sound as long as its picture.
  void ExpectInStepBothRoutes(const fs::path& movie, double soundSeconds) {
    for (const std::string route : {"graph", "decoder"}) {
      const std::string tag = movie.stem().string() + "-" + route;
      const fs::path output = dir / (tag + ".mp4");
      ASSERT_EQ(Run({movie.string(), "-o", output.string(), "--route", route}, tag), 0)
          << Said(tag);
      const auto facts = test::ProbeFile(output);
      ASSERT_TRUE(facts.has_value()) << tag;
      ASSERT_TRUE(facts->hasAudio) << tag;
      // The input's own picture may outlast its sound by up to a frame, and the 30 fps
      // export rounds to its own frames: within one frame of each.
      EXPECT_NEAR(facts->videoSeconds, soundSeconds, kOneFrame + 1.0 / 30) << tag;
      EXPECT_NEAR(facts->audioSeconds, facts->videoSeconds, kOneFrame) << tag;
      // The MP4 export plays 30 frames a second: every one of them was decoded.
      EXPECT_NEAR(static_cast<double>(facts->frameCount), 30 * facts->videoSeconds, 1.01) << tag;
    }
  }

  // The processed frames of a --frames-only run, in their order.
  std::vector<std::string> Frames(const fs::path& movie, const std::string& route,
                                  const std::string& tag) {
    const fs::path folder = dir / tag;
    EXPECT_EQ(Run({movie.string(), "--frames-only", folder.string(), "--route", route}, tag), 0)
        << Said(tag);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> frames;
    for (const auto& file : files) frames.push_back(test::ReadFileBytes(file));
    return frames;
  }

  // The first input frame unwrapped: a movie that holds only that frame.
  std::string FirstFrame() {
    const fs::path movie =
        Make("first.mp4", {"-f", "lavfi", "-i", kSource + "25", "-frames:v", "1"});
    const auto frames = Frames(movie, "graph", "first");
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? std::string() : frames[0];
  }
};

TEST_F(TimingFixture, VariableRateAndJoinedMoviesLastAsLongAsTheirSound) {
  // Ten frames at 25 fps, then every third one: 31 frames over 2.92 s.
  const fs::path vfr =
      Make("vfr.mp4",
           {"-f", "lavfi", "-i", kSource + "25:duration=3", "-f", "lavfi", "-i", "sine=duration=3",
            "-vf", "select='lt(n\\,10)+not(mod(n\\,3))'", "-fps_mode", "vfr", "-shortest"});
  ExpectInStepBothRoutes(vfr, 2.92);
  const fs::path joined = Joined();
  ExpectInStepBothRoutes(joined, 2.42);

  const std::string first = FirstFrame();
  for (const fs::path& movie : {vfr, joined}) {
    const auto frames = Frames(movie, "graph", movie.stem().string() + "-frames");
    ASSERT_FALSE(frames.empty()) << movie;
    EXPECT_TRUE(frames[0] == first) << movie;
  }
}

TEST_F(TimingFixture, PictureAndSoundKeepTheirOffsetWhicheverStartsFirst) {
  // One second of picture from 2 s on, three seconds of sound from 0.
  const fs::path late =
      Make("late.mp4", {"-itsoffset", "2", "-f", "lavfi", "-i", kSource + "25:duration=1", "-f",
                        "lavfi", "-i", "sine=duration=3", "-fps_mode", "passthrough"});
  ExpectInStepBothRoutes(late, 3.0);

  // The first 2 s show the first frame; the picture moves from its own start on.
  const std::string first = FirstFrame();
  for (const std::string route : {"graph", "decoder"}) {
    const auto frames = Frames(late, route, "late-" + route);
    ASSERT_EQ(frames.size(), 75u) << route;
    for (size_t i = 0; i <= 50; ++i) EXPECT_TRUE(frames[i] == first) << route << " frame " << i;
    EXPECT_FALSE(frames[51] == first) << route;
  }

  // The other way round: the sound comes a second after the picture and is
  // preceded by silence, not moved to the start.
  const fs::path early =
      Make("early.mp4", {"-f", "lavfi", "-i", kSource + "25:duration=3", "-itsoffset", "1", "-f",
                         "lavfi", "-i", "sine=duration=2"});
  const fs::path output = dir / "early out.mp4";
  ASSERT_EQ(Run({early.string(), "-o", output.string()}, "early"), 0) << Said("early");
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_NEAR(facts->videoSeconds, 3.0, kOneFrame);
  EXPECT_NEAR(facts->audioSeconds, 3.0, kOneFrame);
}

// The output lasts as long as the picture, whatever the container states: a late
// start, a header that claims an hour, no duration at all, sound longer than the
// picture, pictures without timestamps, a file cut short (converted as far as it goes,
// and said so in the log).
TEST_F(TimingFixture, TimelineComesFromThePictureStream) {
  const std::string h264Source = kSource + "25:duration=2";
  const fs::path base = Make("base.mp4", {"-f", "lavfi", "-i", h264Source, "-f", "lavfi", "-i",
                                          "sine=duration=2", "-movflags", "+faststart"});
  auto copy = [&](const std::string& name, std::vector<std::string> options) {
    std::vector<std::string> args = {"-i", base.string(), "-c", "copy"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back((dir / name).string());
    EXPECT_TRUE(test::RunFfmpeg(args)) << name;
    return dir / name;
  };
  struct Case {
    fs::path movie;
    double seconds;
  };
  std::vector<Case> cases = {{copy("late.mkv", {"-output_ts_offset", "600"}), 2.0},
                             {copy("late.mp4", {"-output_ts_offset", "600"}), 2.0}};
  // VP9 in WebM: late, and written live (no duration, no index), as browsers do.
  for (const auto& [name, extra] :
       {std::pair<std::string, std::string>{"late.webm", "600"}, {"live.webm", ""}}) {
    std::vector<std::string> args = {
        "-f",   "lavfi",      "-i",        h264Source, "-f",   "lavfi",  "-i", "sine=duration=2",
        "-c:v", "libvpx-vp9", "-deadline", "realtime", "-c:a", "libopus"};
    if (extra.empty()) {
      args.insert(args.end(), {"-live", "1"});
    } else {
      args.insert(args.end(), {"-output_ts_offset", extra});
    }
    args.push_back((dir / name).string());
    ASSERT_TRUE(test::RunFfmpeg(args)) << name;
    cases.push_back({dir / name, 2.0});
  }
  // The Matroska Duration (ms, an 8-byte float) patched to an hour.
  fs::path lies = copy("lies.mkv", {});
  std::string bytes = test::ReadFileBytes(lies);
  const size_t at = bytes.find("\x44\x89\x88");
  ASSERT_NE(at, std::string::npos);
  const double hour = 3'600'000.0;
  uint64_t bits = 0;
  std::memcpy(&bits, &hour, 8);
  for (int i = 0; i < 8; ++i) bytes[at + 3 + i] = static_cast<char>(bits >> (56 - 8 * i));
  test::WriteFileBytes(lies, bytes);
  cases.push_back({lies, 2.0});
  // One second of picture, four of sound, in both containers.
  for (const char* name : {"long sound.mkv", "long sound.mp4"}) {
    cases.push_back({Make(name, {"-f", "lavfi", "-i", kSource + "25:duration=1", "-f", "lavfi",
                                 "-i", "sine=duration=4"}),
                     1.0});
  }
  // H.264 with B-frames moved half a second back: Matroska keeps no stamp for the
  // pictures before 0.
  const fs::path reordered = dir / "reordered.mp4";
  ASSERT_TRUE(
      test::RunFfmpeg({"-f", "lavfi", "-i", h264Source, "-f", "lavfi", "-i", "sine=duration=2",
                       "-c:v", "libx264", "-bf", "2", "-c:a", "aac", reordered.string()}));
  const fs::path untimed = dir / "untimed.mkv";
  ASSERT_TRUE(test::RunFfmpeg({"-i", reordered.string(), "-c", "copy", "-avoid_negative_ts",
                               "disabled", "-output_ts_offset", "-0.5", untimed.string()}));
  cases.push_back({untimed, 2.0});
  // Cut after its first half.
  const fs::path cut = dir / "cut.mp4";
  const std::string whole = test::ReadFileBytes(base);
  test::WriteFileBytes(cut, whole.substr(0, whole.size() / 2));
  cases.push_back({cut, -1});

  for (const Case& c : cases) {
    const std::string tag = c.movie.filename().string();
    const fs::path output = dir / (tag + " out.mp4");
    const fs::path logs = dir / (tag + " logs");
    ASSERT_EQ(Run({c.movie.string(), "-o", output.string(), "--log-folder", logs.string()}, tag), 0)
        << Said(tag);
    const auto facts = test::ProbeFile(output);
    ASSERT_TRUE(facts.has_value()) << tag;
    std::string log;
    for (const auto& entry : fs::directory_iterator(logs)) log += test::ReadFileBytes(entry.path());
    if (c.seconds > 0) {
      EXPECT_NEAR(facts->videoSeconds, c.seconds, kOneFrame + 1.0 / 30) << tag;
      EXPECT_NEAR(static_cast<double>(facts->frameCount), 30 * c.seconds, 2) << tag;
      if (facts->hasAudio) {
        EXPECT_NEAR(facts->audioSeconds, facts->videoSeconds, kOneFrame) << tag;
      }
      if (tag != "lies.mkv") {
        EXPECT_EQ(log.find("Timeline:"), std::string::npos) << tag;
      }
    } else {
      EXPECT_GT(facts->videoSeconds, 0.3) << tag;
      EXPECT_LT(facts->videoSeconds, 1.5) << tag;
      EXPECT_NE(log.find("Timeline: the movie ends at"), std::string::npos) << tag;
    }
  }
}

// The encoder takes the frame on screen at each 30 fps output time: a 120 fps movie
// gives its frames 0, 4, 8 ...
TEST_F(TimingFixture, FasterMovieGivesTheFrameOnScreenAtEachOutputTime) {
  const fs::path movie = dir / "fast.mkv";
  ASSERT_TRUE(
      test::RunFfmpeg({"-f", "lavfi", "-i", "nullsrc=s=320x240:r=120:d=1,format=gray,geq=lum='N*2'",
                       "-c:v", "ffv1", movie.string()}));
  for (const std::string route : {"one", "spool"}) {
    const fs::path output = dir / ("fast " + route + ".mp4");
    std::vector<std::string> args = {movie.string(), "-o", output.string(), "--quality", "1"};
    if (route == "spool") args.push_back("--spool");
    ASSERT_EQ(Run(args, "fast-" + route), 0) << Said("fast-" + route);
    const fs::path raw = dir / ("fast " + route + ".gray");
    ASSERT_TRUE(test::RunFfmpeg({"-i", output.string(), "-frames:v", "8", "-f", "rawvideo",
                                 "-pix_fmt", "gray", raw.string()}));
    const std::string pixels = test::ReadFileBytes(raw);
    ASSERT_FALSE(pixels.empty());
    const size_t frame = pixels.size() / 8;
    // The unwrap keeps the flat brightness: the middle pixel tells the input frame.
    for (size_t k = 0; k < 8; ++k) {
      const int value = static_cast<uint8_t>(pixels[k * frame + frame / 2]);
      EXPECT_NEAR(value / 2.0, 4.0 * k, 1.0) << route << " output frame " << k;
    }
  }
}

// The slots themselves, and the spool's repeats that fill them.
TEST_F(TimingFixture, SlotsRepeatAndDropByTimestampAndRepeatsStayApart) {
  FrameSlots slots(400'000, 800'000);  // 25 fps, the picture 2 frames after the sound
  FrameSlots::Placement p = slots.Place(0, 1'300'000);
  EXPECT_FALSE(p.drop);
  EXPECT_EQ(p.slot, 0);  // the first frame also fills the slots before its own
  EXPECT_EQ(p.repeatOf, 0);
  EXPECT_EQ(p.repeatFirst, 1);
  EXPECT_EQ(p.repeatLast, 5);  // on screen until the next frame, at 5.25 slots
  slots.Commit(p);
  p = slots.Place(1'300'000, 1'350'000);
  EXPECT_TRUE(p.drop) << "the next frame is on screen by slot 6's time";
  slots.Commit(p);
  p = slots.Place(1'350'000, 1'700'000);
  EXPECT_EQ(p.slot, 6);
  EXPECT_EQ(p.Repeats(), 0);
  slots.Commit(p);
  p = slots.Place(1'700'000, FrameSlots::kNoNext);  // lasts as long as the one before
  EXPECT_EQ(p.slot, 7);
  EXPECT_EQ(p.Repeats(), 0);
  slots.Commit(p);
  EXPECT_EQ(slots.Filled(), 8);

  // Each slot shows the last frame stamped at or before its time. `rate` frames a
  // second, stamped as Matroska stores them (whole milliseconds), into 30 fps slots.
  auto shown = [](int64_t inputRate, int64_t frames, int64_t timePerFrame, int64_t pictureStart) {
    FrameSlots slots(timePerFrame, pictureStart);
    std::vector<int64_t> bySlot;
    auto stamp = [inputRate](int64_t n) { return (n * 1000 + inputRate / 2) / inputRate * 10'000; };
    for (int64_t n = 0; n < frames; ++n) {
      const FrameSlots::Placement q =
          slots.Place(stamp(n), n + 1 < frames ? stamp(n + 1) : FrameSlots::kNoNext);
      if (!q.drop) bySlot.resize(static_cast<size_t>(q.end), n);
      slots.Commit(q);
    }
    return bySlot;
  };
  const std::vector<int64_t> from120 = shown(120, 480, 333'333, 0);
  ASSERT_EQ(from120.size(), 120u);  // 4 s either way
  for (size_t k = 0; k < from120.size(); ++k) EXPECT_EQ(from120[k], 4 * int64_t(k)) << k;
  const std::vector<int64_t> from24 = shown(24, 96, 333'333, 0);
  ASSERT_EQ(from24.size(), 120u);
  // At k / 30 s the frame on screen is floor(k x 24 / 30): every fourth one twice.
  for (size_t k = 0; k < from24.size(); ++k) EXPECT_EQ(from24[k], int64_t(k) * 24 / 30) << k;
  // Equal rates stay one to one, also 29.97 fps stamped to the millisecond for an hour.
  FrameSlots same(333'667, 0);
  for (int64_t n = 0; n < 108'000; ++n) {
    const auto at = [](int64_t i) { return (i * 1001 + 15) / 30 * 10'000; };
    const FrameSlots::Placement q = same.Place(at(n), at(n + 1));
    ASSERT_FALSE(q.drop) << n;
    ASSERT_EQ(q.slot, n);
    ASSERT_EQ(q.Repeats(), 0) << n;
    same.Commit(q);
  }
  // A picture 0.1 s after the sound: its first frame fills the slots before it too.
  const std::vector<int64_t> late = shown(30, 30, 333'333, 1'000'000);
  ASSERT_EQ(late.size(), 33u);
  EXPECT_EQ(late[0], 0);
  EXPECT_EQ(late[3], 0);
  EXPECT_EQ(late[4], 1);
  EXPECT_EQ(late[32], 29);

  // Breaks in the timing: a second back, or far past the end, and the frames go on
  // after the last one.
  FrameSlots broken(400'000, 0, 100);
  const std::vector<int64_t> times = {0, 400'000, 1'000'000'000'000, 1'000'000'400'000, 800'000, 0};
  for (int64_t i = 0; i < 30; ++i) broken.Commit(broken.Place(i * 400'000, (i + 1) * 400'000));
  for (size_t i = 0; i + 1 < times.size(); ++i) {
    p = broken.Place(times[i], times[i + 1]);
    EXPECT_FALSE(p.drop) << times[i];
    EXPECT_EQ(p.slot, broken.Filled()) << times[i];
    EXPECT_EQ(p.Repeats(), 0) << times[i];
    broken.Commit(p);
  }
  EXPECT_EQ(broken.Filled(), 35);

  // Repeats share the file; a frame written later under a repeated number must
  // not change the frame it repeated.
  const fs::path folder = dir / "spool";
  fs::create_directories(folder);
  {
    SpoolWriter spool(folder, nullptr);
    spool.Submit({.number = 0, .width = 2, .height = 2, .bytes = std::vector<uint8_t>(16, 7)});
    spool.Repeat(0, 1, 3);
    spool.Submit({.number = 2, .width = 2, .height = 2, .bytes = std::vector<uint8_t>(16, 9)});
    spool.Finish();
    const SpoolStats stats = spool.Stats();
    EXPECT_EQ(stats.written, 5);
    EXPECT_EQ(stats.repeated, 3);
    EXPECT_EQ(stats.failed, 0);
  }
  const std::string first = test::ReadFileBytes(SpoolFilePath(folder, 0));
  EXPECT_EQ(test::ReadFileBytes(SpoolFilePath(folder, 1)), first);
  EXPECT_EQ(test::ReadFileBytes(SpoolFilePath(folder, 3)), first);
  EXPECT_NE(test::ReadFileBytes(SpoolFilePath(folder, 2)), first);
  EXPECT_EQ(first.back(), 7);

  // The one-pass pipe: rows turned top-down, a repeat is the last frame again, and a
  // reader that goes away fails the writes instead of ending the program.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  {
    PipeWriter pipe(ends[1], nullptr);
    pipe.Submit({.number = 0, .width = 1, .height = 2, .bytes = {1, 1, 1, 1, 2, 2, 2, 2}});
    pipe.Repeat(0, 1, 2);
    pipe.Finish();
    EXPECT_EQ(pipe.Stats().written, 3);
    EXPECT_EQ(pipe.Stats().repeated, 2);
  }
  std::string bytes(64, '\0');
  bytes.resize(static_cast<size_t>(std::max<ssize_t>(::read(ends[0], bytes.data(), 64), 0)));
  ::close(ends[0]);
  EXPECT_EQ(bytes, std::string("\2\2\2\2\1\1\1\1\2\2\2\2\1\1\1\1\2\2\2\2\1\1\1\1"));
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  PipeWriter orphan(ends[1], nullptr);
  for (int64_t i = 0; i < 3; ++i) {
    orphan.Submit({.number = i,
                   .width = 1,
                   .height = 1,
                   .bytes = {i == 1 ? uint8_t{0} : uint8_t{5}, 0, 0, 0}});
  }
  orphan.Finish();
  EXPECT_EQ(orphan.Stats().written, 0);
  EXPECT_GE(orphan.Stats().failed, 1);
  EXPECT_EQ(orphan.Stats().firstError, "the encoder stopped reading the frames");

  // The window's tee: an encoder that stops reading costs the spool nothing.
  const fs::path teeFolder = dir / "tee";
  fs::create_directories(teeFolder);
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  TeeSink tee(std::make_unique<SpoolWriter>(teeFolder, nullptr),
              std::make_unique<PipeWriter>(ends[1], nullptr));
  for (int64_t i = 0; i < 2; ++i) {
    tee.Submit({.number = i, .width = 2, .height = 2, .bytes = std::vector<uint8_t>(16, 3)});
  }
  tee.Repeat(1, 2, 3);
  tee.Finish();
  EXPECT_EQ(tee.Stats().written, 4);
  EXPECT_EQ(tee.Stats().failed, 0);
  EXPECT_GE(tee.PipeStats().failed, 1);
  EXPECT_EQ(test::ReadFileBytes(SpoolFilePath(teeFolder, 3)),
            test::ReadFileBytes(SpoolFilePath(teeFolder, 0)));
}

// The 4:2:0 pipe hands the encoder exactly what the encoder tool makes of the BGRX
// picture itself (its crop to even sizes, then its default conversion), so the movie
// stays the same: odd and even sizes, a repeat included.
TEST_F(TimingFixture, Yuv420PipeGivesTheEncoderToolsOwnConversion) {
  std::mt19937 random(7);
  for (const auto& [w, h] : {std::pair{37, 23}, std::pair{64, 48}}) {
    std::vector<uint8_t> bottomUp(static_cast<size_t>(w) * h * 4);
    for (uint8_t& b : bottomUp) b = static_cast<uint8_t>(random());
    std::string topDown;
    for (int32_t row = h - 1; row >= 0; --row) {
      topDown.append(reinterpret_cast<const char*>(bottomUp.data()) + row * w * 4, w * 4);
    }
    const fs::path in = dir / "picture.bgr0";
    const fs::path out = dir / "picture.yuv";
    test::WriteFileBytes(in, topDown);
    ASSERT_TRUE(test::RunFfmpeg({"-f", "rawvideo", "-pix_fmt", "bgr0", "-s",
                                 std::to_string(w) + "x" + std::to_string(h), "-i", in.string(),
                                 "-vf", "crop=trunc(iw/2)*2:trunc(ih/2)*2", "-pix_fmt", "yuv420p",
                                 "-f", "rawvideo", "-y", out.string()}));
    const std::string expected = test::ReadFileBytes(out);
    ASSERT_EQ(expected.size(), Yuv420Converter::ByteSize(w, h));

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    {
      PipeWriter pipe(ends[1], nullptr, PipeWriter::Format::Yuv420);
      pipe.Submit({.number = 0, .width = w, .height = h, .bytes = bottomUp});
      pipe.Repeat(0, 1, 1);
      pipe.Finish();
      EXPECT_EQ(pipe.Stats().failed, 0);
    }
    std::string piped;
    char chunk[4096];
    for (ssize_t n; (n = ::read(ends[0], chunk, sizeof chunk)) > 0;) piped.append(chunk, n);
    ::close(ends[0]);
    EXPECT_TRUE(piped == expected + expected) << w << "x" << h;
  }
}

// Our own conversion equals the scaler's, byte for byte, at every width and height from
// the smallest it takes to a 1080p frame: both picture edges and the rows the scaler's
// vector code and its plain code each make. Random, extreme and smooth pictures.
TEST(Yuv420Conversion, EqualsTheScalerAtEverySize) {
  std::mt19937 random(11);
  std::vector<std::pair<int32_t, int32_t>> sizes;
  for (int32_t w = 2; w <= 72; ++w) sizes.push_back({w, 2 + (w * 7) % 41});
  for (int32_t h = 2; h <= 40; ++h) sizes.push_back({16 + h % 3, h});
  for (int32_t w : {127, 1228, 1229}) {
    for (int32_t h : {3, 4, 386}) sizes.push_back({w, h});
  }
  sizes.push_back({1920, 1080});
  Yuv420Converter ours;
  for (const auto& [w, h] : sizes) {
    for (int pattern = 0; pattern < 3; ++pattern) {
      std::vector<uint8_t> bottomUp(static_cast<size_t>(w) * h * 4);
      for (size_t i = 0; i < bottomUp.size(); ++i) {
        bottomUp[i] = pattern == 0   ? static_cast<uint8_t>(random())
                      : pattern == 1 ? static_cast<uint8_t>((random() & 1) * 255)
                                     : static_cast<uint8_t>(i / 4 % w * 3 + i / 4 / w + i % 4 * 60);
      }
      const size_t bytes = Yuv420Converter::ByteSize(w, h);
      const int ew = w & ~1, eh = h & ~1;
      SwsContext* scaler = sws_getContext(ew, eh, AV_PIX_FMT_BGR0, ew, eh, AV_PIX_FMT_YUV420P,
                                          SWS_BICUBIC, nullptr, nullptr, nullptr);
      ASSERT_NE(scaler, nullptr);
      std::vector<uint8_t> theirs(bytes + 64);  // its vector code stores whole blocks
      const uint8_t* top[4] = {bottomUp.data() + static_cast<size_t>(h - 1) * w * 4};
      const int topStride[4] = {-w * 4};
      const size_t luma = static_cast<size_t>(ew) * eh;
      uint8_t* planes[4] = {theirs.data(), theirs.data() + luma, theirs.data() + luma * 5 / 4};
      const int strides[4] = {ew, ew / 2, ew / 2};
      ASSERT_EQ(sws_scale(scaler, top, topStride, 0, eh, planes, strides), eh);
      sws_freeContext(scaler);
      theirs.resize(bytes);
      std::vector<uint8_t> mine(bytes);
      ASSERT_TRUE(ours.Convert(bottomUp.data(), w, h, mine.data()));
      ASSERT_TRUE(mine == theirs) << w << "x" << h << " pattern " << pattern;
    }
  }
}

// The plain kernels, which processors without AVX2 run, give the vector kernels' bytes,
// for counts that leave every kind of tail.
TEST(Yuv420Conversion, PlainKernelsMatchTheVectorOnes) {
  std::mt19937 random(5);
  std::vector<uint8_t> pixels(4 * 200);
  for (uint8_t& b : pixels) b = static_cast<uint8_t>(random());
  const HalvingFilter filter = BuildHalvingFilter(40);
  std::vector<std::vector<int16_t>> rows(filter.size, std::vector<int16_t>(100));
  std::vector<const int16_t*> rowPointers;
  for (auto& row : rows) {
    for (int16_t& v : row) v = static_cast<int16_t>(random() % 32768);
    rowPointers.push_back(row.data());
  }
  for (int32_t n : {1, 7, 8, 15, 31, 32, 33, 63, 100}) {
    std::vector<uint8_t> a(200), b(200);
    LumaRow(pixels.data(), std::min(2 * n, 200), a.data());
    plain::LumaRow(pixels.data(), std::min(2 * n, 200), b.data());
    EXPECT_EQ(a, b) << n;
    std::vector<int16_t> u1(n), v1(n), u2(n), v2(n);
    ChromaPairRow(pixels.data(), n, u1.data(), v1.data());
    plain::ChromaPairRow(pixels.data(), n, u2.data(), v2.data());
    EXPECT_EQ(u1, u2) << n;
    EXPECT_EQ(v1, v2) << n;
    if (n % 2 == 0 || n > 32) {
      const int32_t w = n & ~1;
      const Yuv420Coefficients k = Yuv420CoefficientsFor(SWS_CS_ITU709, false);
      std::vector<uint8_t> rgb1(4 * w), rgb2(4 * w);
      Yuv420RowToBgrx(pixels.data(), pixels.data() + 100, pixels.data() + 400, w, k, rgb1.data());
      plain::Yuv420RowToBgrx(pixels.data(), pixels.data() + 100, pixels.data() + 400, w, k,
                             rgb2.data());
      EXPECT_EQ(rgb1, rgb2) << w;
    }
    for (bool last : {false, true}) {
      HalveChromaRow(rowPointers.data(), filter.taps.data() + 4 * filter.size, filter.size, n, last,
                     a.data());
      plain::HalveChromaRow(rowPointers.data(), filter.taps.data() + 4 * filter.size, filter.size,
                            n, last, b.data());
      EXPECT_EQ(a, b) << n << (last ? " last row" : "");
    }
  }
}

// Decoded 4:2:0 pictures to BGRX: our rows give the decoder's scaler's bytes for every
// luma and chroma triple, in both colour spaces and both ranges, vector and plain.
TEST(Yuv420Conversion, BgrxRowsEqualTheDecodersScalerForEveryColour) {
  // Each 2 x 2 block shares one chroma pair and holds four luma values: 64 blocks give
  // a pair every luma. 16 U values per picture of 512 x 2048.
  constexpr int32_t kWidth = 512, kHeight = 2048;
  std::vector<uint8_t> y(size_t{kWidth} * kHeight), u(y.size() / 4), v(y.size() / 4);
  std::vector<uint8_t> theirs(y.size() * 4), mine(y.size() * 4), plainRow(kWidth * 4);
  for (const auto& [space, full] :
       {std::pair{SWS_CS_DEFAULT, false}, std::pair{SWS_CS_ITU709, false},
        std::pair{SWS_CS_DEFAULT, true}, std::pair{SWS_CS_ITU709, true}}) {
    BgrxScaler scaler;
    const AVPixelFormat format = full ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    SwsContext* context = scaler.For(kWidth, kHeight, format, kWidth, kHeight, space, full);
    ASSERT_NE(context, nullptr);
    const Yuv420Coefficients k = Yuv420CoefficientsFor(space, full);
    for (int32_t uFirst = 0; uFirst < 256; uFirst += 16) {
      for (size_t block = 0; block < u.size(); ++block) {
        const size_t pair = block / 64, luma = block % 64 * 4;
        u[block] = static_cast<uint8_t>(uFirst + pair / 256);
        v[block] = static_cast<uint8_t>(pair % 256);
        const size_t x = block % (kWidth / 2) * 2, row = block / (kWidth / 2) * 2;
        y[row * kWidth + x] = static_cast<uint8_t>(luma);
        y[row * kWidth + x + 1] = static_cast<uint8_t>(luma + 1);
        y[(row + 1) * kWidth + x] = static_cast<uint8_t>(luma + 2);
        y[(row + 1) * kWidth + x + 1] = static_cast<uint8_t>(luma + 3);
      }
      const uint8_t* planes[4] = {y.data(), u.data(), v.data()};
      const int strides[4] = {kWidth, kWidth / 2, kWidth / 2};
      uint8_t* out[4] = {theirs.data()};
      const int outStride[4] = {kWidth * 4};
      ASSERT_EQ(sws_scale(context, planes, strides, 0, kHeight, out, outStride), kHeight);
      for (int32_t row = 0; row < kHeight; ++row) {
        const size_t c = size_t(row / 2) * (kWidth / 2);
        Yuv420RowToBgrx(&y[size_t(row) * kWidth], &u[c], &v[c], kWidth, k,
                        &mine[size_t(row) * kWidth * 4]);
        plain::Yuv420RowToBgrx(&y[size_t(row) * kWidth], &u[c], &v[c], kWidth, k, plainRow.data());
        ASSERT_TRUE(
            std::equal(plainRow.begin(), plainRow.end(), mine.begin() + size_t(row) * kWidth * 4))
            << "row " << row;
      }
      ASSERT_TRUE(mine == theirs) << "space " << space << (full ? " full" : " studio") << " U from "
                                  << uFirst;
    }
  }
}

// The batch tool encodes while the frames are made: no frame file and no extracted
// sound appears, and the movie is the spooled route's.
TEST_F(TimingFixture, OnePassWritesNoFilesAndMatchesTheSpooledRoute) {
  // Sound first: the picture starts 0.6 s after it and lasts 1 s.
  const fs::path movie = Make(
      "sound first.mp4", {"-itsoffset", "0.6", "-f", "lavfi", "-i", kSource + "25:duration=1", "-f",
                          "lavfi", "-i", "sine=duration=1.6", "-fps_mode", "passthrough"});
  // Looks into the temporary folder while the tool runs: spooled files stay there
  // from the first frame to the end of the export.
  auto spooledFiles = [this](const std::vector<std::string>& args, const std::string& tag) {
    std::atomic<bool> done{false};
    std::future<int> run = std::async(std::launch::async, [&] {
      const int code = Run(args, tag);
      done = true;
      return code;
    });
    std::set<std::string> seen;
    while (!done) {
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(dir / "temp", ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->path().extension() == ".bmp" || name == "temp.wav") seen.insert(name);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(run.get(), 0) << Said(tag);
    return seen;
  };
  const fs::path one = dir / "one pass.mp4";
  const fs::path spooled = dir / "spooled.mp4";
  EXPECT_TRUE(spooledFiles({movie.string(), "-o", one.string()}, "one").empty());
  // The same watch sees the files of the spooled route.
  EXPECT_TRUE(spooledFiles({movie.string(), "-o", spooled.string(), "--spool"}, "spooled")
                  .contains("temp.wav"));

  const auto a = test::ProbeFile(one);
  const auto b = test::ProbeFile(spooled);
  ASSERT_TRUE(a.has_value() && b.has_value());
  ASSERT_TRUE(a->hasAudio);
  EXPECT_EQ(a->frameCount, b->frameCount);
  EXPECT_NEAR(a->videoSeconds, 1.6, kOneFrame);
  EXPECT_NEAR(a->audioSeconds, a->videoSeconds, kOneFrame);

  // The first frame is the unwrapped first input frame, as --frames-only writes it.
  const std::vector<std::string> frames = Frames(movie, "graph", "one-frames");
  ASSERT_FALSE(frames.empty());
  // The mean difference per colour of a movie's first frame from a spooled frame.
  auto difference = [this](const fs::path& output, const std::string& bmp) {
    const fs::path raw = dir / (output.stem().string() + ".raw");
    EXPECT_TRUE(test::RunFfmpeg({"-i", output.string(), "-frames:v", "1", "-f", "rawvideo",
                                 "-pix_fmt", "bgr0", raw.string()}));
    const std::string decoded = test::ReadFileBytes(raw);
    int32_t width = 0;
    int32_t height = 0;
    std::memcpy(&width, bmp.data() + 18, 4);
    std::memcpy(&height, bmp.data() + 22, 4);
    const size_t row = 4 * static_cast<size_t>(width);
    EXPECT_EQ(decoded.size(), row * static_cast<size_t>(height));
    if (decoded.size() != row * static_cast<size_t>(height)) return 255.0;
    double sum = 0;
    for (int32_t y = 0; y < height; ++y) {
      const char* bottomUp = bmp.data() + sizeof(SpoolHeader) + (height - 1 - y) * row;
      for (size_t x = 0; x < row; ++x) {
        if (x % 4 == 3) continue;
        sum += std::abs(static_cast<uint8_t>(bottomUp[x]) -
                        static_cast<uint8_t>(decoded[y * row + x]));
      }
    }
    return sum / (3.0 * width * height);
  };
  const double near = difference(one, frames.front());
  EXPECT_LT(near, 8.0);
  // The same encoder settings on the same pixels: as close as the spooled route's.
  EXPECT_NEAR(near, difference(spooled, frames.front()), 0.5);
  EXPECT_GT(difference(one, frames.back()), 2 * near) << "the comparison tells frames apart";
}

}  // namespace
}  // namespace corvinex
