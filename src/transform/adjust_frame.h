#pragma once
// Adjustments of the doughnut frame before the unwrap: the processor-usage pause,
// the averaging noise filter, brightness and contrast.

#include <cstdint>
#include <functional>

#include "transform/frame_image.h"

namespace corvinex {

struct AppSettings;

// The adjustment values for one frame, already brought into the ranges the pixel
// kernels can take (a settings file may hold anything).
struct AdjustOptions {
  bool cpuLimitOn = false;
  int32_t cpuUsage = 100;  // percent, 0..100
  bool noiseOn = false;
  int32_t noisePasses = 1;  // 0..5
  bool brightnessOn = false;
  int32_t brightness = 127;  // 0..255, 127 neutral
  bool contrastOn = false;
  int32_t contrast = 127;  // 0..255, 127 neutral
};

AdjustOptions AdjustOptionsFrom(const AppSettings& settings);

// Length of one processor-usage pause: 10 x (100 - CPU usage) ms when the limit is on.
int32_t CpuPauseMilliseconds(const AdjustOptions& options);
void CpuPause(const AdjustOptions& options);

// Called after the adjustments with the adjusted frame (doughnut preview and progress
// drawing); may be empty.
using AdjustedFrameHook = std::function<void(const FrameImage&)>;

// CPU pause, noise passes, brightness and contrast, in that order, in place; then the hook.
void AdjustFrame(FrameImage& frame, const AdjustOptions& options,
                 const AdjustedFrameHook& afterAdjust = {});

}  // namespace corvinex
