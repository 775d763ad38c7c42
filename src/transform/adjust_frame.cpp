#include "transform/adjust_frame.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "settings/app_settings.h"
#include "transform/brightness_contrast.h"
#include "transform/noise_filter.h"

namespace corvinex {

AdjustOptions AdjustOptionsFrom(const AppSettings& s) {
  AdjustOptions o;
  o.cpuLimitOn = s.CPU_CH != 0;
  // Below 0 % the pause would grow without bound, above 100 % it would be negative.
  o.cpuUsage = std::clamp(s.CPU, 0, 100);
  o.noiseOn = s.NOISE_CH != 0;
  // A settings file with a huge pass count would stall every frame for minutes.
  o.noisePasses = std::clamp(s.NOISE, 0, 5);
  o.brightnessOn = s.BRIGHTNESS_CH != 0;
  o.brightness = std::clamp(s.BRIGHTNESS, 0, 255);
  o.contrastOn = s.CONTRAST_CH != 0;
  o.contrast = std::clamp(s.CONTRAST, 0, 255);
  return o;
}

int32_t CpuPauseMilliseconds(const AdjustOptions& options) {
  if (!options.cpuLimitOn) return 0;
  return 10 * (100 - std::clamp(options.cpuUsage, 0, 100));
}

void CpuPause(const AdjustOptions& options) {
  const int32_t ms = CpuPauseMilliseconds(options);
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void AdjustFrame(FrameImage& frame, const AdjustOptions& options,
                 const AdjustedFrameHook& afterAdjust) {
  CpuPause(options);
  if (options.noiseOn) {
    const int32_t passes = std::clamp(options.noisePasses, 0, 5);
    for (int32_t pass = 0; pass < passes; ++pass) NoiseFilterPass(frame);
  }
  BrightnessContrast bc;
  bc.brightnessOn = options.brightnessOn;
  bc.offset = std::clamp(options.brightness, 0, 255) - 127;
  bc.contrastOn = options.contrastOn;
  bc.factor = std::clamp(options.contrast, 0, 255) + 1;
  ApplyBrightnessContrast(frame, bc);
  if (afterAdjust) afterAdjust(frame);
}

}  // namespace corvinex
