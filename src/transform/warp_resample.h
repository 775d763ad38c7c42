#pragma once
// The general resampler: every destination pixel maps to a centred source
// position and takes a 4 x 4 cubic sample there; pixels whose window leaves the
// source keep their value.

#include <cstdint>

namespace corvinex {

// Bottom-up BGRX pixels with a stride of exactly `width`.
struct ConstPixels {
  const uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};
struct Pixels {
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

enum class WarpMode : int32_t { Polar = 1, HorizontalScale = 2, UniformScale = 4 };

// The polar unwrap's parameters and its coordinate cache (destination width x
// height entries in each of su and sv, in destination slot order).
struct PolarWarp {
  float k = 0;              // radians per destination column
  float c = 0;              // (H - 2) / 2
  float angleC = 0;         // the angle's column offset (c for the width as before)
  float radiusStep = 1.0f;  // source pixels per destination row
  int32_t turn = 0;         // destination column x takes the angle of column x + turn
  int32_t flipMode = 0;
  float* su = nullptr;
  float* sv = nullptr;
  // Scratch of destination-width entries for the per-column sine and cosine,
  // or null to compute them per pixel.
  float* angleSin = nullptr;
  float* angleCos = nullptr;
};

// Centre of `size` pixels counted from 0: the origin of the centred offsets.
inline float CentreOf(int32_t size) {
  return 0.5f * static_cast<float>(size) - 0.5f;
}

// The polar unwrap's angle of destination column x and radius of destination row y,
// for a width x height destination. The fast table uses the same expressions, so that
// it rounds the very positions this path samples.
// A turn takes whole columns from the same angles, so a turned panorama is the
// unturned one shifted, pixel for pixel.
inline float PolarAngle(const PolarWarp& polar, int32_t x, int32_t width) {
  const int32_t turned = x < width - polar.turn ? x + polar.turn : x + polar.turn - width;
  return ((static_cast<float>(turned) - CentreOf(width)) + polar.angleC) * polar.k;
}
inline float PolarRadius(const PolarWarp& polar, int32_t y, int32_t height) {
  return ((static_cast<float>(y) - CentreOf(height)) + polar.c) * polar.radiusStep;
}

// Modes 2 and 4 (`factor` scales the source step). Mode 1 needs PolarWarp and
// goes through the overload below. Returns false for an empty buffer or mode 1.
bool WarpResample(ConstPixels src, Pixels dst, WarpMode mode, float factor);
// The same, one pixel at a time: the reference the tests hold WarpResample to.
bool WarpResampleScalar(ConstPixels src, Pixels dst, WarpMode mode, float factor);

// The crop read straight from the frame it was cut from, to save copying it: crop
// buffer row r is frame buffer row r + rowShift, crop column i is frame column
// columnEnd - i, and crop buffer row blackRow, which the crop never fills from the
// frame, reads as black. Every crop pixel but that row must lie inside the frame,
// and so must frame row blackRow + rowShift.
struct MirroredSource {
  const uint32_t* frame = nullptr;
  int32_t frameWidth = 0;
  int32_t rowShift = 0;
  int32_t columnEnd = 0;
  int32_t blackRow = 0;
};

// Whether mirrored sampling is available for a destination part of `pixels` slots
// (it needs the vector kernel).
bool CanSampleMirrored(int64_t pixels);

// Mode 1: fills the cache first when `cacheValid` is false (and sets it), then
// samples every destination slot from its cached coordinates. Unlike the other
// modes it writes black where the window leaves the source: the panorama is
// sharpened and merged in place after the unwrap, and a pixel left alone would
// carry those changes into the next frame and compound them there.
// Only destination rows firstRow .. firstRow + rows - 1 are sampled (all by default);
// the cache always covers the whole destination. With `mirrored` (when
// CanSampleMirrored allows it), `src` gives only the crop's size and the pixels
// come from the frame, with the same results.
void WarpResample(ConstPixels src, Pixels dst, PolarWarp& polar, bool& cacheValid,
                  int32_t firstRow = 0, int32_t rows = -1,
                  const MirroredSource* mirrored = nullptr);

// The cache fill alone: (su, sv) of every destination pixel, stored at its
// flipped slot.
void FillPolarCache(int32_t width, int32_t height, PolarWarp& polar);

// Samples dst slot s at source offset (su[s], sv[s]) from the source centre.
// The dispatching version picks a vectorised kernel when the processor has one;
// the scalar version is the reference the tests hold it to.
enum class SkippedPixels { Keep, Clear };
void ResampleCached(ConstPixels src, Pixels dst, const float* su, const float* sv,
                    SkippedPixels skipped = SkippedPixels::Keep);
void ResampleCachedScalar(ConstPixels src, Pixels dst, const float* su, const float* sv,
                          SkippedPixels skipped = SkippedPixels::Keep);

}  // namespace corvinex
