#pragma once
// The read-back check of a picture file just written: it must decode whole, at the
// size written, to the pixels written (every one for the lossless types; for a JPEG,
// within the coder's loss band by band, so that a damaged stretch of the picture is
// not averaged away by the rest).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "media/photo_write.h"
#include "transform/frame_image.h"

namespace corvinex {

// The largest band difference (below) that a JPEG written at `jpegQuality` (1..100)
// may show against its source: above what the coder loses even of noise, far below
// what a damaged or misplaced stretch of picture gives.
double JpegLossBound(int32_t jpegQuality);

// The largest, over horizontal bands of about 1/16 of the height, of the mean absolute
// difference of the 16 x 16 blocks' mean luma (in levels) between `decoded` and
// `written` (bottom-up BGRX, the decoded picture's size). A JPEG keeps those means;
// 255 when `written` is too short.
double WorstBandDifference(const FrameImage& decoded, std::span<const uint8_t> written);

// Empty when `file`, of `type`, reads back as `written` (bottom-up BGRX, width x
// height) within the bounds above; else why not, for the user.
std::string CheckPhotoReadsBack(const std::filesystem::path& file, PhotoType type,
                                std::span<const uint8_t> written, int32_t width, int32_t height,
                                int32_t jpegQuality);

}  // namespace corvinex
