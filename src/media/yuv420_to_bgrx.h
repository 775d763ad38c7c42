#pragma once
// 4:2:0 pictures to BGRX rows, exactly as the decoder's scaler converts them on x86
// with its direct 4:2:0 converter (16-bit high-half multiplies of the 8-times-scaled
// samples, saturating sums, the fourth byte 255): the same coefficients, built the way
// it builds them, and the same operations, done on sixteen pixels at a time where the
// processor has AVX2. The scaler's own converter does eight; this is twice as fast.

#include <cstdint>

namespace corvinex {

struct Yuv420Coefficients {
  int16_t y = 0, yOffset = 0, ub = 0, ug = 0, vg = 0, vr = 0;
};

// For the scaler's colour space (SWS_CS_*) and range, with neutral brightness,
// contrast and saturation.
Yuv420Coefficients Yuv420CoefficientsFor(int colourSpace, bool fullRange);

// One row of `width` pixels (even) from its luma row and the chroma rows it shares.
void Yuv420RowToBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t width,
                     const Yuv420Coefficients& k, uint8_t* bgrx);

namespace plain {
void Yuv420RowToBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t width,
                     const Yuv420Coefficients& k, uint8_t* bgrx);
}  // namespace plain

}  // namespace corvinex
