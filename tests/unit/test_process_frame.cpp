// The per-frame pipeline: step order, output assembly, stereo views, logo canvas,
// frame order at the sink, and no allocation per frame.
#include <gtest/gtest.h>

#include <cstring>

#include "settings/app_settings.h"
#include "support/allocation_counter.h"
#include "support/pixel_images.h"
#include "transform/output_assembly.h"
#include "transform/preview_output.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

// Keeps every frame and hands the buffers of older frames back out.
class CollectingSink : public FrameSink {
 public:
  std::vector<uint8_t> AcquireBuffer(size_t size) override {
    ++acquired;
    std::vector<uint8_t> buffer;
    if (!spare.empty()) {
      buffer = std::move(spare.back());
      spare.pop_back();
    }
    buffer.reserve(size);
    return buffer;
  }
  void Submit(OutputFrame&& frame) override { frames.push_back(std::move(frame)); }
  // Makes the oldest frames' buffers reusable, as a writer does once they are on disk.
  void Recycle() {
    for (OutputFrame& f : frames) spare.push_back(std::move(f.bytes));
    frames.clear();
  }
  std::vector<OutputFrame> frames;
  std::vector<std::vector<uint8_t>> spare;
  int acquired = 0;
};

// Stand-ins for the two unwrap paths: panorama pixel s takes frame pixel s (wrapping),
// which is all the assembly and stereo tests need to trace each byte.
int fastCalls = 0;
int qualityCalls = 0;
void CopyUnwrap(const UnwrapGeometry& g, const FrameImage& frame, UnwrapBuffers& b) {
  const size_t n = static_cast<size_t>(g.W) * g.H;
  for (size_t s = 0; s < n; ++s) b.P1.pixels[s] = frame.pixels[s % frame.pixels.size()];
}
bool FakeFast(const UnwrapGeometry& g, int32_t, const FrameImage& f, UnwrapBuffers& b) {
  ++fastCalls;
  CopyUnwrap(g, f, b);
  return true;
}
bool FakeQuality(const UnwrapGeometry& g, int32_t, const FrameImage& f, UnwrapBuffers& b) {
  ++qualityCalls;
  CopyUnwrap(g, f, b);
  return true;
}
bool Refuse(const UnwrapGeometry&, int32_t, const FrameImage&, UnwrapBuffers&) {
  return false;
}
constexpr UnwrapPaths kFakePaths{&FakeFast, &FakeQuality};

// The geometry of a 1920 x 1080 frame with the fallback Cut Area and the " 7%" lens,
// written out by hand; the frame itself is kept small.
UnwrapGeometry FallbackGeometry(int32_t Fw, int32_t Fh) {
  UnwrapGeometry g;
  g.Fw = Fw;
  g.Fh = Fh;
  g.W = 1228;
  g.H = 488;
  g.cutRows = 102;
  g.outRows = 386;
  g.corrRows = 14;
  return g;
}

struct PipelineRun {
  UnwrapGeometry g;
  UnwrapBuffers b;
  FrameImage frame;
  CollectingSink sink;
  FramePipeline p;
  FrameOptions o;
  explicit PipelineRun(UnwrapGeometry geometry, uint32_t seed = 1)
      : g(geometry), frame(test::RandomImage(g.Fw, g.Fh, seed)) {
    // As the geometry leaves them: the stereo buffers wait for the first stereo frame.
    for (FrameImage* img : {&b.P1, &b.P2}) img->Reset(g.W, g.H + 1);
    p.geometry = &g;
    p.buffers = &b;
    p.frame = &frame;
    p.sink = &sink;
    o.sharpen.on = false;
  }
  bool Frame(int64_t number) { return RunFramePipeline(p, o, number, kFakePaths); }
  // Panorama buffer row `row` as the unwrap stand-in fills it.
  std::vector<uint32_t> PanoramaRow(const FrameImage& source, int32_t row) const {
    std::vector<uint32_t> r(static_cast<size_t>(g.W));
    for (int32_t x = 0; x < g.W; ++x) {
      r[x] = source.pixels[(static_cast<size_t>(row) * g.W + x) % source.pixels.size()];
    }
    return r;
  }
};

