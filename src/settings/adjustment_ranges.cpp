#include "settings/adjustment_ranges.h"

#include <algorithm>

namespace corvinex {

const AdjustmentRange& RangeOf(int32_t AppSettings::*field) {
  for (const AdjustmentRange& range : kAdjustmentRanges) {
    if (range.field == field) return range;
  }
  return kAdjustmentRanges[0];
}

void FitAdjustmentsToSliders(AppSettings& settings) {
  for (const AdjustmentRange& range : kAdjustmentRanges) {
    int32_t& value = settings.*range.field;
    if (value == 0 && range.neutral != 0) value = range.neutral;
    value = std::clamp(value, range.low, range.high);
  }
}

}  // namespace corvinex
