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

#include "transform/frame_image.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

inline constexpr int32_t kDoughnutAreaSize = 600;
inline constexpr int32_t kPanoramaAreaWidth = 1000;
inline constexpr int32_t kPanoramaAreaHeight = 200;

// The progress lines printed over the panorama while a conversion runs.
struct ProgressOverlay {
  std::string estimateText = "00.00.00";
  std::string passedText = "00.00.00";
  std::string lensName;
  int32_t resizeStep = 0;     // 0..5 = 100%..50%
  int32_t transformMode = 0;  // 0 automatic, 2 decoder route
  bool stereoOn = false;
  int32_t stereoType = 0;  // 0 dynamic, 1 static
};

struct PreviewScene {
  const FrameImage* frame = nullptr;     // current doughnut frame, bottom-up BGRX
  const FrameImage* panorama = nullptr;  // panorama buffer, W x (H + 1)
  int32_t panoramaWidth = 0;             // pw
  int32_t panoramaRows = 0;              // ph2: rows left after the internal cut
  int32_t cutRows = 0;
  bool flipVertical = false;
  RingGeometry ring;
  std::array<std::string, 4> probeLines;  // the probe's first four lines
  bool panoramaEnabled = true;
  bool cutAreaEnabled = true;
  bool conversionRunning = false;
  ProgressOverlay progress;
};

// Preview height and the vertical offset that centres it: PH = round(600 x h / w),
// oy = round(0.5 x (600 - PH)).
struct PreviewPlacement {
  int32_t PH = kDoughnutAreaSize;
  int32_t oy = 0;
};
PreviewPlacement PlacePreview(int32_t frameWidth, int32_t frameHeight);

// The panorama part (degree scale, progress text) into `panoramaArea` when the
// panorama preview is on and a panorama exists; the doughnut part into
// `doughnutArea` when the Cut Area buttons are enabled and a frame exists.
// Returns which areas changed: bit 1 panorama, bit 2 doughnut.
int32_t PreviewDraw(const PreviewScene& scene, QImage* panoramaArea, QImage* doughnutArea);

// Clears an area to #333333 and writes `caption` in white at 10, 10.
void DrawCaption(QImage& area, const QString& caption);

// The degree scale text along the panorama's bottom.
QString DegreeScaleText();

// The progress lines (y 10, 30, ... with their texts) for the panorama area.
struct OverlayLine {
  int32_t y;
  std::string text;
};
std::vector<OverlayLine> ProgressOverlayLines(const ProgressOverlay& progress);

}  // namespace corvinex