std::vector<uint32_t> RowOf(const std::vector<uint8_t>& bytes, int32_t width, int32_t row) {
  std::vector<uint32_t> r(static_cast<size_t>(width));
  std::memcpy(r.data(), bytes.data() + static_cast<size_t>(row) * width * 4, r.size() * 4);
  return r;
}

TEST(ProcessFrame, LensCorrectionGivesThe1228By400View) {
  PipelineRun run(FallbackGeometry(320, 240));
  ASSERT_TRUE(run.Frame(0));
  ASSERT_EQ(run.sink.frames.size(), 1u);
  const OutputFrame& f = run.sink.frames[0];
  EXPECT_EQ(f.width, 1228);
  EXPECT_EQ(f.height, 400);
  ASSERT_EQ(f.bytes.size(), 1228u * 400 * 4);
  // Inner edge first: output row 0 is panorama row cutRows, row 385 is row H - 1.
  EXPECT_EQ(RowOf(f.bytes, 1228, 0), run.PanoramaRow(run.frame, 102));
  EXPECT_EQ(RowOf(f.bytes, 1228, 385), run.PanoramaRow(run.frame, 487));
  for (int32_t row = 386; row < 400; ++row) {
    EXPECT_EQ(RowOf(f.bytes, 1228, row), std::vector<uint32_t>(1228, 0u)) << row;
  }
}

TEST(ProcessFrame, StepsRunInOrderOnTheChosenPath) {
  UnwrapGeometry g = FallbackGeometry(64, 48);
  g.W = 40;
  g.H = 20;
  g.cutRows = 4;
  g.outRows = 16;
  g.corrRows = 0;
  PipelineRun run(g);
  run.o.adjust.brightnessOn = true;
  run.o.adjust.brightness = 255;
  run.o.sharpen = {true, 1, 0};
  fastCalls = qualityCalls = 0;
  FrameImage adjusted = run.frame;
  for (uint32_t& px : adjusted.pixels) {
    uint8_t* c = reinterpret_cast<uint8_t*>(&px);
    for (int i = 0; i < 4; ++i) c[i] = static_cast<uint8_t>(std::min(255, c[i] + 128));
  }
  int hooks = 0;
  run.p.afterAdjust = [&](const FrameImage& f) {
    ++hooks;
    EXPECT_EQ(fastCalls + qualityCalls, 0) << "the doughnut is adjusted before the unwrap";
    EXPECT_EQ(f.pixels, adjusted.pixels);
  };
  ASSERT_TRUE(run.Frame(5));
  EXPECT_EQ(hooks, 1);
  EXPECT_EQ(qualityCalls, 1);
  EXPECT_EQ(fastCalls, 0);
  EXPECT_TRUE(run.b.cacheValid);

  // The panorama is the adjusted frame, sharpened.
  FrameImage expected(g.W, g.H + 1);
  for (int32_t row = 0; row < g.H; ++row) {
    const auto r = run.PanoramaRow(adjusted, row);
    std::copy(r.begin(), r.end(), expected.Row(row));
  }
  FrameImage scratch(g.W, g.H + 1);
  SharpenPanoramaReference(g.W, g.H, expected, scratch, {true, 1, 0});
  EXPECT_EQ(run.b.P1.pixels, expected.pixels);
  const OutputFrame& f = run.sink.frames.at(0);
  EXPECT_EQ(f.number, 5);
  EXPECT_EQ(RowOf(f.bytes, g.W, 0), std::vector<uint32_t>(expected.Row(4), expected.Row(5)));

  run.p.afterAdjust = nullptr;
  run.o.fastUnwrap = true;
  ASSERT_TRUE(run.Frame(6));
  EXPECT_EQ(fastCalls, 1);
}

