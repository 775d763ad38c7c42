// The frame source on movies as cameras, phones and broadcasts write them: MPEG
// transport and program streams, cuts that start mid-GOP, interlaced pictures, a
// display rotation, a picture that starts after the sound. ffmpeg itself is the
// reference for what the frames must look like.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "convert/child_process.h"
#include "media/filter_library.h"
#include "media/frame_source.h"
#include "support/ffprobe.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace corvinex::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;
constexpr int kFrames = 25;                 // one second at 25 fps
constexpr int64_t kTimePerFrame = 400'000;  // 100-ns units

// A picture as rows of blue, green, red, unused; rows top-down.
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bytes;
  const uint8_t* Row(int32_t y) const { return bytes.data() + static_cast<size_t>(y) * width * 4; }
};

void Ffmpeg(std::vector<std::string> args) {
  std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  const ChildExit exit = RunProcess(argv, {}, 2min);
  ASSERT_TRUE(exit.exited && exit.exitCode == 0) << argv.back();
}

// Every frame as ffmpeg decodes it (autorotated, like any player), top-down rows.
std::vector<Picture> FfmpegFrames(const fs::path& movie, int32_t width, int32_t height,
                                  const std::string& filter = {}) {
  TempDir work("ffmpeg frames");
  const fs::path raw = work / "frames.raw";
  std::vector<std::string> args{"-i", "file:" + movie.string(), "-fps_mode", "passthrough"};
  if (!filter.empty()) args.insert(args.end(), {"-vf", filter});
  args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "bgr0", "file:" + raw.string()});
  Ffmpeg(args);
  const std::string bytes = ReadFileBytes(raw);
  const size_t size = static_cast<size_t>(width) * height * 4;
  std::vector<Picture> frames;
  for (size_t at = 0; at + size <= bytes.size(); at += size) {
    Picture p{width, height, {}};
    p.bytes.assign(bytes.begin() + static_cast<ptrdiff_t>(at),
                   bytes.begin() + static_cast<ptrdiff_t>(at + size));
    frames.push_back(std::move(p));
  }
  return frames;
}

// A delivered frame (bottom-up rows) as a top-down picture.
Picture FromFrame(const uint8_t* bytes, int32_t width, int32_t height) {
  Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  const size_t row = static_cast<size_t>(width) * 4;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(p.bytes.data() + y * row, bytes + (height - 1 - y) * row, row);
  }
  return p;
}

// Share of colour bytes that differ by more than a coding error could explain;
// 1 when the sizes differ.
double BadShare(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height) return 1;
  size_t bad = 0;
  for (size_t i = 0; i < a.bytes.size(); ++i) {
    if (i % 4 != 3 && std::abs(int(a.bytes[i]) - int(b.bytes[i])) > 48) ++bad;
  }
  return static_cast<double>(bad) / (static_cast<double>(a.bytes.size()) * 3 / 4);
}

double MeanError(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height) return 255;
  double sum = 0;
  for (size_t i = 0; i < a.bytes.size(); ++i) {
    if (i % 4 != 3) sum += std::abs(int(a.bytes[i]) - int(b.bytes[i]));
  }
  return sum / (static_cast<double>(a.bytes.size()) * 3 / 4);
}

// Combing: how far each line lies from the mean of its neighbours, on average.
double Combing(const Picture& p) {
  double sum = 0;
  for (int32_t y = 1; y + 1 < p.height; ++y) {
    const uint8_t* above = p.Row(y - 1);
    const uint8_t* line = p.Row(y);
    const uint8_t* below = p.Row(y + 1);
    for (int32_t x = 0; x < p.width * 4; ++x) {
      if (x % 4 != 3) sum += std::abs(2 * int(line[x]) - int(above[x]) - int(below[x]));
    }
  }
  return sum / (static_cast<double>(p.width) * 3 * (p.height - 2));
}

