// The per-frame pipeline end to end with the real geometry and both unwrap paths, on
// frames made by the sample generator from a known panorama pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ring_wrap.h"
#include "sample_pattern.h"
#include "settings/diagnostic_log.h"
#include "support/allocation_counter.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

class KeepingSink : public FrameSink {
 public:
  std::vector<uint8_t> AcquireBuffer(size_t size) override {
    std::vector<uint8_t> b;
    if (!spare.empty()) {
      b = std::move(spare.back());
      spare.pop_back();
    }
    b.reserve(size);
    return b;
  }
  void Submit(OutputFrame&& frame) override { frames.push_back(std::move(frame)); }
  // Hands the buffers of the frames so far back, as a writer does once they are on disk.
  void Recycle() {
    for (OutputFrame& f : frames) spare.push_back(std::move(f.bytes));
    frames.clear();
  }
  std::vector<OutputFrame> frames;
  std::vector<std::vector<uint8_t>> spare;
};

const RingGeometry kFallbackRing{150, 20, 316, 306, 32};

struct EndToEnd {
  DiagnosticLog log;
  UnwrapBuffers buffers;
  UnwrapGeometry g;
  FrameImage pattern;
  FrameImage frame;
  KeepingSink sink;
  FramePipeline p;
  FrameOptions o;
  EndToEnd(int32_t fw, int32_t fh, const RingGeometry& ring, float lens) {
    g = PrepareUnwrapGeometry(fw, fh, ring, lens, GeometryVariant::Conversion, buffers, log);
    pattern = sample::MakePanoramaPattern(g.W, g.H, 3);
    frame = sample::WrapPanorama(pattern, fw, fh, ring);
    p.geometry = &g;
    p.buffers = &buffers;
    p.frame = &frame;
    p.sink = &sink;
    o.sharpen.on = false;
  }
  uint32_t Output(size_t frameIndex, int32_t row, int32_t col) const {
    uint32_t px;
    const auto& bytes = sink.frames.at(frameIndex).bytes;
    std::memcpy(&px, bytes.data() + (static_cast<size_t>(row) * g.W + col) * 4, 4);
    return px;
  }
};

TEST(ProcessFrameEndToEnd, FallbackCutAreaWithSevenPercentLensGives1228By400) {
  EndToEnd e(1920, 1080, kFallbackRing, 0.0352f);
  ASSERT_EQ(e.g.W, 1228);
  ASSERT_EQ(e.g.outRows, 386);
  ASSERT_EQ(e.g.corrRows, 14);
  e.o.fastUnwrap = true;
  ASSERT_TRUE(ProcessFrame(e.p, e.o, 1));
  const OutputFrame& f = e.sink.frames.at(0);
  EXPECT_EQ(f.width, 1228);
  EXPECT_EQ(f.height, 400);
  ASSERT_EQ(f.bytes.size(), 1228u * 400 * 4);
  // The outer half of the strip reads the drawn pattern back at the same row and column
  // (a few samples share a frame pixel with a neighbour, hence not all).
  int64_t same = 0, checked = 0;
  for (int32_t t = e.g.H / 2 - e.g.cutRows; t < e.g.outRows; ++t) {
    for (int32_t x = 0; x < e.g.W; ++x) {
      ++checked;
      same += e.Output(0, t, x) == e.pattern.Row(e.g.cutRows + t)[x];
    }
  }
  EXPECT_GT(same, checked * 9 / 10);
  for (int32_t t = 386; t < 400; ++t) {
    for (int32_t x = 0; x < e.g.W; x += 97) ASSERT_EQ(e.Output(0, t, x), 0u) << t;
  }
}

TEST(ProcessFrameEndToEnd, QualityPathFillsTheCacheOnceAndRepeatsItself) {
  EndToEnd e(400, 300, kFallbackRing, 0.0f);
  e.o.flipMode = 1;
  ASSERT_TRUE(ProcessFrame(e.p, e.o, 1));
  EXPECT_TRUE(e.buffers.cacheValid);
  ASSERT_TRUE(ProcessFrame(e.p, e.o, 2));
  ASSERT_EQ(e.sink.frames.size(), 2u);
  EXPECT_EQ(e.sink.frames[0].height, e.g.outRows);
  EXPECT_EQ(e.sink.frames[0].bytes, e.sink.frames[1].bytes)
      << "the cached coordinates give the first frame's result again";

  // The same frame unwrapped on its own, with the same flip, gives the same strip.
  DiagnosticLog log;
  UnwrapBuffers direct;
  const UnwrapGeometry g = PrepareUnwrapGeometry(400, 300, kFallbackRing, 0.0f,
                                                 GeometryVariant::Conversion, direct, log);
  ASSERT_TRUE(UnwrapQuality(g, 1, e.frame, direct));
  const size_t bytes = static_cast<size_t>(g.W) * g.outRows * 4;
  EXPECT_EQ(std::memcmp(e.sink.frames[1].bytes.data(), direct.P1.Row(g.cutRows), bytes), 0);
}