UnwrapGeometry SmallGeometry(int32_t corrRows) {
  UnwrapGeometry g;
  g.Fw = 30;
  g.Fh = 20;
  g.W = 32;
  g.H = 12;
  g.cutRows = 2;
  g.outRows = 10;
  g.corrRows = corrRows;
  return g;
}

TEST(ProcessFrame, StereoPairStacksBothViewsOnlyWhen3dpIsOn) {
  PipelineRun run(SmallGeometry(2));
  run.o.stereo = {false, StereoType::Static, false, 30, 6, true};
  ASSERT_TRUE(run.Frame(1));
  EXPECT_EQ(run.sink.frames[0].height, 12) << "pair without 3DP: single frames";

  run.o.stereo.on = true;
  run.o.stereo.type = StereoType::Dynamic;
  ASSERT_TRUE(run.Frame(2));
  const FrameImage firstPanorama = run.b.previous;
  const OutputFrame& pair = run.sink.frames[1];
  EXPECT_EQ(pair.height, 24);
  ASSERT_EQ(pair.bytes.size(), 32u * 24 * 4);
  EXPECT_EQ(RowOf(pair.bytes, 32, 0), run.PanoramaRow(run.frame, 2)) << "view 1 first";
  EXPECT_EQ(RowOf(pair.bytes, 32, 12), std::vector<uint32_t>(32, 0u))
      << "view 2 of the first dynamic frame is black";
  EXPECT_EQ(RowOf(pair.bytes, 32, 11), std::vector<uint32_t>(32, 0u)) << "lens rows of view 1";

  run.frame = test::RandomImage(30, 20, 77);
  ASSERT_TRUE(run.Frame(3));
  EXPECT_EQ(RowOf(run.sink.frames[2].bytes, 32, 12 + 3),
            std::vector<uint32_t>(firstPanorama.Row(5), firstPanorama.Row(5) + 32))
      << "view 2 is the previous frame's panorama";
}

TEST(ProcessFrame, StereoBuffersWaitForTheFirstStereoFrameAndFollowTheGeometry) {
  PipelineRun run(SmallGeometry(2));
  ASSERT_TRUE(run.Frame(1));
  EXPECT_EQ(run.b.stereoA.PixelCount() + run.b.previous.PixelCount(), 0u) << "stereo off";
  run.b.previous.Reset(8, 3);  // left over from a smaller geometry
  run.o.stereo = {true, StereoType::Dynamic, false, 30, 0, true};
  ASSERT_TRUE(run.Frame(2));
  for (const FrameImage* img : {&run.b.previous, &run.b.currentCopy, &run.b.stereoA}) {
    EXPECT_EQ(img->width, 32);
    EXPECT_EQ(img->PixelCount(), 32u * 13);
  }
  EXPECT_EQ(RowOf(run.sink.frames[1].bytes, 32, 12), std::vector<uint32_t>(32, 0u))
      << "view 2 of the first stereo frame is black";
}

TEST(ProcessFrame, AnaglyphIsASingleViewWithRedFromTheSecondView) {
  PipelineRun run(SmallGeometry(0));
  run.o.stereo = {true, StereoType::Static, false, 30, 0, false};
  ASSERT_TRUE(run.Frame(1));
  const OutputFrame& f = run.sink.frames[0];
  EXPECT_EQ(f.height, 10);
  EXPECT_EQ(RowOf(f.bytes, 32, 0), run.PanoramaRow(run.frame, 2))
      << "static, no depth, glasses 0: the panorama itself";
  EXPECT_EQ(run.b.previous.pixels, run.b.currentCopy.pixels);
}