struct Pushed {
  MovieInfo info;
  std::vector<int64_t> times;
  std::vector<Picture> frames;
};

// Opens the movie and collects every frame push mode delivers from the start, with
// only `part` converted when it is not empty.
Pushed PushAll(const fs::path& movie, const PicturePart& part = {}) {
  Pushed out;
  FrameSource source;
  source.SetConvertedPart(part);
  const OpenResult opened = source.Open(movie, out.info);
  EXPECT_TRUE(opened.ok()) << opened.detail;
  if (!opened.ok()) return out;
  std::mutex mutex;
  const int32_t w = out.info.width, h = out.info.height;
  source.SetFrameCallback([&](FrameImage& frame, int64_t time) {
    std::lock_guard lock(mutex);
    EXPECT_EQ(frame.ByteSize(), static_cast<size_t>(w) * h * 4);
    out.times.push_back(time);
    out.frames.push_back(FromFrame(frame.Bytes(), w, h));
  });
  source.SetMute(true);
  source.Seek(0);
  source.Play();
  EXPECT_TRUE(source.WaitEndOfMovie(30s));
  source.SetFrameCallback({});
  return out;
}

// Pull mode: paused on the first frame; a seek shows the frame at its time.
void ExpectPullModeShows(const fs::path& movie, const std::vector<Picture>& expected,
                         double tolerance) {
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(movie, info).ok());
  FrameImage frame;
  ASSERT_TRUE(source.CopyCurrentFrame(frame));
  EXPECT_LT(MeanError(FromFrame(frame.Bytes(), frame.width, frame.height), expected[0]), tolerance);
  for (int index : {17, 3}) {
    source.Seek(index * kTimePerFrame);
    ASSERT_TRUE(WaitFor([&] { return source.CurrentFrameTime() == index * kTimePerFrame; }))
        << "seek to frame " << index;
    ASSERT_TRUE(source.CopyCurrentFrame(frame));
    EXPECT_LT(MeanError(FromFrame(frame.Bytes(), frame.width, frame.height), expected[index]),
              tolerance)
        << "seek to frame " << index;
  }
}

class FrameSourceMedia : public testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = new TempDir("frame source media"); }
  static void TearDownTestSuite() { delete dir_; }
  static fs::path Path(const std::string& name) { return dir_->path() / name; }
  // One second of `source` (testsrc2, 320x240 at 25 fps) and one of sound, encoded
  // with the options in `encode` ("-an" leaves the sound out).
  static fs::path MakeMovie(
      const std::string& name, std::vector<std::string> encode,
      const std::string& source = "testsrc2=size=320x240:rate=25:duration=1") {
    const fs::path movie = Path(name);
    std::vector<std::string> args{"-f", "lavfi", "-i", source,
                                  "-f", "lavfi", "-i", "sine=duration=1"};
    args.insert(args.end(), encode.begin(), encode.end());
    args.push_back("file:" + movie.string());
    Ffmpeg(args);
    return movie;
  }
  static inline TempDir* dir_ = nullptr;
};

struct ContainerCase {
  const char* name;  // file name; its extension picks the container unless -f says
  std::vector<std::string> encode;
};

