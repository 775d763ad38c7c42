#pragma once
// The Cut Area (RingGeometry), and the per-run geometry and buffers that both
// unwrap paths work with.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transform/frame_image.h"

namespace corvinex {

class DiagnosticLog;
struct AppSettings;
struct SessionOptions;

// The Cut Area in preview units (600 units across the frame).
struct RingGeometry {
  int32_t X1 = -8;
  int32_t Y1 = -8;
  int32_t X2 = 616;
  int32_t Y2 = 606;
  int32_t RSIZE = 79;
  bool operator==(const RingGeometry&) const = default;
};

RingGeometry RingFromSettings(const AppSettings& settings);
void StoreRing(const RingGeometry& ring, AppSettings& settings);

// Limits the geometry keeps whatever the Cut Area holds (a settings file may hold
// anything): without them the output height could be zero or negative and the
// unwrap would read or write outside its buffers.
inline constexpr int32_t kMinCropSide = 4;
// Keeps W x H within the coordinate cache's budget of 37,500,000 pairs and the
// buffers within memory (a 5400-pixel square gives a 6786 x 2700 panorama).
inline constexpr int32_t kMaxCropSide = 5400;
inline constexpr int64_t kMaxCachePairs = 37'500'000;

// Which limits had to be applied to reach a usable geometry (bit mask).
enum GeometryLimit : uint32_t {
  kLimitNone = 0,
  kLimitFrameSize = 1u << 0,     // frame without pixels or beyond 2^31 pixels: no unwrap
  kLimitCropTooSmall = 1u << 1,  // crop width or height raised to kMinCropSide
  kLimitCropTooLarge = 1u << 2,  // crop width or height lowered to kMaxCropSide
  kLimitCutRows = 1u << 3,       // cutRows kept within 0 .. H - 2
  kLimitCorrRows = 1u << 4,      // corrRows kept within 0 .. 4 x outRows
  kLimitWidthRefused = 1u << 5,  // the asked width is out of reach: W as before instead
};

// The panorama's width and turn, as the user chose them.
inline constexpr int32_t kWidthAsBefore = 0;
inline constexpr int32_t kWidthFullDetail = -1;
inline constexpr int32_t kMinPanoramaWidth = 64;
inline constexpr int32_t kMaxPanoramaWidth = 16384;
struct PanoramaShape {
  int32_t width = kWidthAsBefore;  // kWidthAsBefore, kWidthFullDetail or even pixels
  double heading = 0.0;            // degrees shown at the panorama's centre
  bool operator==(const PanoramaShape&) const = default;
};

// Whether `width` is one of the choices above (an even width within the pixel range).
bool PanoramaWidthChoice(int32_t width);
PanoramaShape ShapeFromOptions(const SessionOptions& options);

// Derived from RingGeometry and the frame size once per run (and on preview changes).
struct UnwrapGeometry {
  int32_t Fw = 0, Fh = 0;  // frame size
  int32_t PH = 0;          // preview height in units
  float sx = 0, sy = 0;    // frame pixels per preview unit
  int32_t cropX = 0, cropY = 0;
  int32_t cutRows = 0;
  int32_t cropW = 0, cropH = 0;
  int32_t halfW = 0, halfH = 0;
  int32_t H = 0, W = 0;  // panorama rows before the internal cut, columns
  float k = 0;           // radians per panorama column
  float c = 0;           // quality path offset, (H - 2) / 2
  // Another width samples the same ring: angleC keeps the centre column's direction
  // (c x k of the width as before) and radiusStep, the crop pixels per row, keeps the
  // radii. As before they are c and 1, and the arithmetic is the same bit for bit.
  float angleC = 0;
  float radiusStep = 1.0f;
  int32_t turn = 0;  // heading in whole columns, 0 .. W - 1: column x shows column x + turn
  int32_t halfPW = 0, halfPH = 0;
  int32_t outRows = 0;           // H - cutRows
  int32_t corrRows = 0;          // black lens-correction rows (0 for the preview)
  int64_t panoramaBytes = 0;     // outRows x W x 4
  uint32_t limits = kLimitNone;  // GeometryLimit bits applied
  bool operator==(const UnwrapGeometry&) const = default;