TEST(ProcessFrame, LogoCanvasTakesThePanoramaRowsAtItsMiddle) {
  for (int32_t corr : {0, 2}) {
    PipelineRun run(SmallGeometry(corr));
    const int32_t E = 16;  // W / 2
    FrameImage canvas = test::GrayImage(32, E, 200);
    run.p.logoCanvas = &canvas;
    ASSERT_TRUE(run.Frame(0));
    const OutputFrame& f = run.sink.frames[0];
    EXPECT_EQ(f.width, 32);
    EXPECT_EQ(f.height, E);
    const int32_t r0 = LogoCanvasFirstRow(E, 10);  // (16 - 8) / 2 = 4
    ASSERT_EQ(r0, 4);
    const int32_t first = corr == 0 ? r0 : r0 - corr;
    const int32_t count = corr == 0 ? 8 : 10;
    for (int32_t row = 0; row < E; ++row) {
      const bool panorama = row >= first && row < first + count;
      const auto expected = panorama ? run.PanoramaRow(run.frame, 2 + row - first)
                                     : std::vector<uint32_t>(32, test::Gray(200));
      EXPECT_EQ(RowOf(f.bytes, 32, row), expected) << "corr " << corr << " row " << row;
    }
  }
}

// A vertical flip puts the internal circle's rows at the top of the panorama buffer, so
// every view takes its rows from the bottom: the plain strip (lens rows still on top),
// both views of a stereo pair, and the logo canvas, which leaves out the two outermost
// radii, now the strip's first rows.
TEST(ProcessFrame, VerticalFlipTakesEveryViewFromTheBottomRows) {
  UnwrapGeometry g = SmallGeometry(2);
  g.cutRows = 4;
  g.outRows = 8;
  const std::vector<uint32_t> black(32, 0u);
  for (int32_t mode : {2, 3}) {
    PipelineRun run(g);
    run.o.flipMode = mode;
    run.o.stereo = {true, StereoType::Static, false, 30, 6, true};  // view 2 copies view 1
    ASSERT_TRUE(run.Frame(0));
    const OutputFrame& pair = run.sink.frames[0];
    ASSERT_EQ(pair.height, 20);
    for (int32_t view : {0, 10}) {
      for (int32_t row = 0; row < 8; ++row) {
        EXPECT_EQ(RowOf(pair.bytes, 32, view + row), run.PanoramaRow(run.frame, row))
            << "mode " << mode << " view row " << view + row;
      }
      EXPECT_EQ(RowOf(pair.bytes, 32, view + 8), black);
      EXPECT_EQ(RowOf(pair.bytes, 32, view + 9), black);
    }
  }
  for (int32_t corr : {0, 2}) {
    g.corrRows = corr;
    PipelineRun run(g);
    run.o.flipMode = 2;
    FrameImage canvas = test::GrayImage(32, 16, 200);
    run.p.logoCanvas = &canvas;
    ASSERT_TRUE(run.Frame(0));
    const int32_t r0 = LogoCanvasFirstRow(16, 8);  // (16 - 6) / 2 = 5
    const int32_t first = corr == 0 ? r0 : r0 - corr;
    const int32_t count = corr == 0 ? 6 : 8;
    const int32_t skipped = 8 - count;
    for (int32_t row = 0; row < 16; ++row) {
      const bool panorama = row >= first && row < first + count;
      const auto expected = panorama ? run.PanoramaRow(run.frame, skipped + row - first)
                                     : std::vector<uint32_t>(32, test::Gray(200));
      EXPECT_EQ(RowOf(run.sink.frames[0].bytes, 32, row), expected)
          << "corr " << corr << " row " << row;
    }
  }
}

