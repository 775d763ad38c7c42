#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "convert/bmp_header.h"
#include "convert/child_process.h"
#include "convert/frame_stage.h"
#include "convert/pipe_writer.h"
#include "convert/spool_writer.h"
#include "settings/diagnostic_log.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

TEST(SpoolHeader, ByteExactFileAndInfoHeaders) {
  SpoolHeader h = MakeSpoolHeader(2000, 500);
  const uint8_t expected[54] = {
      'B',  'M',  0x36, 0x09, 0x3D, 0x00,         // 4,000,054
      0,    0,    0,    0,    54,   0,    0,  0,  // reserved, pixel offset
      40,   0,    0,    0,    0xD0, 0x07, 0,  0,  // header size, width 2000
      0xF4, 0x01, 0,    0,    1,    0,    32, 0,  // height 500, planes, 32 bits
      0,    0,    0,    0,    0,    0,    0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()),
            std::vector<uint8_t>(std::begin(expected), std::end(expected)));
}

TEST(SpoolHeader, PictureHeightForLogoAndStereoPair) {
  EXPECT_EQ(SpoolPictureHeight(500, 0, 0, false), 500);
  EXPECT_EQ(SpoolPictureHeight(500, 0, 0, true), 1000);
  EXPECT_EQ(SpoolPictureHeight(480, 20, 0, false), 500);
  EXPECT_EQ(
      Le32(std::string(reinterpret_cast<const char*>(MakeSpoolHeader(2000, 1000).data()), 54), 2),
      8000054u);
  EXPECT_EQ(LogoCanvasHeight(2006, true), 1003);
  EXPECT_EQ(LogoCanvasHeight(2006, false), 1002);
  EXPECT_EQ(LogoCanvasHeight(2004, true), 1002);
  EXPECT_EQ(LogoCanvasHeight(2004, false), 1002);
  EXPECT_EQ(SpoolPictureHeight(500, 20, 1002, true), 2004);
}

OutputFrame Frame(SpoolWriter& w, int64_t number, int32_t width, int32_t height, uint8_t seed) {
  OutputFrame f;
  f.number = number;
  f.width = width;
  f.height = height;
  f.bytes = w.AcquireBuffer(4u * width * height);
  for (size_t i = 0; i < f.bytes.size(); ++i) f.bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return f;
}

TEST(SpoolWriter, WritesEveryFrameUnderItsNumberWithItsOwnBytes) {
  test::TempDir dir;
  std::vector<std::string> expected;
  {
    SpoolWriter w(dir.path(), nullptr, 2);
    for (int n = 0; n < 12; ++n) {
      OutputFrame f = Frame(w, n, 3, 2, static_cast<uint8_t>(n));
      expected.emplace_back(f.bytes.begin(), f.bytes.end());
      w.Submit(std::move(f));
    }
    w.Finish();
    EXPECT_EQ(w.Stats().written, 12);
    EXPECT_EQ(w.Stats().failed, 0);
  }
  for (int n = 0; n < 12; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "temp%06d.bmp", n);
    std::string bytes = test::ReadFileBytes(dir / name);
    ASSERT_EQ(bytes.size(), 54u + 24u) << name;
    SpoolHeader h = MakeSpoolHeader(3, 2);
    EXPECT_EQ(bytes.substr(0, 54), std::string(h.begin(), h.end()));
    EXPECT_EQ(bytes.substr(54), expected[n]) << name;
  }
}

TEST(SpoolWriter, RecyclesTheBuffersOfWrittenFrames) {
  test::TempDir dir;
  SpoolWriter w(dir.path(), nullptr, 2);
  std::vector<const uint8_t*> seen;
  for (int n = 0; n < 20; ++n) {
    OutputFrame f = Frame(w, n, 16, 16, 1);
    seen.push_back(f.bytes.data());
    w.Submit(std::move(f));
    w.Finish();
  }
  // After the first frame every buffer comes back from the writer.
  for (int n = 1; n < 20; ++n) EXPECT_EQ(seen[n], seen[0]) << n;
}

TEST(SpoolWriter, AStereoPairIsOneFileOfBothViews) {
  test::TempDir dir;
  SpoolWriter w(dir.path(), nullptr);
  w.Submit(Frame(w, 7, 4, 2 * 3, 9));
  w.Finish();
  std::string bytes = test::ReadFileBytes(dir / "temp000007.bmp");
  EXPECT_EQ(bytes.size(), 54u + 4 * 4 * 6);
  EXPECT_EQ(Le32(bytes, 22), 6u);
  EXPECT_EQ(Le32(bytes, 2), bytes.size());
}

