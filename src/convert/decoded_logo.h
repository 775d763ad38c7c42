#pragma once
// A logo picture decoded by the PLUG-IN folder's logo_decoder, in a process of its
// own: the batch tool links no picture library, and a decoder that breaks on a bad
// file takes only that process down. The decoded form is the width and height (32-bit
// little-endian each), then the bottom-up BGRX pixels.

#include <filesystem>
#include <ostream>
#include <string>

#include "transform/frame_image.h"
#include "transform/logo_frame.h"

namespace corvinex {

std::filesystem::path LogoDecoderPath(const std::filesystem::path& programFolder);

bool WriteDecodedLogo(std::ostream& out, const FrameImage& logo);
// False, with `logo` emptied, unless `bytes` hold a whole picture of a sane size.
bool ReadDecodedLogo(const std::string& bytes, FrameImage& logo);

enum class LogoLoad { Loaded, BadPicture, DecoderFailed };

// Clears the logo, runs `decoder` on `picture` (its result passes through a file in a
// folder of its own, removed afterwards) and applies the logo's format test, as
// LoadLogo does in the window program. A picture that does not decode or fails the
// test is a bad logo; a decoder that cannot run or breaks is told apart, with `why`.
LogoLoad LoadLogoWithDecoder(const std::filesystem::path& decoder,
                             const std::filesystem::path& picture, LogoState& logo,
                             std::string& why);

}  // namespace corvinex