// Push mode delivers every frame from the first, each like ffmpeg's own; pull mode
// shows the first frame and seeks to the right one.
TEST_F(FrameSourceMedia, TransportAndProgramStreamsDecodeFromTheirFirstFrame) {
  const std::vector<ContainerCase> cases = {
      {"h264.ts", {"-c:v", "libx264", "-c:a", "aac"}},
      {"h264.mts", {"-c:v", "libx264", "-c:a", "ac3", "-f", "mpegts"}},
      {"h264.m2ts", {"-c:v", "libx264", "-c:a", "aac", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}},
      {"hevc.ts", {"-c:v", "libx265", "-x265-params", "log-level=none", "-c:a", "aac"}},
      {"mpeg2.ts", {"-c:v", "mpeg2video", "-q:v", "3", "-c:a", "mp2"}},
      {"mpeg2.mpg", {"-c:v", "mpeg2video", "-q:v", "3", "-c:a", "mp2"}},
      {"h264.mpg", {"-c:v", "libx264", "-c:a", "mp2", "-f", "mpeg"}},
      {"hevc.mp4", {"-c:v", "libx265", "-x265-params", "log-level=none", "-c:a", "aac"}},
      {"h264.mkv", {"-c:v", "libx264", "-c:a", "aac"}},
      {"h264.flv", {"-c:v", "libx264", "-c:a", "aac"}},  // also a format with time jumps
  };
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path movie = MakeMovie(c.name, c.encode);
    const auto probe = ProbeFile(movie);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->frameCount, kFrames);
    const std::vector<Picture> expected = FfmpegFrames(movie, kWidth, kHeight);
    ASSERT_EQ(expected.size(), size_t(kFrames));

    const Pushed pushed = PushAll(movie);
    EXPECT_EQ(pushed.info.width, kWidth);
    EXPECT_EQ(pushed.info.height, kHeight);
    ASSERT_EQ(pushed.frames.size(), size_t(kFrames));
    for (size_t i = 0; i < pushed.times.size(); ++i) {
      EXPECT_EQ(pushed.times[i], int64_t(i) * kTimePerFrame) << i;
    }
    for (size_t i : {size_t(0), size_t(1), size_t(kFrames / 2), size_t(kFrames - 1)}) {
      EXPECT_LT(MeanError(pushed.frames[i], expected[i]), 3.0) << "frame " << i;
      EXPECT_LT(BadShare(pushed.frames[i], expected[i]), 0.002) << "frame " << i;
    }

    ExpectPullModeShows(movie, expected, 3.0);
  }
}

// Pictures large enough for the decoder's huge-page buffers, in each plane layout
// decoders write (4:2:0 with frame threads, 10-bit, 4:2:2, 4:4:4): every frame as
// ffmpeg's own, also once the buffers come round again.
TEST_F(FrameSourceMedia, LargePicturesDecodeIntoTheirOwnBuffersAsFfmpegDoes) {
  constexpr int32_t kLargeWidth = 1600;
  constexpr int32_t kLargeHeight = 900;
  const std::string source = "testsrc2=size=1600x900:rate=25:duration=0.4";
  const std::vector<ContainerCase> cases = {
      {"large h264.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-an"}},
      {"large hevc10.mkv",
       {"-c:v", "libx265", "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=none", "-an"}},
      {"large mjpeg422.avi", {"-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj422p", "-an"}},
      {"large h264 444.mkv", {"-c:v", "libx264", "-pix_fmt", "yuv444p", "-an"}},
  };
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path movie = MakeMovie(c.name, c.encode, source);
    const std::vector<Picture> expected = FfmpegFrames(movie, kLargeWidth, kLargeHeight);
    ASSERT_EQ(expected.size(), 10u);
    const Pushed pushed = PushAll(movie);
    ASSERT_EQ(pushed.frames.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_LT(MeanError(pushed.frames[i], expected[i]), 3.0) << "frame " << i;
      EXPECT_LT(BadShare(pushed.frames[i], expected[i]), 0.002) << "frame " << i;
    }
  }
}

