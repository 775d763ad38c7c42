#pragma once
// The row kernels of our BGRX-to-4:2:0 conversion, each the encoder tool's scaler's
// arithmetic to the bit on x86: luma per pixel; chroma from each pair of pixels, kept
// as the scaler's 15-bit intermediate; and the vertical halving of those rows, with
// the high-half multiplies of the scaler's vector code (its last row is made with the
// exact 32-bit sums of its plain C code, as the scaler does there). A vector version
// runs where the processor has AVX2; the plain one gives the same bytes.

#include <cstdint>

namespace corvinex {

// `width` BGRX pixels to their luma.
void LumaRow(const uint8_t* bgrx, int32_t width, uint8_t* luma);
// `pairs` pairs of BGRX pixels to the U and V intermediates of their average.
void ChromaPairRow(const uint8_t* bgrx, int32_t pairs, int16_t* u, int16_t* v);
// One output chroma row: `size` intermediate rows weighted by `taps`.
void HalveChromaRow(const int16_t* const* rows, const int16_t* taps, int32_t size, int32_t count,
                    bool lastRow, uint8_t* out);

namespace plain {
void LumaRow(const uint8_t* bgrx, int32_t width, uint8_t* luma);
void ChromaPairRow(const uint8_t* bgrx, int32_t pairs, int16_t* u, int16_t* v);
void HalveChromaRow(const int16_t* const* rows, const int16_t* taps, int32_t size, int32_t count,
                    bool lastRow, uint8_t* out);
}  // namespace plain

}  // namespace corvinex
