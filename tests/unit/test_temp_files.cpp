#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "convert/temp_files.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(TempFiles, SpoolNamesArePaddedToSixDigitsAndLongerNumbersKeptWhole) {
  EXPECT_EQ(SpoolFileName(0), "temp000000.bmp");
  EXPECT_EQ(SpoolFileName(7), "temp000007.bmp");
  EXPECT_EQ(SpoolFileName(999999), "temp999999.bmp");
  EXPECT_EQ(SpoolFileName(1234567), "temp1234567.bmp");
  fs::path folder = "/tmp/a b";
  EXPECT_EQ(SpoolFilePath(folder, 12), fs::path("/tmp/a b/temp000012.bmp"));
  EXPECT_EQ(SoundFilePath(folder), fs::path("/tmp/a b/temp.wav"));
  EXPECT_EQ(SpoolPattern(folder), fs::path("/tmp/a b/temp%06d.bmp"));
}

class CleanTempTest : public ::testing::Test {
 protected:
  void Make(const std::string& name) { test::WriteFileBytes(dir / name, "x"); }
  bool Has(const std::string& name) const { return fs::exists(dir / name); }
  test::TempDir dir;
};

TEST_F(CleanTempTest, RemovesFramesSoundAndMoviesButNothingElse) {
  for (auto n : {"temp000000.bmp", "temp000001.bmp", "OTHER.BMP", "temp.wav", "x.WAV",
                 "copy of movie.avi", "keep.txt", "movie.mp4", "bmp", "notes.bmp.txt"})
    Make(n);
  fs::create_directory(dir / "sub.bmp");
  test::WriteFileBytes(dir / "sub.bmp" / "inner.bmp", "x");

  int deleted = CleanTemp(dir.path(), {.keepAvi = false, .settle = 0ms});
  EXPECT_EQ(deleted, 6);
  for (auto n :
       {"temp000000.bmp", "temp000001.bmp", "OTHER.BMP", "temp.wav", "x.WAV", "copy of movie.avi"})
    EXPECT_FALSE(Has(n)) << n;
  for (auto n : {"keep.txt", "movie.mp4", "bmp", "notes.bmp.txt", "sub.bmp/inner.bmp"})
    EXPECT_TRUE(Has(n)) << n;
}

TEST_F(CleanTempTest, KeepAviSparesTheMovieCopies) {
  Make("copy.avi");
  Make("temp000003.bmp");
  EXPECT_EQ(CleanTemp(dir.path(), {.keepAvi = true, .settle = 0ms}), 1);
  EXPECT_TRUE(Has("copy.avi"));
  EXPECT_FALSE(Has("temp000003.bmp"));
}

TEST_F(CleanTempTest, SecondPassCatchesAFrameFinishedDuringThePause) {
  Make("temp000001.bmp");
  std::thread late([this] {
    std::this_thread::sleep_for(50ms);
    Make("temp000002.bmp");
  });
  int deleted = CleanTemp(dir.path(), {.keepAvi = true, .settle = 400ms});
  late.join();
  EXPECT_EQ(deleted, 2);
  EXPECT_FALSE(Has("temp000002.bmp"));
}

TEST_F(CleanTempTest, FramesAfterTheLastProcessedOneAreRemoved) {
  for (auto n : {"temp000001.bmp", "temp000099.bmp", "temp000100.bmp", "temp1000000.bmp",
                 "temp00100.bmp", "tempabcdef.bmp", "temp.wav"})
    Make(n);
  EXPECT_EQ(RemoveSpoolFilesAfter(dir.path(), 99), 2);
  for (auto n : {"temp000001.bmp", "temp000099.bmp", "temp00100.bmp", "tempabcdef.bmp", "temp.wav"})
    EXPECT_TRUE(Has(n)) << n;
  EXPECT_FALSE(Has("temp000100.bmp"));
  EXPECT_FALSE(Has("temp1000000.bmp"));
}

TEST(CleanTemp, MissingOrEmptyFolderIsHarmless) {
  EXPECT_EQ(CleanTemp("", {.settle = 0ms}), 0);
  EXPECT_EQ(CleanTemp("/nonexistent/corvinex temp", {.settle = 0ms}), 0);
}

}  // namespace
}  // namespace corvinex