// A stream whose picture size changes twice on the way (camera files joined end to
// end): the decoder's buffers are made anew for each size, and every picture comes out
// at the movie's first size, as ffmpeg scales it.
TEST_F(FrameSourceMedia, APictureSizeChangeMidStreamKeepsEveryFrame) {
  const std::vector<std::pair<std::string, int>> parts = {
      {"1600x900", 0}, {"640x360", 1}, {"1920x1088", 2}};
  std::string joined;
  for (const auto& [size, offset] : parts) {
    const fs::path part = MakeMovie(
        "part " + size + ".ts",
        {"-c:v", "libx264", "-an", "-output_ts_offset", std::to_string(offset), "-f", "mpegts"},
        "testsrc2=size=" + size + ":rate=25:duration=1");
    joined += ReadFileBytes(part);
  }
  const fs::path movie = Path("size change.ts");
  WriteFileBytes(movie, joined);
  const std::vector<Picture> expected = FfmpegFrames(movie, 1600, 900);
  ASSERT_EQ(expected.size(), 3u * kFrames);
  const Pushed pushed = PushAll(movie);
  ASSERT_EQ(pushed.frames.size(), expected.size());
  for (size_t i : {size_t(5), size_t(kFrames + 5), size_t(2 * kFrames + 5)}) {
    EXPECT_LT(MeanError(pushed.frames[i], expected[i]), 8.0) << "frame " << i;
  }
}

// A transport stream cut at a packet boundary mid-GOP: the pictures whose references
// were cut off are never shown; what is shown is whole.
TEST_F(FrameSourceMedia, ACutMidGopShowsNoGarbage) {
  const std::vector<ContainerCase> cases = {
      // Parameter sets before every picture: the pictures before the cut's first key
      // frame can be decoded, but only as smears.
      {"cut h264.ts",
       {"-c:v", "libx264", "-g", "10", "-flags", "+global_header", "-bsf:v", "dump_extra=freq=all",
        "-an"}},
      {"cut hevc.ts", {"-c:v", "libx265", "-x265-params", "log-level=none:keyint=10", "-an"}},
      {"cut mpeg2.ts", {"-c:v", "mpeg2video", "-g", "10", "-q:v", "3", "-an"}},
  };
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path whole = MakeMovie(c.name, c.encode);
    const std::vector<Picture> original = FfmpegFrames(whole, kWidth, kHeight);
    ASSERT_EQ(original.size(), size_t(kFrames));
    // Cut where the third frame's packets lie: well inside the first GOP.
    const std::string bytes = ReadFileBytes(whole);
    const size_t cut = (bytes.size() / 4) / 188 * 188;
    const fs::path part = Path(std::string("part of ") + c.name);
    WriteFileBytes(part, bytes.substr(cut));

    const Pushed pushed = PushAll(part);
    ASSERT_GE(pushed.frames.size(), 5u);
    EXPECT_LT(pushed.frames.size(), size_t(kFrames));
    int previous = -1;
    for (size_t i = 0; i < pushed.frames.size(); ++i) {
      // Each shown frame is one of the original's, in order.
      int best = -1;
      double bestShare = 2;
      for (int k = 0; k < kFrames; ++k) {
        const double share = BadShare(pushed.frames[i], original[k]);
        if (share < bestShare) bestShare = share, best = k;
      }
      EXPECT_LT(bestShare, 0.002) << "frame " << i << " is garbage";
      EXPECT_GT(best, previous) << "frame " << i;
      previous = best;
    }
  }
}

