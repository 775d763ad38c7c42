#pragma once
// Reads numbers the way the settings file and the probe texts were always read:
// the leading decimal number of a text, blanks before it ignored, 0 when none.

#include <cstdint>
#include <string_view>

namespace corvinex {

// "  12.5abc" -> 12.5, "-8" -> -8, "x" -> 0, "1e3" -> 1000.
double LeadingNumber(std::string_view text);

// Nearest integer with halves to even, saturated to the 32-bit range so that a
// huge value in a hand-edited file cannot overflow.
int32_t RoundToInt32(double value);

}  // namespace corvinex
