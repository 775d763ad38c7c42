#pragma once
// The ranges of the image adjustment sliders, and the amounts the program starts
// with: each within its slider, so that what a slider shows is what is applied.

#include <cstdint>

#include "settings/app_settings.h"

namespace corvinex {

struct AdjustmentRange {
  int32_t AppSettings::*field;
  int32_t low;
  int32_t high;
  int32_t neutral;  // the Reset value; also what a saved 0 reads as (0: none)
};

inline constexpr AdjustmentRange kAdjustmentRanges[] = {
    {&AppSettings::SHARPEN, 0, 5, 1},        {&AppSettings::RADIUS, 0, 3, 0},
    {&AppSettings::BRIGHTNESS, 1, 255, 127}, {&AppSettings::CONTRAST, 20, 235, 127},
    {&AppSettings::NOISE, 1, 5, 1},          {&AppSettings::CPU, 50, 100, 100},
};

// The slider range of `field`.
const AdjustmentRange& RangeOf(int32_t AppSettings::*field);

// The amounts as a restart would give them (a 0 becomes the neutral value, as the
// settings file reads it), then moved into their sliders' ranges. The built-in 0s
// would otherwise darken the picture at the first tick while the slider sat at Min.
void FitAdjustmentsToSliders(AppSettings& settings);

}  // namespace corvinex
