#pragma once
// Red-cyan anaglyph ("3ZU Reduze Vezoro") and the vertical stereo pair: a second
// view (previous frame or the frame itself), colour-dependent displacement of both
// views, and the merge into one anaglyph.

#include <cstdint>

#include "transform/frame_image.h"

namespace corvinex {

struct AppSettings;
struct SessionOptions;
struct UnwrapBuffers;

enum class StereoType : int32_t { Dynamic = 0, Static = 1 };

struct StereoOptions {
  bool on = false;  // 3DP stereo
  StereoType type = StereoType::Dynamic;
  bool depthOn = false;
  int32_t depth = 30;   // 20..90; lower is stronger
  int32_t glasses = 6;  // -10..10; red taken 2 x glasses pixels further on
  bool pairOn = false;  // STEREO_OUT_TYPE 8: both views stacked, no merge
};

StereoOptions StereoOptionsFrom(const AppSettings& settings, const SessionOptions& session);

// Pixels left untouched at each end of the buffer by the depth displacement: the
// largest shift, round(255 / 20).
constexpr int32_t kDepthMargin = 13;
// The merge leaves the first pixels of P1 unchanged.
constexpr int32_t kMergeStart = 24;

// Works on the first W x H pixels of P1 and P2 of `buffers`, reading `previous` (dynamic
// type) and using stereoA and stereoB as copies; all must hold W x (H + 1) pixels.
// Afterwards P1 holds the anaglyph (or the first view of a pair) and P2 the second view.
// Returns false, changing nothing, when the buffers are too small.
bool RenderStereo(int32_t W, int32_t H, UnwrapBuffers& buffers, const StereoOptions& options);

}  // namespace corvinex