TEST(ProcessFrame, StereoPairWithLogoWritesBothViewsIntoTheSameCanvas) {
  PipelineRun run(SmallGeometry(0));
  FrameImage canvas = test::GrayImage(32, 16, 200);
  run.p.logoCanvas = &canvas;
  run.o.stereo = {true, StereoType::Dynamic, false, 30, 6, true};
  ASSERT_TRUE(run.Frame(0));
  const OutputFrame& f = run.sink.frames[0];
  ASSERT_EQ(f.height, 32);
  // r0 = 4: view 1 rows 4..11 hold panorama rows 2..9; view 2 (black on the first
  // dynamic frame) the same rows of the second half; the logo rows stay in both.
  EXPECT_EQ(RowOf(f.bytes, 32, 4), run.PanoramaRow(run.frame, 2));
  EXPECT_EQ(RowOf(f.bytes, 32, 16 + 4), std::vector<uint32_t>(32, 0u));
  EXPECT_EQ(RowOf(f.bytes, 32, 16 + 3), std::vector<uint32_t>(32, test::Gray(200)));
  EXPECT_EQ(RowOf(f.bytes, 32, 16 + 12), std::vector<uint32_t>(32, test::Gray(200)));
}

TEST(ProcessFrame, LogoCanvasRowsRoundHalfToEvenAndClipAtItsEdges) {
  EXPECT_EQ(LogoCanvasFirstRow(15, 10), 4);  // 3.5
  EXPECT_EQ(LogoCanvasFirstRow(17, 10), 4);  // 4.5
  EXPECT_EQ(LogoCanvasFirstRow(19, 10), 6);  // 5.5
  PipelineRun run(SmallGeometry(6));
  FrameImage canvas = test::GrayImage(32, 6, 9);  // smaller than the strip
  run.p.logoCanvas = &canvas;
  ASSERT_TRUE(run.Frame(0));
  // r0 = round((6 - 8) / 2) = -1, start -7: only panorama rows 7..9 land in rows 0..2.
  EXPECT_EQ(RowOf(run.sink.frames[0].bytes, 32, 0), run.PanoramaRow(run.frame, 2 + 7));
  EXPECT_EQ(RowOf(run.sink.frames[0].bytes, 32, 3), std::vector<uint32_t>(32, test::Gray(9)));
}

TEST(ProcessFrame, FramesReachTheSinkInOrderWithTheirOwnBytes) {
  PipelineRun run(SmallGeometry(0));
  for (int64_t n = 1; n <= 4; ++n) {
    run.frame = test::RandomImage(30, 20, static_cast<uint32_t>(n));
    ASSERT_TRUE(run.Frame(n));
  }
  ASSERT_EQ(run.sink.frames.size(), 4u);
  for (int64_t n = 1; n <= 4; ++n) {
    const OutputFrame& f = run.sink.frames[n - 1];
    EXPECT_EQ(f.number, n);
    EXPECT_EQ(RowOf(f.bytes, 32, 0),
              run.PanoramaRow(test::RandomImage(30, 20, static_cast<uint32_t>(n)), 2));
  }
}

TEST(ProcessFrame, SteadyStateAllocatesNothing) {
  PipelineRun run(SmallGeometry(2));
  run.o.adjust = {true, 100, true, 3, true, 140, true, 90};
  run.o.sharpen = {true, 2, 1};
  run.o.stereo = {true, StereoType::Dynamic, true, 20, -4, true};
  ASSERT_TRUE(run.Frame(0));
  run.sink.Recycle();
  run.sink.frames.reserve(8);
  const uint64_t before = test::ThreadAllocations();
  ASSERT_TRUE(run.Frame(1));
  EXPECT_EQ(test::ThreadAllocations(), before);
}

TEST(ProcessFrame, RefusesGeometryThatWouldLeaveTheBuffers) {
  for (int variant = 0; variant < 6; ++variant) {
    UnwrapGeometry g = SmallGeometry(0);
    PipelineRun run(g);
    if (variant == 0) run.g.cutRows = run.g.H;
    if (variant == 1) run.g.cutRows = -2;
    if (variant == 2) run.g.outRows = 11;
    if (variant == 3) run.b.P2.Reset(32, 12);
    if (variant == 4) run.frame.Reset(31, 20);
    if (variant == 5) run.b.P1.Reset(32, 12);
    EXPECT_FALSE(PipelineReady(run.p)) << variant;
    EXPECT_FALSE(run.Frame(0)) << variant;
    EXPECT_TRUE(run.sink.frames.empty()) << variant;
  }
}

