#pragma once
// Wraps a panorama strip into the ring ("doughnut") that a panoramic lens would put
// on the sensor: the inverse of the unwrap's mapping, so that unwrapping a generated
// frame gives the strip back (exactly on the fast path, within interpolation on the
// quality path).

#include <cstdint>
#include <vector>

#include "transform/frame_image.h"
#include "transform/unwrap_geometry.h"

namespace corvinex::sample {

// Where the ring lies in a frame, derived from the Cut Area exactly as the unwrap
// derives it (preview units, 600 across the frame). Panorama column x looks along
// angle a = k (x - W/2 + H/2 - 0.5), 0 straight up from the centre and growing
// counter-clockwise on the screen; row y lies at radius y - 0.5.
struct RingPlacement {
  int32_t frameWidth = 0, frameHeight = 0;
  int32_t cropX = 0, cropY = 0;  // Cut Area square in frame pixels (y from the top)
  int32_t cropW = 0, cropH = 0;
  double centreX = 0, centreY = 0;  // radius 0, picture coordinates (y from the top)
  int32_t W = 0, H = 0;             // panorama columns and rows
  int32_t cutRows = 0;              // rows of the internal circle
  float k = 0;                      // radians per panorama column
  bool valid() const { return W > 0 && H > 0; }
};

RingPlacement PlaceRing(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring);

// Picture pixel that the fast unwrap reads for panorama column x, row y.
struct PicturePoint {
  int32_t x = 0, y = 0;
};
PicturePoint FastSamplePoint(const RingPlacement& placement, int32_t column, int32_t row);

// For every frame pixel (buffer order), the index of the panorama pixel it shows
// (buffer order of a W x H panorama), or -1 for pixels off the ring. Built once per
// movie; wrapping a frame is then a plain gather.
struct RingMap {
  int32_t frameWidth = 0, frameHeight = 0;
  int32_t panoramaWidth = 0, panoramaHeight = 0;
  std::vector<int32_t> source;
};

// The map for a panorama of any size: columns and rows are scaled onto the ring's
// W x H. Every frame pixel takes the panorama pixel at its angle and radius; then
// every fast-unwrap sample position takes its own panorama pixel (outer radii last),
// so the fast unwrap reads back exactly what was drawn wherever its samples do not
// share a frame pixel.
RingMap BuildRingMap(const RingPlacement& placement, int32_t panoramaWidth, int32_t panoramaHeight);

// Fills `frame` (re-dimensioned to the map's frame size) from the panorama; pixels off
// the ring are black.
void WrapPanorama(const FrameImage& panorama, const RingMap& map, FrameImage& frame);
FrameImage WrapPanorama(const FrameImage& panorama, int32_t frameWidth, int32_t frameHeight,
                        const RingGeometry& ring);

}  // namespace corvinex::sample