TEST(SpoolWriter, UnwritableFilesAreLoggedAndCounted) {
  test::TempDir dir;
  DiagnosticLog log(dir / "log.txt");
  SpoolWriter w(dir / "missing folder", &log);
  for (int n = 0; n < 13; ++n) w.Submit(Frame(w, n, 2, 2, 0));
  OutputFrame shortFrame = Frame(w, 13, 2, 2, 0);
  shortFrame.bytes.resize(3);
  w.Submit(std::move(shortFrame));
  w.Finish();
  SpoolStats stats = w.Stats();
  EXPECT_EQ(stats.written, 0);
  EXPECT_EQ(stats.failed, 14);
  EXPECT_NE(stats.firstError.find("temp000000.bmp"), std::string::npos);
  EXPECT_NE(stats.firstError.find("No such file"), std::string::npos);
  std::string text = test::ReadFileBytes(dir / "log.txt");
  EXPECT_EQ(text.rfind("SpoolFrame ERR ", 0), 0u);
  // The log names the first failures; the count keeps the rest.
  size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  EXPECT_EQ(lines, 10u);
}

TEST(SpoolWriter, AFullDiskLosesNoFrameSilently) {
  test::TempDir dir;
  DiagnosticLog log;
  // A file-size limit makes writes fail as on a full disk.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 54 + 4 * 64 * 64 + 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  SpoolStats stats;
  {
    SpoolWriter w(dir.path(), &log);
    w.Submit(Frame(w, 0, 64, 64, 0));   // fits
    w.Submit(Frame(w, 1, 128, 64, 0));  // does not
    w.Submit(Frame(w, 2, 64, 64, 0));
    w.Finish();
    stats = w.Stats();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(stats.written, 2);
  EXPECT_EQ(stats.failed, 1);
  EXPECT_NE(stats.firstError.find("temp000001.bmp"), std::string::npos);
  // No cut-off picture is left to be read as a frame.
  EXPECT_FALSE(std::filesystem::exists(dir / "temp000001.bmp"));
  EXPECT_TRUE(std::filesystem::exists(dir / "temp000002.bmp"));
}

// The stage between decoder and unwrap: frames come out in order with their own pixels
// and times; with every buffer taken the decoder waits; a refused frame costs nothing;
// Stop lets a waiting decoder go and drops what was still queued.
TEST(FrameStage, KeepsOrderHoldsTheDecoderBackAndStopsCleanly) {
  using namespace std::chrono_literals;
  std::mutex m;
  std::condition_variable cv;
  bool gateOpen = false;
  std::vector<std::pair<uint32_t, int64_t>> seen;
  std::vector<int64_t> nextTimes;
  FrameStage stage(4, 3, 3, [&](FrameImage& frame, int64_t time, int64_t next) {
    std::unique_lock lock(m);
    cv.wait_for(lock, 5s, [&] { return gateOpen; });
    seen.emplace_back(frame.pixels[0], time);
    nextTimes.push_back(next);
    cv.notify_all();
  });
  std::atomic<int> offered{0};
  auto offer = [&](int first, int count) {
    for (int i = first; i < first + count; ++i) {
      const bool refused = i % 4 == 3;  // every fourth frame is refused by its fill
      const bool taken = stage.Offer(
          [&](FrameImage& f) {
            f.pixels[0] = static_cast<uint32_t>(i);
            return !refused;
          },
          100 * i);
      if (taken == refused) return;
      ++offered;
    }
  };
  // The gate holds the first frame in work: two more fill the stage, the fourth waits.
  auto decoder = std::async(std::launch::async, [&] { offer(0, 12); });
  EXPECT_EQ(decoder.wait_for(300ms), std::future_status::timeout);
  EXPECT_LE(offered.load(), 4) << "one in work, two queued, one refused costs no buffer";
  {
    std::lock_guard lock(m);
    gateOpen = true;
  }
  cv.notify_all();
  ASSERT_EQ(decoder.wait_for(5s), std::future_status::ready);
  // The last frame waits for the next one's time until the end is declared.
  EXPECT_FALSE(stage.WaitIdle(200ms));
  stage.EndOfFrames();
  ASSERT_TRUE(stage.WaitIdle(5s));
  std::vector<std::pair<uint32_t, int64_t>> expected;
  for (int i = 0; i < 12; ++i) {
    if (i % 4 != 3) expected.emplace_back(i, 100 * i);
  }
  EXPECT_EQ(seen, expected);
  // Each frame learns the time of the next one taken; the last, that none follows.
  ASSERT_EQ(nextTimes.size(), expected.size());
  for (size_t i = 0; i + 1 < expected.size(); ++i) EXPECT_EQ(nextTimes[i], expected[i + 1].second);
  EXPECT_EQ(nextTimes.back(), FrameStage::kNoNext);

  // Held again: Stop must free a decoder waiting for a buffer and drop the queue.
  {
    std::lock_guard lock(m);
    gateOpen = false;
    seen.clear();
  }
  auto more = std::async(std::launch::async, [&] { offer(20, 6); });
  std::this_thread::sleep_for(300ms);
  auto stop = std::async(std::launch::async, [&] { stage.Stop(); });
  std::this_thread::sleep_for(100ms);
  {
    std::lock_guard lock(m);
    gateOpen = true;
  }
  cv.notify_all();
  ASSERT_EQ(stop.wait_for(5s), std::future_status::ready);
  ASSERT_EQ(more.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(seen.size(), 1u) << "only the frame in work ends; the queued ones are dropped";
  EXPECT_FALSE(stage.Offer([](FrameImage&) { return true; }, 0));
}

// A huge movie's buffers that cannot be had: the processing thread must not end the
// program, nor may the stage look idle as if every frame had been processed.
TEST(FrameStage, WorkThatRunsOutOfMemoryFailsTheStage) {
  using namespace std::chrono_literals;
  std::atomic<int> processed{0};
  FrameStage stage(4, 3, 2, [&](FrameImage& frame, int64_t, int64_t) {
    if (frame.pixels[0] == 2) throw std::bad_alloc();
    ++processed;
  });
  auto offer = [&stage](uint32_t first, uint32_t last) {
    for (uint32_t i = first; i <= last; ++i) {
      stage.Offer(
          [i](FrameImage& f) {
            f.pixels[0] = i;
            return true;
          },
          i);
    }
  };
  offer(0, 1);
  stage.EndOfFrames();  // the last frame waits for its successor until then
  ASSERT_TRUE(stage.WaitIdle(5s));
  EXPECT_EQ(stage.Failure(), "");
  offer(2, 5);
  EXPECT_FALSE(stage.WaitIdle(300ms));
  EXPECT_EQ(stage.Failure(), "not enough memory to process the frames");
  EXPECT_EQ(processed.load(), 2);  // nothing after the failure
  stage.Stop();
}

// The encoder's pipe converts frames on a thread of its own: a frame it has no memory
// to convert fails the pipe, where a throw would abort the program. Checked in a fresh
// run of this test program (memory that earlier tests freed would serve the conversion)
// whose address space is held to what it uses plus less than the conversion needs.
constexpr char kPipeMemoryChild[] = "CORVINEX_TEST_PIPE_WITHOUT_MEMORY";

[[noreturn]] void ConvertWithoutMemory() {
  int ends[2];
  if (::pipe(ends) != 0) ::_exit(2);
  ::close(ends[0]);  // a conversion that did get its memory fails its write at once
  PipeWriter writer(ends[1], nullptr, PipeWriter::Format::Yuv420);
  OutputFrame frame;
  frame.width = 4096;  // 96 MB in, 36 MB out
  frame.height = 6144;
  frame.bytes.assign(4u * 4096 * 6144, 0x40);
  long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  if (pages <= 0) ::_exit(2);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (2u << 20);
  if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(2);
  writer.Submit(std::move(frame));
  writer.Finish();
  const SpoolStats stats = writer.Stats();
  ::_exit(stats.failed == 1 && stats.firstError.find("not enough memory") != std::string::npos ? 0
                                                                                               : 1);
}

TEST(PipeWriter, AFrameWithoutMemoryToConvertFailsThePipe) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's shadow memory takes terabytes of address space: no address-space
  // limit leaves it room to run, so the limit cannot stand for a lack of memory here.
  GTEST_SKIP() << "an address-space limit cannot be set under AddressSanitizer";
#endif
  if (std::getenv(kPipeMemoryChild) != nullptr) ConvertWithoutMemory();
  ::setenv(kPipeMemoryChild, "1", 1);
  const ChildExit exit = RunProcess(
      {"/proc/self/exe", "--gtest_filter=PipeWriter.AFrameWithoutMemoryToConvertFailsThePipe"}, {},
      std::chrono::seconds(60));
  ::unsetenv(kPipeMemoryChild);
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.exitCode, 0) << "1: not failed as expected; 134: aborted";
}

}  // namespace
}  // namespace corvinex
