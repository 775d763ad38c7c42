#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/batch_logs.h"
#include "cli/batch_options.h"
#include "cli/batch_outputs.h"
#include "cli/batch_ui.h"
#include "cli/process_resources.h"
#include "support/temp_dir.h"
#include "transform/lens_profile.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

TEST(BatchTargets, EveryInputGetsItsOwnOutputAndNoneReplacesAnInput) {
  test::TempDir dir;
  const fs::path avi = dir / "clip.avi";
  const fs::path mkv = dir / "clip.mkv";
  const fs::path named = dir / "clip_Unwrapped.mp4";  // a movie of the run, not an output
  const fs::path other = dir / "sub" / "clip.avi";
  const auto targets = PlanBatchTargets({avi, mkv, avi, named, other}, {}, {});
  ASSERT_EQ(targets.size(), 5u);
  EXPECT_EQ(targets[0].output, dir / "clip_Unwrapped_2.mp4");
  EXPECT_EQ(targets[1].output, dir / "clip_Unwrapped_3.mp4");
  EXPECT_EQ(targets[2].output, dir / "clip_Unwrapped_4.mp4");
  EXPECT_EQ(targets[3].output, dir / "clip_Unwrapped_Unwrapped.mp4");
  EXPECT_EQ(targets[4].output, dir / "sub" / "clip_Unwrapped.mp4");  // another folder
  for (const auto& t : targets) EXPECT_TRUE(t.frameFolder.empty());

  // The same file spelled another way is the same file.
  const fs::path relative = fs::relative(avi);
  const auto spelled = PlanBatchTargets({avi, relative}, {}, {});
  EXPECT_EQ(spelled[0].output, dir / "clip_Unwrapped.mp4");
  EXPECT_EQ(spelled[1].output.filename(), "clip_Unwrapped_2.mp4");

  // A lone input keeps the plain names; -o is taken as given.
  const auto one = PlanBatchTargets({mkv}, dir / "out.mp4", dir / "frames");
  EXPECT_EQ(one[0].output, dir / "out.mp4");
  EXPECT_EQ(one[0].frameFolder, dir / "frames");
}

TEST(BatchTargets, SeveralInputsPutTheirFramesInAFolderEach) {
  const fs::path frames = "/tmp/frames here";
  const auto targets = PlanBatchTargets({"/a/take.mp4", "/b/take.avi", "/a/other.mkv"}, {}, frames);
  EXPECT_EQ(targets[0].frameFolder, frames / "take");
  EXPECT_EQ(targets[1].frameFolder, frames / "take_2");
  EXPECT_EQ(targets[2].frameFolder, frames / "other");
}

TEST(ProcessResources, CountsOpenFilesAndResidentMemory) {
  const ProcessResources before = ReadProcessResources();
  ASSERT_TRUE(before.problem.empty()) << before.problem;
  ASSERT_GT(before.residentKb, 0);
  ASSERT_GE(before.openFiles, 3);  // at least the three standard streams

  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  constexpr size_t kBytes = 32u << 20;
  auto block = std::make_unique<char[]>(kBytes);
  std::memset(block.get(), 1, kBytes);  // touched, so resident
  const ProcessResources during = ReadProcessResources();
  EXPECT_EQ(during.openFiles, before.openFiles + 1);
  EXPECT_GE(during.residentKb, before.residentKb + 30 * 1024);
  EXPECT_EQ(block[kBytes - 1], 1);
  ::close(fd);
  block.reset();
  EXPECT_EQ(ReadProcessResources().openFiles, before.openFiles);

  EXPECT_EQ(ResourcesText(during), "resident memory " + std::to_string(during.residentKb) +
                                       " kB, open files " + std::to_string(during.openFiles));
  ProcessResources unread;
  unread.problem = "cannot open /proc/self/status";
  EXPECT_EQ(ResourcesText(unread),
            "resident memory unknown, open files unknown (cannot open /proc/self/status)");
}

// Flags that contradict each other are refused, not ignored.
TEST(BatchOptions, ContradictingFlagsAreRefusedWithTheReason) {
  EXPECT_NE(
      ParseBatchOptions({"in.mp4", "-o", "out.mp4", "--frames-only", "f"}).error.find("contradict"),
      std::string::npos);
  EXPECT_NE(ParseBatchOptions({"in.mp4", "--pair"}).error.find("--stereo"), std::string::npos);
  EXPECT_TRUE(ParseBatchOptions({"in.mp4", "--pair", "--stereo", "static"}).error.empty());
  EXPECT_NE(ParseBatchOptions({"in.mp4", "--stereo", "sideways"}).error.find("dynamic|static"),
            std::string::npos);
  EXPECT_NE(ParseBatchOptions({"in.mp4", "--ring", "10,10,50,5", "--cut", "auto"})
                .error.find("give one of them"),
            std::string::npos);
  EXPECT_NE(ParseBatchOptions({"in.mp4", "--find-ring", "-o", "x.mp4"}).error.find("--find-ring"),
            std::string::npos);
  EXPECT_NE(ParseBatchOptions({"in.mp4", "--ring", "10,10,5,50"}).error.find("0 <= r < R"),
            std::string::npos);
  const ParsedBatchOptions ring = ParseBatchOptions({"in.mp4", "--ring=512.5,384,300,40.5"});
  ASSERT_TRUE(ring.error.empty()) << ring.error;
  EXPECT_EQ(*ring.options.ringPixels, (std::array<double, 4>{512.5, 384, 300, 40.5}));
}