// Converting part of each frame gives that part's pixels exactly as converting the
// whole frame does, whatever the stream's pixel format, the part's place and size;
// formats it cannot promise that for are converted whole.
TEST_F(FrameSourceMedia, APartConvertedAloneMatchesTheWholeFrameThere) {
  struct FormatCase {
    const char* name;
    std::vector<std::string> encode;
    std::string source;
  };
  const std::string size320 = "testsrc2=size=320x240:rate=25:duration=0.4";
  const std::vector<FormatCase> cases = {
      {"420.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-an"}, size320},
      {"420 bt709.mp4",
       {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-colorspace", "bt709", "-an"},
       size320},
      {"full range.mov", {"-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-an"}, size320},
      {"422.mkv", {"-c:v", "libx264", "-pix_fmt", "yuv422p", "-an"}, size320},
      {"444.mkv", {"-c:v", "libx264", "-pix_fmt", "yuv444p", "-an"}, size320},
      {"10 bit.mkv", {"-c:v", "libx264", "-pix_fmt", "yuv420p10le", "-an"}, size320},
      {"odd height.nut",
       {"-vf", "format=yuv444p,crop=320:241,format=yuv420p", "-c:v", "rawvideo", "-an"},
       "testsrc2=size=320x250:rate=25:duration=0.4"},
      {"odd width.mp4",
       {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-an"},
       "testsrc2=size=328x242:rate=25:duration=0.4"},
  };
  const std::vector<PicturePart> parts = {
      {61, 33, 150, 121},    // inside, on no block boundary
      {-20, -9, 100, 80},    // over the top left corner
      {250, 170, 200, 200},  // over the bottom right corner
      {0, 0, 320, 240},      // the whole picture
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path movie = MakeMovie(c.name, c.encode, c.source);
    const Pushed whole = PushAll(movie);
    ASSERT_FALSE(whole.frames.empty());
    // The whole frame as ffmpeg converts it into rows with room to spare (its scaler
    // flags differ, which only deep formats and odd heights notice): a width that is no
    // multiple of 16 once had its left columns overwritten.
    const std::vector<Picture> reference = FfmpegFrames(movie, whole.info.width, whole.info.height);
    ASSERT_EQ(reference.size(), whole.frames.size());
    for (size_t f = 0; f < reference.size(); ++f) {
      const double error = MeanError(whole.frames[f], reference[f]);
      if (c.name == std::string("10 bit.mkv") || c.name == std::string("odd height.nut")) {
        EXPECT_LT(error, 2.0) << "frame " << f;
      } else {
        EXPECT_EQ(error, 0.0) << "frame " << f;
      }
    }
    for (const PicturePart& part : parts) {
      SCOPED_TRACE(std::to_string(part.left) + "," + std::to_string(part.top));
      const Pushed partly = PushAll(movie, part);
      ASSERT_EQ(partly.frames.size(), whole.frames.size());
      const int32_t w = whole.info.width, h = whole.info.height;
      const int32_t x0 = std::max(part.left, 0), x1 = std::min(part.left + part.width, w);
      const int32_t y0 = std::max(part.top, 0), y1 = std::min(part.top + part.height, h);
      for (size_t f = 0; f < whole.frames.size(); ++f) {
        size_t differing = 0;
        for (int32_t y = y0; y < y1; ++y) {
          differing +=
              std::memcmp(whole.frames[f].Row(y) + x0 * 4, partly.frames[f].Row(y) + x0 * 4,
                          static_cast<size_t>(x1 - x0) * 4) != 0;
        }
        EXPECT_EQ(differing, 0u) << "rows differ in frame " << f;
      }
    }
  }
}

// Interlaced pictures come out deinterlaced, one per picture, with their own times.
TEST_F(FrameSourceMedia, InterlacedPicturesComeOutWithoutCombing) {
  const fs::path movie =
      MakeMovie("interlaced.mpg",
                {"-vf", "tinterlace=4", "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-top", "1",
                 "-field_order", "tt", "-b:v", "4M", "-c:a", "mp2"},
                "testsrc2=size=320x240:rate=50:duration=1");
  const std::vector<Picture> raw = FfmpegFrames(movie, kWidth, kHeight);
  ASSERT_EQ(raw.size(), size_t(kFrames));
  const Pushed pushed = PushAll(movie);
  ASSERT_EQ(pushed.frames.size(), size_t(kFrames));
  for (size_t i = 0; i < pushed.times.size(); ++i) {
    EXPECT_EQ(pushed.times[i], int64_t(i) * kTimePerFrame) << i;
  }
  // The same pictures made progressive: the detail every picture has anyway.
  const fs::path progressive = MakeMovie("progressive.mkv", {"-c:v", "ffv1", "-an"});
  const std::vector<Picture> upright = FfmpegFrames(progressive, kWidth, kHeight);
  ASSERT_EQ(upright.size(), size_t(kFrames));
  double combed = 0, shown = 0, natural = 0;
  for (int i = 0; i < kFrames; ++i) {
    combed += Combing(raw[i]);
    shown += Combing(pushed.frames[i]);
    natural += Combing(upright[i]);
    // Still the same picture, only without the comb.
    EXPECT_LT(MeanError(pushed.frames[i], upright[i]), 4.0) << i;
  }
  EXPECT_LT(shown - natural, (combed - natural) * 0.2)
      << "raw " << combed / kFrames << ", shown " << shown / kFrames << ", progressive "
      << natural / kFrames;
  ExpectPullModeShows(movie, upright, 4.0);

  // A recording joined from two, the second larger: the deinterlacer gives out the
  // picture it holds before new filters take over; no frame is lost.
  const fs::path larger =
      MakeMovie("interlaced larger.ts",
                {"-vf", "tinterlace=4", "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-top", "1",
                 "-field_order", "tt", "-q:v", "3", "-an", "-output_ts_offset", "1"},
                "testsrc2=size=640x480:rate=50:duration=1");
  const fs::path smaller =
      MakeMovie("interlaced smaller.ts",
                {"-vf", "tinterlace=4", "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-top", "1",
                 "-field_order", "tt", "-q:v", "3", "-an"},
                "testsrc2=size=320x240:rate=50:duration=1");
  const fs::path joined = Path("interlaced joined.ts");
  WriteFileBytes(joined, ReadFileBytes(smaller) + ReadFileBytes(larger));
  const auto probe = ProbeFile(joined);
  ASSERT_TRUE(probe);
  ASSERT_GT(probe->frameCount, kFrames);
  const Pushed both = PushAll(joined);
  EXPECT_EQ(int64_t(both.frames.size()), probe->frameCount);
  for (size_t i = 1; i < both.times.size(); ++i) EXPECT_GT(both.times[i], both.times[i - 1]) << i;
}

// A phone movie's display matrix turns the delivered frames and the stated size. The
// filter library is loaded for it, and only for such a movie.
TEST_F(FrameSourceMedia, DisplayRotationTurnsThePicture) {
  const fs::path plain = MakeMovie("upright.mp4", {"-c:v", "libx264", "-an"});
  {
    // A fresh process: another test may have loaded the library into this one.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
          const bool delivered = PushAll(plain).frames.size() == size_t(kFrames);
          std::_Exit(delivered && !FilterLibraryLoaded() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
  }
  for (int degrees : {90, 180, 270}) {
    SCOPED_TRACE(degrees);
    const fs::path movie = Path("rotated " + std::to_string(degrees) + ".mp4");
    Ffmpeg({"-i", "file:" + plain.string(), "-c", "copy", "-metadata:s:v:0",
            "rotate=" + std::to_string(degrees), "file:" + movie.string()});
    const bool turned = degrees != 180;
    const int32_t w = turned ? kHeight : kWidth, h = turned ? kWidth : kHeight;
    const std::vector<Picture> expected = FfmpegFrames(movie, w, h);  // ffmpeg autorotates
    ASSERT_EQ(expected.size(), size_t(kFrames));
    const Pushed pushed = PushAll(movie);
    EXPECT_EQ(pushed.info.width, w);
    EXPECT_EQ(pushed.info.height, h);
    EXPECT_EQ(pushed.info.sampleSize, w * h * 4);
    ASSERT_EQ(pushed.frames.size(), size_t(kFrames));
    for (size_t i : {size_t(0), size_t(kFrames - 1)}) {
      EXPECT_LT(MeanError(pushed.frames[i], expected[i]), 3.0) << i;
      EXPECT_LT(BadShare(pushed.frames[i], expected[i]), 0.002) << i;
    }
    ExpectPullModeShows(movie, expected, 3.0);
    if (degrees == 180) {  // not merely the stored picture
      const std::vector<Picture> stored = FfmpegFrames(plain, kWidth, kHeight);
      EXPECT_GT(MeanError(pushed.frames[0], stored[0]), 20.0);
    }
  }
  EXPECT_TRUE(FilterLibraryLoaded());
}

// A mirroring display matrix (written straight into the MP4 track header: ffmpeg 5.1
// has no option for it) mirrors the delivered frames, as in any player.
TEST_F(FrameSourceMedia, DisplayMatrixMirrorsThePicture) {
  const fs::path plain = MakeMovie("upright for mirrors.mp4", {"-c:v", "libx264", "-an"});
  const std::string bytes = ReadFileBytes(plain);
  const size_t tkhd = bytes.find("tkhd");
  ASSERT_NE(tkhd, std::string::npos);
  ASSERT_EQ(bytes[tkhd + 4], 0);  // version 0: the matrix starts 44 bytes after the type
  const std::vector<Picture> stored = FfmpegFrames(plain, kWidth, kHeight);
  ASSERT_EQ(stored.size(), size_t(kFrames));
  // Matrix entry 0 (a) mirrors left and right, entry 4 (d) top and bottom.
  for (int entry : {0, 4}) {
    SCOPED_TRACE(entry);
    std::string mirrored = bytes;
    const char minusOne[4] = {'\xFF', '\xFF', 0, 0};  // -1.0 as 16.16 fixed point
    mirrored.replace(tkhd + 44 + 4 * entry, 4, minusOne, 4);
    const fs::path movie = Path("mirrored " + std::to_string(entry) + ".mp4");
    WriteFileBytes(movie, mirrored);
    const std::vector<Picture> expected = FfmpegFrames(movie, kWidth, kHeight);
    ASSERT_EQ(expected.size(), size_t(kFrames));
    const Pushed pushed = PushAll(movie);
    EXPECT_EQ(pushed.info.width, kWidth);
    EXPECT_EQ(pushed.info.height, kHeight);
    ASSERT_EQ(pushed.frames.size(), size_t(kFrames));
    EXPECT_LT(MeanError(pushed.frames[0], expected[0]), 3.0);
    EXPECT_LT(BadShare(pushed.frames[0], expected[0]), 0.002);
    EXPECT_GT(MeanError(pushed.frames[0], stored[0]), 20.0);  // not the stored picture
  }
}

// pictureStart: how long after the sound the first picture starts.
TEST_F(FrameSourceMedia, PictureStartTellsHowLateThePictureBegins) {
  const fs::path late = Path("late picture.mkv");
  Ffmpeg({"-f", "lavfi", "-i", "sine=duration=3", "-itsoffset", "2", "-f", "lavfi", "-i",
          "testsrc2=size=320x240:rate=25:duration=1", "-map", "1:v", "-map", "0:a", "-c:v",
          "libx264", "-c:a", "aac", "file:" + late.string()});
  FrameSource source;
  MovieInfo info;
  ASSERT_TRUE(source.Open(late, info).ok());
  EXPECT_NEAR(static_cast<double>(info.pictureStart) / kUnitsPerSecond, 2.0, 0.05);

  const fs::path together = MakeMovie("together.mkv", {"-c:v", "libx264", "-c:a", "aac"});
  ASSERT_TRUE(source.Open(together, info).ok());
  EXPECT_LT(info.pictureStart, kUnitsPerSecond / 10);

  const fs::path early = Path("early picture.mkv");
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=2", "-itsoffset", "1", "-f",
          "lavfi", "-i", "sine=duration=1", "-c:v", "libx264", "-c:a", "aac",
          "file:" + early.string()});
  ASSERT_TRUE(source.Open(early, info).ok());
  EXPECT_EQ(info.pictureStart, 0);

  const fs::path silent = MakeMovie("silent.mkv", {"-c:v", "libx264", "-an"});
  ASSERT_TRUE(source.Open(silent, info).ok());
  EXPECT_EQ(info.pictureStart, 0);
}

}  // namespace
}  // namespace corvinex::test
