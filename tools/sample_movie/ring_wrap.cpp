#include "ring_wrap.h"

#include <cmath>
#include <numbers>

namespace corvinex::sample {
namespace {

int32_t RoundEven(double v) {
  return static_cast<int32_t>(std::nearbyint(v));
}
int32_t EvenDown(int32_t v) {
  return 2 * (v / 2);
}

}  // namespace

RingPlacement PlaceRing(int32_t frameWidth, int32_t frameHeight, const RingGeometry& ring) {
  RingPlacement p;
  if (frameWidth <= 0 || frameHeight <= 0) return p;
  p.frameWidth = frameWidth;
  p.frameHeight = frameHeight;
  const int32_t ph = RoundEven(600.0 * frameHeight / frameWidth);
  if (ph <= 0) return p;
  const float sx = static_cast<float>(frameWidth) / 600.0f;
  const float sy = static_cast<float>(frameHeight) / static_cast<float>(ph);
  const int32_t cropX = RoundEven(static_cast<double>(sx) * ring.X1);
  const int32_t cropY = RoundEven(static_cast<double>(sy) * ring.Y1);
  const int32_t cropW = RoundEven(static_cast<double>(sx) * ring.X2);
  const int32_t cropH = RoundEven(static_cast<double>(sy) * ring.Y2);
  p.cutRows = EvenDown(RoundEven(static_cast<double>(sx) * ring.RSIZE));
  p.cropX = cropX;
  p.cropY = cropY;
  p.cropW = cropW;
  p.cropH = cropH;
  // The unwrap centres its offsets on a crop buffer of cropW x (cropH + 1) pixels.
  p.centreX = cropX + 0.5 * cropW - 0.5;
  p.centreY = cropY + 0.5 * cropH - 1.0;
  if (cropH < 4) return p;
  p.H = EvenDown(RoundEven(cropH / 2.0));
  p.W = EvenDown(RoundEven(2.0 * static_cast<double>(0.2f) * std::numbers::pi * cropH));
  p.k = 5.0f / static_cast<float>(cropH);
  return p;
}

PicturePoint FastSamplePoint(const RingPlacement& placement, int32_t column, int32_t row) {
  // Single precision, operation for operation as the unwrap computes it, so that every
  // rounding below goes the same way.
  const float a = placement.k * (static_cast<float>(column) - static_cast<float>(placement.W) / 2 +
                                 static_cast<float>(placement.H) / 2 - 0.5f);
  const float r = static_cast<float>(row) - 0.5f;
  const float su = r * static_cast<float>(std::sin(static_cast<double>(a)));
  const float sv = r * static_cast<float>(std::cos(static_cast<double>(a)));
  // Position in the crop buffer, which holds the Cut Area square mirrored left-right
  // and bottom-up; undone to give the picture pixel.
  const float i = std::nearbyint(su + (0.5f * static_cast<float>(placement.cropW) - 0.5f));
  const float j = std::nearbyint(sv + 0.5f * static_cast<float>(placement.cropH));
  return {placement.cropX + placement.cropW - 1 - static_cast<int32_t>(i),
          placement.cropY + placement.cropH - 1 - static_cast<int32_t>(j)};
}

RingMap BuildRingMap(const RingPlacement& placement, int32_t panoramaWidth,
                     int32_t panoramaHeight) {
  RingMap map;
  const int32_t fw = placement.frameWidth;
  const int32_t fh = placement.frameHeight;
  map.frameWidth = fw;
  map.frameHeight = fh;
  map.panoramaWidth = panoramaWidth;
  map.panoramaHeight = panoramaHeight;
  map.source.assign(static_cast<size_t>(fw) * static_cast<size_t>(fh), -1);
  if (!placement.valid() || panoramaWidth <= 0 || panoramaHeight <= 0) return map;

  const int32_t W = placement.W;
  const int32_t H = placement.H;
  // Ring column/row to the panorama's own pixel index.
  auto indexOf = [&](int32_t column, int32_t row) {
    const int64_t px = static_cast<int64_t>(column) * panoramaWidth / W;
    const int64_t py = static_cast<int64_t>(row) * panoramaHeight / H;
    return static_cast<int32_t>(py * panoramaWidth + px);
  };
  auto slotOf = [&](int32_t x, int32_t y) {
    return static_cast<size_t>(fh - 1 - y) * static_cast<size_t>(fw) + static_cast<size_t>(x);
  };

  // Angle and radius of every pixel. The strip covers W * k radians from its first
  // column; an angle in the gap (or overlap) goes to the nearer end of the strip.
  const double k = placement.k;
  const double period = 2.0 * std::numbers::pi / k;
  const double zeroColumn = W / 2.0 - H / 2.0 + 0.5;  // the column looking straight up
  for (int32_t y = 0; y < fh; ++y) {
    const double up = placement.centreY - y;
    for (int32_t x = 0; x < fw; ++x) {
      const double left = placement.centreX - x;
      const int32_t row = RoundEven(std::hypot(left, up) + 0.5);
      if (row > H - 1) continue;
      double t = std::atan2(left, up) / k + zeroColumn;
      t = std::fmod(t, period);
      if (t < 0) t += period;
      int32_t column = RoundEven(t);
      if (column > W - 1) column = (t - (W - 1) < period - t) ? W - 1 : 0;
      map.source[slotOf(x, y)] = indexOf(column, row);
    }
  }
  // The fast unwrap's own sample points, inner rows first so the outer (sharper)
  // rows win where several samples meet in one pixel.
  for (int32_t row = 0; row < H; ++row) {
    for (int32_t column = 0; column < W; ++column) {
      const PicturePoint p = FastSamplePoint(placement, column, row);
      if (p.x < 0 || p.x >= fw || p.y < 0 || p.y >= fh) continue;
      map.source[slotOf(p.x, p.y)] = indexOf(column, row);
    }
  }
  return map;
}

void WrapPanorama(const FrameImage& panorama, const RingMap& map, FrameImage& frame) {
  if (frame.width != map.frameWidth || frame.height != map.frameHeight ||
      frame.PixelCount() != map.source.size()) {
    frame.Reset(map.frameWidth, map.frameHeight);
  }
  const bool sizeMatches =
      panorama.width == map.panoramaWidth && panorama.height == map.panoramaHeight;
  const size_t n = map.source.size();
  for (size_t i = 0; i < n; ++i) {
    const int32_t s = map.source[i];
    frame.pixels[i] = (s >= 0 && sizeMatches) ? panorama.pixels[static_cast<size_t>(s)] : 0u;
  }
}

FrameImage WrapPanorama(const FrameImage& panorama, int32_t frameWidth, int32_t frameHeight,
                        const RingGeometry& ring) {
  const RingPlacement placement = PlaceRing(frameWidth, frameHeight, ring);
  const RingMap map = BuildRingMap(placement, panorama.width, panorama.height);
  FrameImage frame(frameWidth > 0 ? frameWidth : 0, frameHeight > 0 ? frameHeight : 0);
  WrapPanorama(panorama, map, frame);
  return frame;
}

}  // namespace corvinex::sample
