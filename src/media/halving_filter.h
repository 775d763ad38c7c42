#pragma once
// The vertical filter the encoder tool's scaler uses to halve the chroma rows of a
// picture it turns into 4:2:0: bicubic (B = 0, C = 0.6), chroma sited at the centre,
// taps rounded to 12 bits that sum to 4096, paired for its vector code and folded in
// at the picture's top and bottom. Built the way the scaler builds it, integer for
// integer, so that our 4:2:0 frames are the scaler's to the last bit.

#include <cstdint>
#include <vector>

namespace corvinex {

struct HalvingFilter {
  int32_t size = 0;            // taps per output row
  std::vector<int32_t> first;  // the first source row of each output row
  std::vector<int16_t> taps;   // size taps per output row
};

// The filter from `rows` source rows (even, at least 2) to rows / 2.
HalvingFilter BuildHalvingFilter(int32_t rows);

}  // namespace corvinex