// The preview's picture of the output is what the run writes, frame for frame: plain
// strip with lens rows, logo canvas, stereo pair and the dynamic anaglyph (whose second
// view is the previous frame's panorama), flipped or not.
TEST(ProcessFrame, PreviewOutputIsTheFrameTheRunWrites) {
  struct Case {
    const char* name;
    int32_t corr;
    bool logo;
    StereoOptions stereo;
    int32_t flipMode;
    ProjectionOptions projection = {};
  };
  const Case cases[] = {
      {"lens rows", 2, false, {}, 0},
      {"logo", 2, true, {}, 0},
      {"logo flipped", 0, true, {}, 2},
      {"pair", 2, false, {true, StereoType::Dynamic, false, 30, 6, true}, 0},
      {"anaglyph", 0, false, {true, StereoType::Dynamic, true, 20, 3, false}, 0},
      {"pair with logo, flipped", 0, true, {true, StereoType::Dynamic, false, 30, 6, true}, 3},
      {"2:1 soft", 2, false, {}, 0, {kProjectionEquirect, kFillSoft, 0}},
      {"2:1 black, horizon", 0, false, {}, 2, {kProjectionEquirect, kFillBlack, 10}},
      {"2:1 pair, soft",
       0,
       false,
       {true, StereoType::Dynamic, false, 30, 6, true},
       0,
       {kProjectionEquirect, kFillSoft, -10}},
      {"2:1 logo, horizon", 0, true, {}, 0, {kProjectionEquirect, kFillBlack, 10}},
  };
  for (const Case& c : cases) {
    PipelineRun run(SmallGeometry(c.corr));
    run.o.stereo = c.stereo;
    run.o.flipMode = c.flipMode;
    FrameImage runCanvas = test::RandomImage(32, 16, 77);
    FrameImage previewCanvas = runCanvas;
    if (c.logo) run.p.logoCanvas = &runCanvas;
    OutputLayout layout;
    if (c.projection.projection != kProjectionStrip) {
      ASSERT_EQ(PrepareOutputLayout(run.g, c.projection, c.logo ? &runCanvas : nullptr, layout), "")
          << c.name;
      run.p.layout = &layout;
    }
    PreviewOutput preview;
    for (int32_t n = 0; n < 3; ++n) {
      run.frame = test::RandomImage(run.g.Fw, run.g.Fh, 10 + static_cast<uint32_t>(n));
      ASSERT_TRUE(run.Frame(n));
      FrameImage panorama(run.g.W, run.g.H + 1);
      for (int32_t row = 0; row < run.g.H; ++row) {
        const auto r = run.PanoramaRow(run.frame, row);
        std::copy(r.begin(), r.end(), panorama.Row(row));
      }
      ASSERT_TRUE(AssemblePreviewOutput(run.g, panorama, run.o, false,
                                        c.logo ? &previewCanvas : nullptr, preview, c.projection))
          << c.name;
      const OutputFrame& written = run.sink.frames.back();
      EXPECT_EQ(preview.picture.width, written.width) << c.name;
      ASSERT_EQ(preview.picture.height, written.height) << c.name;
      EXPECT_TRUE(std::equal(written.bytes.begin(), written.bytes.end(), preview.picture.Bytes()))
          << c.name << " frame " << n;
    }
  }
}