// The command line reads as users of other tools expect: --flag=value, negative
// values, "--" before odd names, the last of two flags wins, and errors name the flag.
TEST(BatchOptions, CommonCommandLineFormsWork) {
  ParsedBatchOptions parsed =
      ParseBatchOptions({"--glasses", "-5", "--sharpen=2,1", "--no-sharpen", "-y",
                         "--progress=json", "--", "-odd name.mp4", "b.mp4"});
  ASSERT_TRUE(parsed.error.empty()) << parsed.error;
  AppSettings settings;
  SessionOptions session;
  for (const auto& apply : parsed.options.overrides) apply(settings, session);
  EXPECT_EQ(session.GLASSES, -5);
  EXPECT_EQ(settings.SHARPEN_CH, 0);  // given after --sharpen
  EXPECT_TRUE(parsed.options.overwrite);
  EXPECT_EQ(parsed.options.progress, ProgressMode::Json);
  ASSERT_EQ(parsed.options.inputs.size(), 2u);
  EXPECT_EQ(parsed.options.inputs[0], "-odd name.mp4");

  parsed = ParseBatchOptions({"--sharpen", "2,1", "--no-sharpen", "--sharpen", "3,2", "a.mp4"});
  settings = {};
  for (const auto& apply : parsed.options.overrides) apply(settings, session);
  EXPECT_EQ(settings.SHARPEN_CH, 1);
  EXPECT_EQ(settings.SHARPEN, 3);

  EXPECT_NE(ParseBatchOptions({"--bogus", "a.mp4"}).error.find("--bogus"), std::string::npos);
  EXPECT_NE(ParseBatchOptions({"a.mp4", "--lens"}).error.find("--lens"), std::string::npos);
  EXPECT_NE(ParseBatchOptions({"a.mp4", "--progress", "loud"}).error.find("auto|bar|json|none"),
            std::string::npos);
  EXPECT_NE(ParseBatchOptions({"--version"}).text.find("corvinex-batch "), std::string::npos);
  const std::string help = ParseBatchOptions({"-h"}).text;
  EXPECT_NE(help.find("--frames-only DIR"), std::string::npos);
  EXPECT_NE(help.find("-y,--overwrite"), std::string::npos);
}

// Both phases show how far they are and reach 100 %; the JSON form stays valid for
// any name and gives no time left before there is a pace to tell it from.
TEST(BatchProgress, BarAndJsonLines) {
  EXPECT_EQ(ProgressBarText("frames", 120, 300, 4.2, 6.3),
            "frames   [############..................]  40%  120/300  elapsed 00:00:04  left "
            "00:00:06");
  const std::string done = ProgressBarText("encoding", 330, 300, 9, 0);
  EXPECT_NE(done.find("[##############################] 100%"), std::string::npos) << done;
  EXPECT_EQ(ProgressBarText("frames", 0, 0, 0, -1).find("left"), std::string::npos);

  const auto line =
      nlohmann::json::parse(ProgressJsonText("a\xff\tb.mp4", "encoding", 150, 300, 2.04, -1));
  EXPECT_EQ(line["phase"], "encoding");
  EXPECT_EQ(line["percent"], 50);
  EXPECT_EQ(line["input"], "a\xef\xbf\xbd\tb.mp4");  // the stray byte as U+FFFD
  EXPECT_TRUE(line["left"].is_null());
  EXPECT_DOUBLE_EQ(line["elapsed"].get<double>(), 2.0);
}

// Each --lens word selects the lens whose menu label carries it.
TEST(BatchOptions, EachLensWordSelectsItsOwnLens) {
  for (const std::string word : {"standard", "3", "5", "7", "10"}) {
    const ParsedBatchOptions parsed = ParseBatchOptions({"in.mp4", "--lens", word});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    AppSettings settings;
    SessionOptions session;
    for (const auto& apply : parsed.options.overrides) apply(settings, session);
    const std::string label = word == "standard" ? " Standard" : " " + word + "%";
    const auto row = std::find_if(kLensProfiles.begin(), kLensProfiles.end(),
                                  [&](const LensProfile& p) { return label == p.menuLabel; });
    ASSERT_NE(row, kLensProfiles.end()) << label;
    EXPECT_EQ(settings.HSIZE, row->HSIZE) << word;
  }
}

// The folder keeps the newest twenty batch logs and nothing else is touched.
TEST(BatchLogs, OnlyTheNewestTwentyStay) {
  test::TempDir dir;
  const auto now = fs::file_time_type::clock::now();
  for (int i = 0; i < 25; ++i) {
    const fs::path log = dir / ("TLVPUB-batch-" + std::to_string(1000 + i) + ".log");
    test::WriteFileBytes(log, "x");
    fs::last_write_time(log, now - std::chrono::minutes(25 - i));  // 1024 is the newest
  }
  test::WriteFileBytes(dir / "TLVPUB.log", "window log");
  test::WriteFileBytes(dir / "TLVPUB-batch-notes.txt", "mine");
  fs::last_write_time(dir / "TLVPUB.log", now - std::chrono::hours(5));
  PruneBatchLogs(dir.path());
  int logs = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    logs += entry.path().extension() == ".log" && entry.path().filename() != "TLVPUB.log";
  }
  EXPECT_EQ(logs, 20);
  EXPECT_FALSE(fs::exists(dir / "TLVPUB-batch-1004.log"));
  EXPECT_TRUE(fs::exists(dir / "TLVPUB-batch-1005.log"));
  EXPECT_TRUE(fs::exists(dir / "TLVPUB.log"));
  EXPECT_TRUE(fs::exists(dir / "TLVPUB-batch-notes.txt"));
}

}  // namespace
}  // namespace corvinex
