#pragma once
// Drawing of the two preview areas: the doughnut frame with the Cut Area overlay
// (600 x 600) and the panorama with its degree scale and the progress text
// (1000 x 200). Pure drawing into images, so any thread may call it while it holds
// the drawing lock, and tests can look at the pixels.

#include <QImage>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/progress.h"
#include "transform/frame_image.h"
#include "transform/unwrap_geometry.h"
#include "view/degree_scale.h"

namespace corvinex {

inline constexpr int32_t kDoughnutAreaSize = 600;
inline constexpr int32_t kPanoramaAreaWidth = 1000;
inline constexpr int32_t kPanoramaAreaHeight = 200;

struct PreviewScene {
  const FrameImage* frame = nullptr;     // current doughnut frame, bottom-up BGRX
  const FrameImage* panorama = nullptr;  // panorama buffer, W x (H + 1)
  int32_t panoramaWidth = 0;             // pw
  int32_t turn = 0;          // columns the heading turns the panorama (UnwrapGeometry::turn)
  int32_t panoramaRows = 0;  // ph2: rows left after the internal cut
  int32_t cutRows = 0;
  bool flipVertical = false;
  // The output picture (bottom-up BGRX, as a conversion writes it); when set it shows
  // scaled to fit the area instead of the plain strip.
  const FrameImage* output = nullptr;
  RingGeometry ring;
  std::array<std::string, 4> probeLines;  // the probe's first four lines
  bool panoramaEnabled = true;
  bool cutAreaEnabled = true;
  bool conversionRunning = false;
  std::vector<OverlayLine> progressLines;  // printed while a conversion runs
};

// Preview height and the vertical offset that centres it: PH = round(600 x h / w),
// oy = round(0.5 x (600 - PH)).
struct PreviewPlacement {
  int32_t PH = kDoughnutAreaSize;
  int32_t oy = 0;
};
PreviewPlacement PlacePreview(int32_t frameWidth, int32_t frameHeight);

// Where a picture of `width` x `height` goes in the panorama area: as large as fits
// with its proportions kept, centred.
QRect FitInPanoramaArea(int32_t width, int32_t height);

// The panorama part (degree scale, progress text) into `panoramaArea` when the
// panorama preview is on and a panorama exists; the doughnut part into
// `doughnutArea` when the Cut Area buttons are enabled and a frame exists.
// Returns which areas changed: bit 1 panorama, bit 2 doughnut.
int32_t PreviewDraw(const PreviewScene& scene, QImage* panoramaArea, QImage* doughnutArea);

// Clears an area to #333333 and writes `caption` in white at 10, 10.
void DrawCaption(QImage& area, const QString& caption);

}  // namespace corvinex
