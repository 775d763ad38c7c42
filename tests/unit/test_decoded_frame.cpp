#include <gtest/gtest.h>

#include <thread>

#include "convert/child_process.h"
#include "convert/decoded_frame.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

using namespace std::chrono_literals;

uint8_t Channel(int x, int y, int c) {
  return static_cast<uint8_t>(x * 3 + y * 5 + c * 70);
}

// A 24-bit BMP as the decoder writes it: rows padded to four bytes.
std::string Bmp24(int width, int height, bool bottomUp = true) {
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::string b(54 + stride * height, '\0');
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, static_cast<uint32_t>(b.size()));
  put(10, 54);
  put(14, 40);
  put(18, static_cast<uint32_t>(width));
  put(22, static_cast<uint32_t>(bottomUp ? height : -height));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < height; ++y) {  // y from the top of the picture
    size_t row = bottomUp ? static_cast<size_t>(height - 1 - y) : static_cast<size_t>(y);
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        b[54 + row * stride + x * 3 + c] = static_cast<char>(Channel(x, y, c));
  }
  return b;
}

void ExpectPattern(const FrameImage& image, int width, int height) {
  ASSERT_EQ(image.width, width);
  ASSERT_EQ(image.height, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t p = image.AtPicture(x, y);
      ASSERT_EQ(p & 0xFFFFFF, PackBgrx(Channel(x, y, 0), Channel(x, y, 1), Channel(x, y, 2)))
          << x << "," << y;
    }
}

class DecodedFrameTest : public ::testing::Test {
 protected:
  DecodedFrameSource Source(int width, int height) {
    DecodedFrameSource s;
    s.tempFolder = dir.path();
    s.frameCount = 100;
    s.width = width;
    s.height = height;
    s.stopRequest = &stop;
    s.poll = 5ms;
    s.incompleteRetries = 4;
    return s;
  }
  test::TempDir dir;
  std::atomic<int32_t> stop{0};
  DecodedFrameReader reader;
  FrameImage grab;
};

TEST_F(DecodedFrameTest, OddWidthRowsArePaddedAndReadWithoutShear) {
  test::WriteFileBytes(dir / "temp000001.bmp", Bmp24(638, 7));
  test::WriteFileBytes(dir / "temp000002.bmp", "");
  ASSERT_EQ(reader.LoadDecodedFrame(Source(638, 7), 1, grab), 1) << reader.LastError();
  ExpectPattern(grab, 638, 7);
  test::WriteFileBytes(dir / "temp000002.bmp", Bmp24(5, 3, false));  // top-down rows
  test::WriteFileBytes(dir / "temp000003.bmp", "");
  ASSERT_EQ(reader.LoadDecodedFrame(Source(5, 3), 2, grab), 1) << reader.LastError();
  ExpectPattern(grab, 5, 3);
}

TEST_F(DecodedFrameTest, MissingStoppedOrMismatchedFramesGiveZero) {
  EXPECT_EQ(reader.LoadDecodedFrame(Source(4, 4), 99, grab), 0);
  EXPECT_NE(reader.LastError().find("temp000099.bmp not found"), std::string::npos);

  test::WriteFileBytes(dir / "temp000001.bmp", Bmp24(4, 4));
  test::WriteFileBytes(dir / "temp000002.bmp", Bmp24(4, 4));
  stop = 1;
  EXPECT_EQ(reader.LoadDecodedFrame(Source(4, 4), 1, grab), 0);
  EXPECT_EQ(reader.LastError(), "stopped");
  stop = 0;
  EXPECT_EQ(reader.LoadDecodedFrame(Source(3, 4), 1, grab), 0);
  EXPECT_NE(reader.LastError().find("is not a 3x4 24-bit picture"), std::string::npos);
}

TEST_F(DecodedFrameTest, AFileThatStaysShortIsGivenUp) {
  test::WriteFileBytes(dir / "temp000001.bmp", "BM12");
  test::WriteFileBytes(dir / "temp000002.bmp", Bmp24(4, 4));
  EXPECT_EQ(reader.LoadDecodedFrame(Source(4, 4), 1, grab), 0);
  EXPECT_NE(reader.LastError().find("stays incomplete"), std::string::npos);

  // A decoder that has already ended will not finish it either: no retries at all.
  ChildStart ended = StartProcess({"true"});
  ASSERT_TRUE(ended.ok());
  std::this_thread::sleep_for(100ms);
  DecodedFrameSource s = Source(4, 4);
  s.decoderPid = ended.pid;
  s.incompleteRetries = 1'000'000;
  EXPECT_EQ(reader.LoadDecodedFrame(s, 1, grab), 0);
  KillProcess(ended.pid);
}

TEST_F(DecodedFrameTest, StopRequestEndsTheWaitForAFileBeingWritten) {
  test::WriteFileBytes(dir / "temp000001.bmp", "BM");
  DecodedFrameSource s = Source(4, 4);
  s.incompleteRetries = 1'000'000;
  std::thread stopper([this] {
    std::this_thread::sleep_for(100ms);
    stop = 1;
  });
  EXPECT_EQ(reader.LoadDecodedFrame(s, 1, grab), 0);
  stopper.join();
}

TEST_F(DecodedFrameTest, TheLastFrameIsReadOnceTheDecoderFinishesIt) {
  std::string full = Bmp24(6, 4);
  test::WriteFileBytes(dir / "temp000099.bmp", full.substr(0, 30));
  std::thread finisher([&] {
    std::this_thread::sleep_for(30ms);
    test::WriteFileBytes(dir / "temp000099.bmp", full);
  });
  DecodedFrameSource s = Source(6, 4);
  s.incompleteRetries = 200;
  EXPECT_EQ(reader.LoadDecodedFrame(s, 99, grab), 1) << reader.LastError();
  finisher.join();
  ExpectPattern(grab, 6, 4);
}

}  // namespace
}  // namespace corvinex
