// Whatever the Cut Area and the frame size (a settings file may hold anything),
// both unwrap paths produce a panorama of at least two rows and never read or
// write outside a buffer (run under the sanitizer build to see the latter).

#include <gtest/gtest.h>

#include <random>

#include "settings/diagnostic_log.h"
#include "transform/unwrap_geometry.h"
#include "unwrap_test_helpers.h"

namespace corvinex {
namespace {

TEST(UnwrapOddInputs, AnyCutAreaOnAnyFrameUnwrapsSafely) {
  std::mt19937 random(17);
  std::uniform_int_distribution<int32_t> position(-900, 900);
  std::uniform_int_distribution<int32_t> size(-40, 700);
  std::uniform_int_distribution<int32_t> inner(-100, 400);
  const std::pair<int32_t, int32_t> frames[] = {{1, 1}, {3, 2},   {2, 9},
                                                {7, 5}, {64, 48}, {400, 300}};
  DiagnosticLog log;
  for (const auto& [fw, fh] : frames) {
    const FrameImage frame = test::RandomFrame(fw, fh, uint32_t(fw * 31 + fh));
    for (int trial = 0; trial < 12; ++trial) {
      const RingGeometry ring{position(random), position(random), size(random), size(random),
                              inner(random)};
      UnwrapBuffers buffers;
      const UnwrapGeometry g =
          PrepareUnwrapGeometry(fw, fh, ring, 0.0352f, GeometryVariant::Conversion, buffers, log);
      ASSERT_TRUE(g.Usable());
      ASSERT_GE(g.outRows, 2);
      ASSERT_GE(g.cutRows, 0);
      ASSERT_GE(g.corrRows, 0);
      const int32_t flip = trial % 4;
      ASSERT_TRUE(UnwrapFast(g, flip, frame, buffers)) << fw << "x" << fh;
      // Every pixel is a frame pixel (the first one where the ring leaves the frame).
      for (size_t s = 0; s < size_t(g.W) * g.H; ++s) {
        ASSERT_LT(size_t(buffers.tableIndex[s]), frame.pixels.size());
        ASSERT_EQ(buffers.P1.pixels[s], frame.pixels[size_t(buffers.tableIndex[s])]);
      }
      ASSERT_TRUE(UnwrapQuality(g, flip, frame, buffers)) << fw << "x" << fh;
      ASSERT_TRUE(UnwrapQuality(g, flip, frame, buffers)) << fw << "x" << fh;
    }
  }
}

}  // namespace
}  // namespace corvinex
