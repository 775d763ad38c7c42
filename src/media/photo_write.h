#pragma once
// Writes one picture as a JPEG, PNG or TIFF file with the FFmpeg libraries' own
// encoders: no encoder process is needed for a single picture.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace corvinex {

enum class PhotoType { Jpeg, Png, Tiff, None };

// By the name's extension (any letter case): .jpg/.jpeg, .png, .tif/.tiff; None else.
PhotoType PhotoTypeOf(const std::filesystem::path& path);

inline constexpr int32_t kDefaultJpegQuality = 92;

// Writes `pixels` (bottom-up BGRX rows, width x height) to `path` as `type`; a JPEG
// at `jpegQuality` (1 worst .. 100 best). The file is flushed to the disk before this
// returns. Empty when written, else why not (the file may then hold a part).
std::string WritePhoto(const std::filesystem::path& path, PhotoType type,
                       std::span<const uint8_t> pixels, int32_t width, int32_t height,
                       int32_t jpegQuality);

}  // namespace corvinex