  // False only for a frame without pixels; every other geometry is safe to unwrap.
  bool Usable() const { return W > 0 && H > 0; }
};

// The arithmetic alone, without buffers or log: the values a run would use.
// corrRows is computed from `lensCoefficient` (pass 0 for the preview).
// `shape` sets the width and the heading; a width out of reach (see
// PanoramaWidthProblem) gives the width as before with kLimitWidthRefused.
UnwrapGeometry ComputeUnwrapGeometry(int32_t frameWidth, int32_t frameHeight,
                                     const RingGeometry& ring, float lensCoefficient,
                                     const PanoramaShape& shape = {});

// The widths this ring can be unwrapped at: from kMinPanoramaWidth (or less for a ring
// whose full detail is smaller) up to the largest even width whose rows keep W x H within
// the coordinate cache's budget. {0, 0} for a frame without pixels.
struct WidthRange {
  int32_t low = 0;
  int32_t high = 0;
};
WidthRange ReachableWidths(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring);

// The width "Full detail" gives: the ring's outer circumference in frame pixels, even.
int32_t FullDetailWidth(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring);

// Why `shape` cannot be unwrapped for this frame and ring, with the range that can;
// empty when it can.
std::string PanoramaShapeProblem(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring,
                                 const PanoramaShape& shape);

// Columns a heading turns a panorama of `width` columns: round(heading / 360 x width),
// within 0 .. width - 1; 0 for a heading that is not finite.
int32_t HeadingTurn(double heading, int32_t width);

// Text for the limits applied, empty when none ("" or e.g. "cut rows clamped").
std::string GeometryLimitText(uint32_t limits);

// The working set of one run; every buffer is allocated by PrepareUnwrapGeometry
// and reused for every frame, so the per-frame path never allocates.
struct UnwrapBuffers {
  FrameImage crop;         // cropW x (cropH + 1), mirrored Cut Area square, sized by its first copy
  FrameImage P1, P2;       // W x (H + 1): panorama and second view / scratch
  FrameImage previous;     // previous frame's panorama (stereo)
  FrameImage currentCopy;  // current panorama before stereo
  FrameImage stereoA, stereoB;
  // Fast table: one source pixel index (buffer row x Fw + column) per panorama
  // slot, W x H entries; 0 (the frame's first pixel) where the ring leaves the frame.
  std::vector<int32_t> tableIndex;
  int32_t tableFlipMode = -1;  // flip mode the table was built for
  bool tableValid = false;
  // Coordinate cache: W x H source columns (su) followed by W x H source rows (sv),
  // centred on the crop buffer, in destination slot order.
  std::vector<float> cache;
  int32_t cacheFlipMode = -1;
  bool cacheValid = false;
  std::vector<float> angleSin, angleCos;  // per panorama column, for table and cache fills
  // Buffer rows of P1 the next unwrap must fill, from rowsFrom up to rowsTo (exclusive,
  // clamped to H); the other rows may keep older pixels. A conversion that drops the
  // internal circle's rows sets this per frame; everyone else unwraps every row.
  int32_t rowsFrom = 0;
  int32_t rowsTo = INT32_MAX;
  std::array<uint8_t, 40> infoHeader{};  // BMP info header of the panorama part
};

struct RowSpan {
  int32_t first = 0;
  int32_t count = 0;
};

// The buffers' rowsFrom .. rowsTo, clamped to the panorama's H rows.
RowSpan WantedRows(const UnwrapGeometry& geometry, const UnwrapBuffers& buffers);

// The part of the frame an unwrap of this geometry reads: the Cut Area square with a
// margin for the cubic window, inside the frame. Empty when no part can be promised:
// the fast path reads the frame's first pixel for samples off the frame, so its
// square must lie inside the frame.
PicturePart FramePartRead(const UnwrapGeometry& geometry, bool fastPath);

enum class GeometryVariant { Conversion, Preview };

// Computes the geometry, (re)allocates the buffers, clears tableValid and
// cacheValid and fills infoHeader. The conversion variant logs its steps and
// computes corrRows; the preview variant leaves `previous` and `currentCopy`
// alone and sets corrRows 0. The stereo buffers are left empty: the frame
// pipeline sizes them when a frame first asks for stereo.
UnwrapGeometry PrepareUnwrapGeometry(int32_t frameWidth, int32_t frameHeight,
                                     const RingGeometry& ring, float lensCoefficient,
                                     GeometryVariant variant, UnwrapBuffers& buffers,
                                     DiagnosticLog& log, const PanoramaShape& shape = {});

// First buffer row of the panorama part (outRows rows): cutRows, or 0 under a
// vertical flip, which moves the internal circle's rows to the top of the buffer.
// The output and the preview show the same rows, so they agree for every flip.
int32_t FirstPanoramaRow(const UnwrapGeometry& geometry, int32_t flipMode);

// Text of the preview's geometry label: a blank, W, "x", outRows (" 1228x386").
std::string GeometryLabelText(const UnwrapGeometry& geometry);

// Nearest-pixel unwrap into P1 through the look-up table (rebuilt when invalid
// or built for another flip mode). Returns false, leaving P1 alone, when the
// frame is not the size the geometry was prepared for.
bool UnwrapFast(const UnwrapGeometry& geometry, int32_t flipMode, const FrameImage& frame,
                UnwrapBuffers& buffers);

// Crop, then cubic resample into P1; fills the coordinate cache when invalid
// and sets cacheValid. Returns false, leaving P1 alone, when the frame is not
// the size the geometry was prepared for.
bool UnwrapQuality(const UnwrapGeometry& geometry, int32_t flipMode, const FrameImage& frame,
                   UnwrapBuffers& buffers);

// Pieces of the two paths, exposed for the tests and the benchmark.
void BuildFastTable(const UnwrapGeometry& geometry, int32_t flipMode, UnwrapBuffers& buffers);
void CropCutArea(const UnwrapGeometry& geometry, const FrameImage& frame, FrameImage& crop);
// dst[s] = src[index[s]]; the dispatching version may use vector gathers, the
// scalar one is the reference.
void GatherPixels(const uint32_t* src, const int32_t* index, uint32_t* dst, size_t count);
void GatherPixelsScalar(const uint32_t* src, const int32_t* index, uint32_t* dst, size_t count);

// Angle sine and cosine as the geometry defines them: the double-precision result
// rounded to float, so that every build gives the same tables.
float GeometrySin(float angle);
float GeometryCos(float angle);

}  // namespace corvinex
