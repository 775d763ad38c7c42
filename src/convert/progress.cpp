#include "convert/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace corvinex {

double MonotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string TimeText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t hours = seconds / 3600;
  const int64_t minutes = (seconds - 3600 * hours) / 60;
  const int64_t rest = seconds - 3600 * hours - 60 * minutes;
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                static_cast<long long>(minutes), static_cast<long long>(rest));
  return text;
}

void ProgressStart(ProgressState& p, double now) {
  p.batchCounter = 0;
  p.estimateText = "00.00.00";
  p.passedText = "00.00.00";
  p.label = {"     RECORD", kRgbGrey, kRgbRed};
  p.batchStart = now;
  p.runStart = now;
  p.blink = 0;
}

void ProgressFrame(ProgressState& p, double now, bool countFrame) {
  if (++p.batchCounter > 29) {
    const double estimate = std::nearbyint(0.0333 * (now - p.batchStart) * p.frameCount);
    p.estimateText = TimeText(static_cast<int64_t>(estimate)).substr(0, 8);
    p.passedText = TimeText(static_cast<int64_t>(std::nearbyint(now - p.runStart)));
    p.batchCounter = 0;
    p.batchStart = now;
  }
  if (countFrame) p.framesDone.fetch_add(1);
}

void ProgressTick(ProgressState& p, int32_t labelNumber, int32_t barNumber) {
  p.blink ^= 1;
  p.label.text = "     RECORD";
  if (p.blink == 0) {
    p.label.textRgb = kRgbWhite;
    p.label.backRgb = kRgbRed;
  } else {
    p.label.textRgb = kRgbRed;
    p.label.backRgb = kRgbGrey;
  }
  p.frameLabel = std::to_string(labelNumber);
  if (p.frameCount > 0) {
    const double width = std::nearbyint(598.0 * barNumber / p.frameCount);
    p.barWidth = static_cast<int32_t>(std::clamp(width, 0.0, 598.0));
  }
}

void ProgressComplete(ProgressState& p, int32_t framesDone) {
  p.frameLabel = std::to_string(framesDone);
  p.barWidth = 598;
}

void ProgressEnd(ProgressState& p) {
  p.label = OperationLabel{};
}

std::vector<OverlayLine> ProgressOverlayLines(const ProgressState& p, const OverlayInfo& info) {
  std::vector<OverlayLine> lines;
  lines.push_back({10, 10, " Estimated processing time = " + p.estimateText + " "});
  lines.push_back({10, 30, " Time passed = " + p.passedText + " "});
  lines.push_back({10, 50, " Lens uses = " + info.lensName});
  lines.push_back({10, 70, " Resize Mode = " + std::to_string(100 - 10 * info.resizeStep) + "% "});
  int32_t y = 90;
  if (info.transformMode == 0) {
    lines.push_back({10, y, " Transform mode = Auto (Fast) "});
    y += 20;
  } else if (info.transformMode == 2) {
    lines.push_back({10, y, " Transform mode = FFMpeg Internal "});
    y += 20;
  }
  if (info.stereoOn) {
    lines.push_back(
        {10, y,
         info.stereoType == 1 ? " 3DP Stereo Mode = Static " : " 3DP Stereo Mode = Dynamic "});
  }
  return lines;
}

}  // namespace corvinex