// Mirror optics need the vertical flip: it must turn the unflipped output upside down,
// keeping the same radii (the internal circle's are dropped) as the preview shows,
// while the lens-correction rows stay on top.
TEST(ProcessFrameEndToEnd, VerticalFlipTurnsTheUnflippedOutputUpsideDown) {
  for (bool fast : {true, false}) {
    for (int32_t mode : {2, 3}) {
      EndToEnd plain(400, 300, kFallbackRing, 0.0352f);
      EndToEnd flipped(400, 300, kFallbackRing, 0.0352f);
      plain.o.fastUnwrap = flipped.o.fastUnwrap = fast;
      plain.o.flipMode = mode & 1;
      flipped.o.flipMode = mode;
      ASSERT_TRUE(ProcessFrame(plain.p, plain.o, 0));
      ASSERT_TRUE(ProcessFrame(flipped.p, flipped.o, 0));
      const UnwrapGeometry& g = plain.g;
      ASSERT_GT(g.cutRows, 0);
      ASSERT_GT(g.corrRows, 0);
      const int32_t rows = g.outRows + g.corrRows;
      ASSERT_EQ(flipped.sink.frames.at(0).height, rows);
      for (int32_t t = 0; t < rows; ++t) {
        const int32_t from = t < g.outRows ? g.outRows - 1 - t : t;
        for (int32_t x = 0; x < g.W; ++x) {
          ASSERT_EQ(flipped.Output(0, t, x), plain.Output(0, from, x))
              << (fast ? "fast" : "quality") << " mode " << mode << " row " << t << "," << x;
        }
      }
    }
  }
}

// Only the panorama rows that reach the output are unwrapped: whatever the other rows
// hold from before (here a run starting on zeros or on a filler), the output is the same
// on both paths, for every flip, with and without the sharpening that reads one row
// past the panorama part. The internal circle's rows keep the filler: they were skipped.
// (The fillers' fourth byte is 0: the quality path keeps that byte of the panorama.)
TEST(ProcessFrameEndToEnd, OutputDoesNotDependOnTheRowsLeftOut) {
  for (bool fast : {true, false}) {
    for (int32_t mode : {0, 2, 3}) {
      for (bool sharpen : {false, true}) {
        EndToEnd zeros(400, 300, kFallbackRing, 0.0352f);
        EndToEnd filler(400, 300, kFallbackRing, 0.0352f);
        std::fill(filler.buffers.P1.pixels.begin(), filler.buffers.P1.pixels.end(), 0x00C3E1F0u);
        std::fill(filler.buffers.P2.pixels.begin(), filler.buffers.P2.pixels.end(), 0x001E2D3Cu);
        for (EndToEnd* e : {&zeros, &filler}) {
          e->o.fastUnwrap = fast;
          e->o.flipMode = mode;
          e->o.sharpen = {sharpen, 3, 1};
          ASSERT_TRUE(ProcessFrame(e->p, e->o, 0));
        }
        const std::string what = std::string(fast ? "fast" : "quality") + " flip " +
                                 std::to_string(mode) + (sharpen ? " sharpened" : "");
        EXPECT_EQ(zeros.sink.frames.at(0).bytes, filler.sink.frames.at(0).bytes) << what;
        const UnwrapGeometry& g = filler.g;
        const int32_t skippedRow = (mode & 2) != 0 ? g.H - 1 : 0;
        EXPECT_EQ(filler.buffers.P1.Row(skippedRow)[g.W / 2], 0x00C3E1F0u) << what;
      }
    }
  }
}

