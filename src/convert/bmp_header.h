#pragma once
// The 54-byte header of the temporary frame files: a 14-byte file header and a
// 40-byte info header for 32-bit bottom-up pixels without row padding.

#include <array>
#include <cstdint>

namespace corvinex {

using SpoolHeader = std::array<uint8_t, 54>;

SpoolHeader MakeSpoolHeader(int32_t width, int32_t height);

// Height of the spooled picture: the panorama with its correction rows, or the
// logo canvas when a logo is present (canvasHeight > 0); twice that for a stereo pair.
int32_t SpoolPictureHeight(int32_t outRows, int32_t corrRows, int32_t canvasHeight,
                           bool stereoPair);

// The logo canvas height for a panorama W wide: W / 2 in the decoder route, W / 2
// rounded down to an even number in the graph route.
int32_t LogoCanvasHeight(int32_t width, bool decoderRoute);

}  // namespace corvinex
