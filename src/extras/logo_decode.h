#pragma once
// Decoding a logo picture file (JPEG and the other formats the image reader knows).
// Needs Qt Gui only, so the batch tool can load a logo without a window.

#include <filesystem>

#include "transform/frame_image.h"
#include "transform/logo_frame.h"

namespace corvinex {

// Decodes the file into bottom-up BGRX pixels of its own size. Returns false, with
// `out` emptied, when the file cannot be read or does not decode whole (a JPEG cut short).
bool DecodeLogoFile(const std::filesystem::path& file, FrameImage& out);

// Clears the logo, then decodes the file and applies the format test. A file that does
// not decode counts as a bad logo: false and no logo, never the previous logo's sizes.
bool LoadLogo(const std::filesystem::path& file, LogoState& logo);

}  // namespace corvinex