// Only the part of the frame that FramePartRead names is read: a frame that holds
// noise everywhere else gives the same output, on both paths, flipped and sharpened,
// for Cut Areas inside the frame, at its top edge and over its edges. Where the fast
// path cannot promise a part (its square leaves the frame), none is named.
TEST(ProcessFrameEndToEnd, OutputDependsOnlyOnTheFramePartRead) {
  const std::vector<RingGeometry> rings = {
      kFallbackRing, {100, 0, 300, 300, 20}, {300, 150, 290, 280, 30}, {-8, -8, 616, 606, 79}};
  for (const RingGeometry& ring : rings) {
    for (bool fast : {true, false}) {
      for (int32_t mode : {0, 3}) {
        EndToEnd plain(400, 300, ring, 0.0352f);
        EndToEnd noisy(400, 300, ring, 0.0352f);
        const PicturePart part = FramePartRead(plain.g, fast);
        const std::string what = std::to_string(ring.X1) + "," + std::to_string(ring.Y1) +
                                 (fast ? " fast" : " quality") + " flip " + std::to_string(mode);
        const UnwrapGeometry& g = plain.g;
        const bool squareInside =
            g.cropX >= 0 && g.cropY >= 0 && g.cropX + g.cropW <= g.Fw && g.cropY + g.cropH <= g.Fh;
        if (part.width <= 0) {
          EXPECT_TRUE(fast && !squareInside) << what;
          continue;
        }
        uint32_t state = 12345;
        for (int32_t y = 0; y < g.Fh; ++y) {
          for (int32_t x = 0; x < g.Fw; ++x) {
            const bool inside = x >= part.left && x < part.left + part.width && y >= part.top &&
                                y < part.top + part.height;
            state = state * 1664525u + 1013904223u;
            if (!inside) noisy.frame.AtPicture(x, y) = state & 0x00FFFFFFu;
          }
        }
        for (EndToEnd* e : {&plain, &noisy}) {
          e->o.fastUnwrap = fast;
          e->o.flipMode = mode;
          e->o.sharpen = {true, 3, 1};
          ASSERT_TRUE(ProcessFrame(e->p, e->o, 0)) << what;
        }
        EXPECT_EQ(plain.sink.frames.at(0).bytes, noisy.sink.frames.at(0).bytes) << what;
      }
    }
  }
}

// Draft (fast) and quality conversions of the same generated mirror frame show the same
// panorama: the column profiles line up best without any shift, and the pixels agree
// except at the pattern's sharp edges, which the cubic kernel softens.
TEST(ProcessFrameEndToEnd, DraftAndQualityConversionsShowTheSamePanorama) {
  const RingGeometry mirror{186, 111, 228, 228, 30};  // 488 columns on a 1024 x 768 movie
  EndToEnd draft(1024, 768, mirror, 0.0f);
  EndToEnd quality(1024, 768, mirror, 0.0f);
  ASSERT_EQ(draft.g.W, 488);
  draft.o.fastUnwrap = true;
  ASSERT_TRUE(ProcessFrame(draft.p, draft.o, 0));
  ASSERT_TRUE(ProcessFrame(quality.p, quality.o, 0));
  const UnwrapGeometry& g = draft.g;
  // Per column, the sum of all channels over the strip; per pixel, the worst channel.
  std::vector<int64_t> a(static_cast<size_t>(g.W), 0), b(a);
  int64_t close = 0, checked = 0;
  for (int32_t t = 0; t < g.outRows - 2; ++t) {
    for (int32_t x = 0; x < g.W; ++x) {
      const uint32_t p = draft.Output(0, t, x);
      const uint32_t q = quality.Output(0, t, x);
      int worst = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const int pc = (p >> shift) & 0xFF, qc = (q >> shift) & 0xFF;
        a[static_cast<size_t>(x)] += pc;
        b[static_cast<size_t>(x)] += qc;
        worst = std::max(worst, std::abs(pc - qc));
      }
      close += worst <= 8;
      ++checked;
    }
  }
  int32_t bestShift = 0;
  int64_t bestDistance = INT64_MAX;
  for (int32_t shift = -g.W / 4; shift <= g.W / 4; ++shift) {
    int64_t distance = 0;
    for (int32_t x = 0; x < g.W; ++x) {
      distance +=
          std::abs(a[static_cast<size_t>(x)] - b[static_cast<size_t>((x + shift + g.W) % g.W)]);
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      bestShift = shift;
    }
  }
  EXPECT_EQ(bestShift, 0);
  EXPECT_GT(close, checked * 9 / 10);
}

TEST(ProcessFrameEndToEnd, LaterFramesAllocateNothingOnEitherPath) {
  for (bool fast : {true, false}) {
    EndToEnd e(640, 480, kFallbackRing, 0.0502f);
    e.o.fastUnwrap = fast;
    e.o.adjust = {true, 100, true, 2, true, 150, true, 100};
    e.o.sharpen = {true, 3, 2};
    e.o.stereo = {true, StereoType::Dynamic, true, 25, 4, true};
    ASSERT_TRUE(ProcessFrame(e.p, e.o, 1));
    e.sink.Recycle();
    e.sink.frames.reserve(4);
    const uint64_t before = test::ThreadAllocations();
    ASSERT_TRUE(ProcessFrame(e.p, e.o, 2));
    EXPECT_EQ(test::ThreadAllocations(), before) << (fast ? "fast" : "quality");
    EXPECT_EQ(e.sink.frames.at(0).height, 2 * (e.g.outRows + e.g.corrRows));
  }
}

}  // namespace
}  // namespace corvinex
