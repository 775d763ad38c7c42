#pragma once
// The Cut Area (RingGeometry), the lens table, and the per-run geometry and
// buffers that both unwrap paths work with.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "transform/frame_image.h"

namespace corvinex {

class DiagnosticLog;
struct AppSettings;

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
  int32_t halfPW = 0, halfPH = 0;
  int32_t outRows = 0;   // H - cutRows
  int32_t corrRows = 0;  // black lens-correction rows (0 for the preview)
  bool operator==(const UnwrapGeometry&) const = default;
};

// The working set of one run; every buffer is allocated by PrepareUnwrapGeometry
// and reused for every frame, so the per-frame path never allocates.
struct UnwrapBuffers {
  FrameImage crop;         // cropW x (cropH + 1), mirrored Cut Area square
  FrameImage P1, P2;       // W x (H + 1): panorama and second view / scratch
  FrameImage previous;     // previous frame's panorama (stereo)
  FrameImage currentCopy;  // current panorama before stereo
  FrameImage stereoA, stereoB;
  std::vector<int32_t> tableColumn, tableRow;  // fast table, W x H entries
  int32_t tableFlipMode = -1;                  // flip mode the table was built for
  bool tableValid = false;
  std::vector<float> cache;  // coordinate cache, (su, sv) per panorama pixel
  bool cacheValid = false;
  std::array<uint8_t, 40> infoHeader{};  // BMP info header of the panorama part
};

enum class GeometryVariant { Conversion, Preview };

// Computes the geometry, (re)allocates the buffers, clears tableValid and fills
// infoHeader. The conversion variant logs its steps and computes corrRows; the
// preview variant leaves `previous` and `currentCopy` alone and sets corrRows 0.
UnwrapGeometry PrepareUnwrapGeometry(int32_t frameWidth, int32_t frameHeight,
                                     const RingGeometry& ring, float lensCoefficient,
                                     GeometryVariant variant, UnwrapBuffers& buffers,
                                     DiagnosticLog& log);

// Text of the preview's geometry label: a blank, W, "x", outRows (" 1228x386").
std::string GeometryLabelText(const UnwrapGeometry& geometry);

// Nearest-pixel unwrap into P1 through the look-up table (rebuilt when invalid
// or built for another flip mode).
void UnwrapFast(const UnwrapGeometry& geometry, int32_t flipMode, const FrameImage& frame,
                UnwrapBuffers& buffers);

// Crop, then cubic resample into P1; fills the coordinate cache when invalid.
void UnwrapQuality(const UnwrapGeometry& geometry, int32_t flipMode, const FrameImage& frame,
                   UnwrapBuffers& buffers);

}  // namespace corvinex
