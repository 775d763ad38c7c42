#pragma once
// Whether a JPEG file holds its whole picture. The image reader decodes a file cut short
// without an error: it only warns and fills the missing rows with grey.

#include <string_view>

namespace corvinex {

// True when the markers, walked from the start, reach the end-of-image marker (FF D9)
// after the picture's scans; bytes after it do not matter. False for a file cut short
// or one that is no JPEG.
bool JpegIsWhole(std::string_view bytes);

}  // namespace corvinex