// Paused, the same frame comes again: the anaglyph takes the static effect, not a
// second view equal to the first by accident of timing; a panorama of another size
// than the geometry is refused.
TEST(ProcessFrame, PreviewOutputPausedIsStaticAndRefusesOddPanoramas) {
  const UnwrapGeometry g = SmallGeometry(0);
  FrameImage first = test::RandomImage(g.W, g.H + 1, 3);
  FrameImage second = test::RandomImage(g.W, g.H + 1, 4);
  FrameOptions o;
  o.stereo = {true, StereoType::Dynamic, false, 30, 6, true};
  PreviewOutput preview;
  ASSERT_TRUE(AssemblePreviewOutput(g, first, o, false, nullptr, preview));
  ASSERT_TRUE(AssemblePreviewOutput(g, second, o, true, nullptr, preview));
  ASSERT_EQ(preview.picture.height, 20);
  // Static pair: view 2 (the upper half) repeats view 1.
  for (int32_t row = 0; row < 10; ++row) {
    EXPECT_EQ(RowOf(std::vector<uint8_t>(preview.picture.Bytes(),
                                         preview.picture.Bytes() + preview.picture.ByteSize()),
                    32, row + 10),
              std::vector<uint32_t>(second.Row(g.cutRows + row), second.Row(g.cutRows + row) + 32))
        << row;
  }
  const FrameImage before = preview.picture;
  FrameImage narrow = test::RandomImage(g.W - 1, g.H + 1, 5);
  EXPECT_FALSE(AssemblePreviewOutput(g, narrow, o, false, nullptr, preview));
  FrameImage shortOne = test::RandomImage(g.W, g.H, 5);
  EXPECT_FALSE(AssemblePreviewOutput(g, shortOne, o, false, nullptr, preview));
  EXPECT_EQ(preview.picture.pixels, before.pixels);
}

TEST(TakeFrame, SwapsTheDecodedPixelsInAndRefusesOtherSizes) {
  FrameImage frame = test::GrayImage(8, 4, 9);
  FrameImage decoded = test::GrayImage(8, 4, 0xAB);
  const FrameImage before = frame, arrived = decoded;
  for (FrameImage other : {FrameImage{}, test::GrayImage(4, 8, 1), test::GrayImage(8, 3, 1)}) {
    EXPECT_FALSE(TakeFrame(other, frame)) << other.width << "x" << other.height;
    EXPECT_EQ(frame.pixels, before.pixels);
  }
  const uint32_t* decodedBuffer = decoded.pixels.data();
  EXPECT_TRUE(TakeFrame(decoded, frame));
  EXPECT_EQ(frame.pixels, arrived.pixels);
  EXPECT_EQ(frame.pixels.data(), decodedBuffer) << "moved, not copied";
  EXPECT_EQ(decoded.pixels, before.pixels) << "the decoder gets a buffer of its size back";
}

TEST(ProcessFrame, RefusedUnwrapSpoolsNothing) {
  PipelineRun run(SmallGeometry(0));
  EXPECT_FALSE(RunFramePipeline(run.p, run.o, 0, UnwrapPaths{&Refuse, &Refuse}));
  EXPECT_TRUE(run.sink.frames.empty());
}

TEST(FrameOptions, ComeFromSettingsAndSession) {
  AppSettings s;
  SessionOptions session;
  s.SHARPEN_CH = 1;
  s.SHARPEN = 2;
  s.RADIUS = 1;
  s.NOISE_CH = 1;
  s.NOISE = 3;
  session.OS_PREVIEW = 1;
  session.FLIP_MODE = 3;
  const FrameOptions o = FrameOptionsFrom(s, session);
  EXPECT_TRUE(o.fastUnwrap);
  EXPECT_EQ(o.flipMode, 3);
  EXPECT_TRUE(o.sharpen.on);
  EXPECT_EQ(o.sharpen.amount, 2);
  EXPECT_TRUE(o.adjust.noiseOn);
  EXPECT_EQ(o.adjust.noisePasses, 3);
  EXPECT_FALSE(o.stereo.on);
}

}  // namespace
}  // namespace corvinex
