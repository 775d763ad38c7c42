#include "transform/unwrap_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "settings/app_settings.h"
#include "settings/diagnostic_log.h"

namespace corvinex {
namespace {

// Nearest integer, halves to even, kept far inside int32 so that no later sum
// of a few such values can overflow (odd settings files may hold anything).
int32_t RoundClamped(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kBound = 1 << 30;
  return static_cast<int32_t>(std::nearbyint(std::clamp(value, -kBound, kBound)));
}

// 2 x trunc(v / 2): the "made even" step of the geometry.
int32_t MakeEven(int32_t v) {
  return 2 * (v / 2);
}

// The panorama's rows for another width, in the proportions of the width as before.
int32_t RowsForWidth(const UnwrapGeometry& before, int32_t width) {
  const double rows = static_cast<double>(before.H) * width / before.W;
  return std::max(2, MakeEven(RoundClamped(rows)));
}

bool WithinCacheBudget(const UnwrapGeometry& before, int32_t width) {
  return int64_t{width} * RowsForWidth(before, width) <= kMaxCachePairs;
}

int32_t FullDetailOf(const UnwrapGeometry& before) {
  return std::max(4, MakeEven(RoundClamped(std::numbers::pi * before.cropH)));
}

// The width `shape` asks for, 0 for the width as before or a choice that is none.
int32_t WantedWidth(const UnwrapGeometry& before, const PanoramaShape& shape) {
  if (shape.width == kWidthAsBefore || !PanoramaWidthChoice(shape.width)) return 0;
  return shape.width == kWidthFullDetail ? FullDetailOf(before) : shape.width;
}

void PutLe(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

RingGeometry RingFromSettings(const AppSettings& settings) {
  return RingGeometry{settings.X1, settings.Y1, settings.X2, settings.Y2, settings.RSIZE};
}

void StoreRing(const RingGeometry& ring, AppSettings& settings) {
  settings.X1 = ring.X1;
  settings.Y1 = ring.Y1;
  settings.X2 = ring.X2;
  settings.Y2 = ring.Y2;
  settings.RSIZE = ring.RSIZE;
}

float GeometrySin(float angle) {
  return static_cast<float>(std::sin(static_cast<double>(angle)));
}
float GeometryCos(float angle) {
  return static_cast<float>(std::cos(static_cast<double>(angle)));
}

PanoramaShape ShapeFromOptions(const SessionOptions& options) {
  return PanoramaShape{options.PANORAMA_WIDTH, options.HEADING};
}

bool PanoramaWidthChoice(int32_t width) {
  return width == kWidthAsBefore || width == kWidthFullDetail ||
         (width >= kMinPanoramaWidth && width <= kMaxPanoramaWidth && width % 2 == 0);
}

int32_t HeadingTurn(double heading, int32_t width) {
  if (width <= 0 || !std::isfinite(heading)) return 0;
  const double columns = std::round(std::fmod(heading, 360.0) / 360.0 * width);
  const int64_t turn = static_cast<int64_t>(columns) % width;
  return static_cast<int32_t>(turn < 0 ? turn + width : turn);
}

UnwrapGeometry ComputeUnwrapGeometry(int32_t frameWidth, int32_t frameHeight,
                                     const RingGeometry& ring, float lensCoefficient,
                                     const PanoramaShape& shape) {
  UnwrapGeometry g;
  // Fast-table entries are 32-bit pixel indexes.
  if (frameWidth <= 0 || frameHeight <= 0 ||
      int64_t{frameWidth} * frameHeight > int64_t{INT32_MAX}) {
    g.limits = kLimitFrameSize;
    return g;
  }
  g.Fw = frameWidth;
  g.Fh = frameHeight;
  // A frame far wider than high would give a preview of height 0 and an
  // infinite vertical scale; one unit is the least that keeps sy finite.
  g.PH = std::max(1, RoundClamped(600.0 * frameHeight / frameWidth));
  g.sx = static_cast<float>(frameWidth / 600.0);
  g.sy = static_cast<float>(static_cast<double>(frameHeight) / g.PH);
  // Float times integer is widened to double: the geometry was designed for
  // extended precision, and a float product would round differently.
  const double sx = g.sx;
  const double sy = g.sy;
  g.cropX = RoundClamped(sx * ring.X1);
  g.cropY = RoundClamped(sy * ring.Y1);
  int32_t cutRows = MakeEven(RoundClamped(sx * ring.RSIZE));
  int32_t cropW = RoundClamped(sx * ring.X2);
  int32_t cropH = RoundClamped(sy * ring.Y2);
  for (int32_t* side : {&cropW, &cropH}) {
    if (*side < kMinCropSide) {
      *side = kMinCropSide;
      g.limits |= kLimitCropTooSmall;
    } else if (*side > kMaxCropSide) {
      *side = kMaxCropSide;
      g.limits |= kLimitCropTooLarge;
    }
  }
  g.cropW = cropW;
  g.cropH = cropH;
  g.halfW = RoundClamped(0.5 * cropW);
  g.halfH = RoundClamped(0.5 * cropH);
  g.H = MakeEven(RoundClamped(cropH / 2.0));
  // 0.4 is formed as 2 x 0.2 with 0.2 a float, as the design has it.
  const double fourTenths = 2.0 * static_cast<double>(0.2f);
  g.W = MakeEven(RoundClamped(fourTenths * std::numbers::pi * cropH));
  g.k = 5.0f / static_cast<float>(cropH);
  g.c = static_cast<float>(g.H - 2) / 2.0f;
  g.angleC = g.c;
  g.radiusStep = 1.0f;
  if (shape.width != kWidthAsBefore) {
    const int32_t width = WantedWidth(g, shape);
    if (width > 0 && width <= kMaxPanoramaWidth && WithinCacheBudget(g, width)) {
      const int32_t rows = RowsForWidth(g, width);
      // The same ring at another sampling: one turn across the columns, the centre
      // column facing where it did, the radii from 0 to the outer edge over the rows.
      const double k = 2.0 * std::numbers::pi / width;
      g.angleC = static_cast<float>(static_cast<double>(g.c) * g.k / k);
      g.k = static_cast<float>(k);
      g.radiusStep = static_cast<float>(static_cast<double>(g.H) / rows);
      cutRows = MakeEven(RoundClamped(static_cast<double>(cutRows) * rows / g.H));
      g.W = width;
      g.H = rows;
      g.c = static_cast<float>(g.H - 2) / 2.0f;
    } else {
      g.limits |= kLimitWidthRefused;
    }
  }
  g.turn = HeadingTurn(shape.heading, g.W);
  g.halfPW = RoundClamped(g.W / 2.0);
  g.halfPH = RoundClamped(g.H / 2.0);
  // The internal circle must leave at least two rows (cutRows and H are even).
  if (cutRows < 0 || cutRows > g.H - 2) {
    cutRows = std::clamp(cutRows, 0, g.H - 2);
    g.limits |= kLimitCutRows;
  }
  g.cutRows = cutRows;
  g.outRows = g.H - cutRows;
  const double correction = static_cast<double>(lensCoefficient) * g.outRows;
  int32_t corrRows = MakeEven(RoundClamped(correction));
  // A coefficient from a settings file may be negative or absurd; the lens table
  // goes up to 5 %, so four times the panorama height is generous.
  if (corrRows < 0 || corrRows > 4 * g.outRows) {
    corrRows = std::clamp(corrRows, 0, MakeEven(4 * g.outRows));
    g.limits |= kLimitCorrRows;
  }
  g.corrRows = corrRows;
  g.panoramaBytes = int64_t{g.outRows} * g.W * 4;
  return g;
}

std::string GeometryLimitText(uint32_t limits) {
  std::string text;
  auto add = [&text](const char* part) {
    if (!text.empty()) text += ", ";
    text += part;
  };
  if (limits & kLimitFrameSize) add("frame has no pixels");
  if (limits & kLimitCropTooSmall) add("Cut Area raised to the smallest size");
  if (limits & kLimitCropTooLarge) add("Cut Area lowered to the largest size");
  if (limits & kLimitCutRows) add("internal circle kept inside the external one");
  if (limits & kLimitCorrRows) add("lens correction kept within limits");
  if (limits & kLimitWidthRefused) add("panorama width out of reach, width as before used");
  return text;
}

WidthRange ReachableWidths(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring) {
  const UnwrapGeometry before = ComputeUnwrapGeometry(frameWidth, frameHeight, ring, 0.0f);
  if (!before.Usable()) return {};
  // W x H grows with W: the largest even width within the budget, by halving.
  int32_t low = kMinPanoramaWidth / 2;
  int32_t high = kMaxPanoramaWidth / 2;
  if (!WithinCacheBudget(before, 2 * low)) return {};
  while (low < high) {
    const int32_t mid = low + (high - low + 1) / 2;
    if (WithinCacheBudget(before, 2 * mid)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return {std::min(kMinPanoramaWidth, FullDetailOf(before)), 2 * low};
}

int32_t FullDetailWidth(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring) {
  const UnwrapGeometry before = ComputeUnwrapGeometry(frameWidth, frameHeight, ring, 0.0f);
  return before.Usable() ? FullDetailOf(before) : 0;
}

std::string PanoramaShapeProblem(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring,
                                 const PanoramaShape& shape) {
  if (!std::isfinite(shape.heading)) {
    return "The heading is not a number of degrees (from -360 to 360).";
  }
  if (!PanoramaWidthChoice(shape.width)) {
    return "The panorama width " + std::to_string(shape.width) + " is not an even number from " +
           std::to_string(kMinPanoramaWidth) + " to " + std::to_string(kMaxPanoramaWidth) +
           " pixels.";
  }
  if (shape.width == kWidthAsBefore) return {};
  const UnwrapGeometry before = ComputeUnwrapGeometry(frameWidth, frameHeight, ring, 0.0f);
  if (!before.Usable()) return {};
  const int32_t width = WantedWidth(before, shape);
  const WidthRange range = ReachableWidths(frameWidth, frameHeight, ring);
  if (width <= range.high) return {};
  const std::string asked = shape.width == kWidthFullDetail
                                ? "Full detail (" + std::to_string(width) + " pixels)"
                                : std::to_string(width) + " pixels";
  return "The panorama width " + asked + " is out of reach for this Cut Area (" +
         std::to_string(width) + " x " + std::to_string(RowsForWidth(before, width)) +
         " samples; at most " + std::to_string(kMaxCachePairs) + " samples and " +
         std::to_string(kMaxPanoramaWidth) + " pixels across). It can be unwrapped from " +
         std::to_string(range.low) + " to " + std::to_string(range.high) + " pixels wide.";
}

UnwrapGeometry PrepareUnwrapGeometry(int32_t frameWidth, int32_t frameHeight,
                                     const RingGeometry& ring, float lensCoefficient,
                                     GeometryVariant variant, UnwrapBuffers& buffers,
                                     DiagnosticLog& log, const PanoramaShape& shape) {
  const bool conversion = variant == GeometryVariant::Conversion;
  auto mark = [&](const char* text) {
    if (conversion) log.LogLine(text);
  };
  mark("Set MovieDuration");
  buffers.tableValid = false;
  buffers.cacheValid = false;
  const UnwrapGeometry g = ComputeUnwrapGeometry(frameWidth, frameHeight, ring,
                                                 conversion ? lensCoefficient : 0.0f, shape);
  mark("Checking 16x16");
  mark("Determine CUTOFF");
  buffers.crop = FrameImage{};  // the copy, when the square needs one, sizes it
  mark("Determine XS1,YS1");
  // The fast table and the quality path's cache are sized by the first unwrap that
  // uses them: a run needs one of the two.
  buffers.tableIndex = {};
  buffers.tableFlipMode = -1;
  buffers.angleSin.assign(static_cast<size_t>(g.W), 0.0f);
  buffers.angleCos.assign(static_cast<size_t>(g.W), 0.0f);
  mark("Determine DMEM1, DMEM2, DMEM3, DMEM4");
  const int32_t rows = g.Usable() ? g.H + 1 : 0;
  for (FrameImage* panorama : {&buffers.P1, &buffers.P2}) panorama->Reset(g.W, rows);
  // The stereo buffers are sized by the first frame that asks for stereo: most
  // conversions never do, and they hold four panoramas.
  if (conversion) {
    buffers.previous = FrameImage{};
    buffers.currentCopy = FrameImage{};
    buffers.cache = {};
    buffers.cacheFlipMode = -1;
  }
  buffers.stereoA = FrameImage{};
  buffers.stereoB = FrameImage{};
  mark("Determine DMEM1, DMEM2, DMEM3, DMEM4 END");

  // BITMAPINFOHEADER of the panorama part: W x outRows, 1 plane, 32 bits, BI_RGB.
  buffers.infoHeader.fill(0);
  uint8_t* h = buffers.infoHeader.data();
  PutLe(h + 0, 40, 4);
  PutLe(h + 4, static_cast<uint32_t>(g.W), 4);
  PutLe(h + 8, static_cast<uint32_t>(g.outRows), 4);
  PutLe(h + 12, 1, 2);
  PutLe(h + 14, 32, 2);
  PutLe(h + 20, static_cast<uint32_t>(g.panoramaBytes), 4);
  return g;
}

int32_t FirstPanoramaRow(const UnwrapGeometry& geometry, int32_t flipMode) {
  return (flipMode & 2) != 0 ? 0 : geometry.cutRows;
}

RowSpan WantedRows(const UnwrapGeometry& geometry, const UnwrapBuffers& buffers) {
  const int32_t first = std::clamp(buffers.rowsFrom, 0, std::max(geometry.H, 0));
  const int32_t end = std::clamp(buffers.rowsTo, first, std::max(geometry.H, 0));
  return {first, end - first};
}

std::string GeometryLabelText(const UnwrapGeometry& geometry) {
  return " " + std::to_string(geometry.W) + "x" + std::to_string(geometry.outRows);
}

PicturePart FramePartRead(const UnwrapGeometry& g, bool fastPath) {
  if (!g.Usable() || g.cropW <= 0 || g.cropH <= 0) return {};
  const int64_t left = g.cropX, top = g.cropY;
  const int64_t right = left + g.cropW, bottom = top + g.cropH;
  if (fastPath && (left < 0 || top < 0 || right > g.Fw || bottom > g.Fh)) return {};
  // The samples lie inside the circle the square holds; a cubic window reaches two
  // pixels beyond its sample, and the in-place quality path reads the row above.
  constexpr int64_t kMargin = 4;
  const int64_t x0 = std::max<int64_t>(left - kMargin, 0);
  const int64_t y0 = std::max<int64_t>(top - kMargin, 0);
  const int64_t x1 = std::min<int64_t>(right + kMargin, g.Fw);
  const int64_t y1 = std::min<int64_t>(bottom + kMargin, g.Fh);
  if (x1 <= x0 || y1 <= y0) return {};
  return PicturePart{static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                     static_cast<int32_t>(x1 - x0), static_cast<int32_t>(y1 - y0)};
}

}  // namespace corvinex
