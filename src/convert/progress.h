#pragma once
// The progress of a conversion: counters, the time estimate every 30 frames, the
// operation label's blinking and the texts printed over the panorama preview.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvinex {

// Seconds on a monotonic clock; tests inject their own.
using ProgressClock = std::function<double()>;
double MonotonicSeconds();

inline constexpr uint32_t kRgbRed = 0xFF0000;
inline constexpr uint32_t kRgbGrey = 0x808080;
inline constexpr uint32_t kRgbWhite = 0xFFFFFF;
inline constexpr uint32_t kRgbIdleGrey = 0x888888;

struct OperationLabel {
  std::string text = " Operation:";
  uint32_t textRgb = kRgbWhite;
  uint32_t backRgb = kRgbIdleGrey;
  bool operator==(const OperationLabel&) const = default;
};

struct ProgressState {
  std::atomic<int32_t> framesDone{0};  // graph route: the next frame's spool number
  int32_t batchCounter = 0;
  double batchStart = 0;
  double runStart = 0;
  int32_t frameCount = 0;  // of the movie
  std::string estimateText = "00.00.00";
  std::string passedText = "00.00.00";
  int32_t blink = 0;
  OperationLabel label;
  std::string frameLabel;  // control 307
  int32_t barWidth = 0;    // position bar, 0..598
};

// hh:mm:ss, each at least two digits.
std::string TimeText(int64_t seconds);

void ProgressStart(ProgressState& p, double now);
// One processed frame; `countFrame` adds it to framesDone (the graph route).
void ProgressFrame(ProgressState& p, double now, bool countFrame);
void ProgressTick(ProgressState& p, int32_t labelNumber, int32_t barNumber);
void ProgressEnd(ProgressState& p);
// The last tick of a run that went through the whole movie: the counter shows the
// frames done and the bar is full, whatever the count the movie stated beforehand.
void ProgressComplete(ProgressState& p, int32_t framesDone);

struct OverlayInfo {
  std::string lensName;
  int32_t resizeStep = 0;     // 0..5
  int32_t transformMode = 0;  // 0 automatic, 2 decoder route
  bool stereoOn = false;
  int32_t stereoType = 0;  // 0 dynamic, 1 static
};

struct OverlayLine {
  int32_t x = 10;
  int32_t y = 0;
  std::string text;
};

// The lines printed over the panorama while a conversion runs, top to bottom.
// The stereo line goes below the transform line so both stay readable.
std::vector<OverlayLine> ProgressOverlayLines(const ProgressState& p, const OverlayInfo& info);

}  // namespace corvinex
