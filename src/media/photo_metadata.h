#pragma once
// A photo's metadata through Exiv2: the camera's EXIF carried from the input photo to
// its unwrapped output, and the XMP panorama tags that photo viewers read to show the
// output as a 360-degree panorama.

#include <cstdint>
#include <filesystem>
#include <string>

namespace corvinex {

// The EXIF orientation of `path` (1..8); 1 when there is none or it cannot be read,
// which `warning` then tells (empty when the metadata read cleanly).
int32_t ReadPhotoOrientation(const std::filesystem::path& path, std::string& warning);

// Where the picture sits in the full sphere it was taken from. A 2:1 picture is the
// whole equirectangular panorama; a lower strip is the band of it around the horizon,
// centred in a full panorama as wide as the strip and half as high.
struct PanoramaMarks {
  bool mark = false;
  int32_t fullWidth = 0, fullHeight = 0;
  int32_t croppedWidth = 0, croppedHeight = 0;
  int32_t croppedLeft = 0, croppedTop = 0;
  bool operator==(const PanoramaMarks&) const = default;
};

// The marks for a panorama view of width x height; none for an empty view or one
// higher than half its width, which is not a band of an equirectangular panorama.
PanoramaMarks PanoramaMarksFor(int32_t width, int32_t height);

struct MetadataWrite {
  std::string error;    // the file could not be given its metadata
  std::string warning;  // the input's EXIF was damaged: what could be read was kept
};

// Writes into the finished picture `target` (JPEG, PNG or TIFF) the EXIF of `source`
// (camera, lens, dates, GPS, exposure and the rest of the main EXIF groups, without
// maker notes, thumbnail or the stored picture's layout), with the orientation set to
// 1 and the pixel sizes set to `width` x `height`, and the panorama marks as GPano XMP.
MetadataWrite WritePhotoMetadata(const std::filesystem::path& source,
                                 const std::filesystem::path& target, int32_t width, int32_t height,
                                 const PanoramaMarks& marks);

// Reads `target`'s metadata back: empty when it holds the orientation, sizes and marks
// written, else what is missing.
std::string CheckPhotoMetadata(const std::filesystem::path& target, int32_t width, int32_t height,
                               const PanoramaMarks& marks);

}  // namespace corvinex
