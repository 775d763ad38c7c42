#pragma once
// Doughnut photos for tests: the sample generator's panorama wrapped into its ring,
// written by the real ffmpeg, with EXIF set through Exiv2 as a camera would.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sample_encoder.h"
#include "transform/frame_image.h"

namespace corvinex::test {

// The sample panorama wrapped into `ring` in a width x height picture.
FrameImage MakeDoughnutPicture(int32_t width, int32_t height,
                               const RingGeometry& ring = sample::kSampleRing);

// Writes `picture` with the real ffmpeg (the type from the extension), through the
// filters `filters` when given ("transpose=1"), in `pixelFormat` when given. Throws
// std::runtime_error when ffmpeg fails.
void WritePictureFile(const FrameImage& picture, const std::filesystem::path& file,
                      const std::string& filters = "", const std::string& pixelFormat = "");

// Reads a picture file back with the real ffmpeg, as stored (no turning); throws when
// it cannot.
FrameImage ReadPictureFile(const std::filesystem::path& file);

// Sets EXIF tags ("Exif.Image.Make" -> "Vistrel") in `file` with Exiv2; the value
// text is read as the tag's own type.
void SetExif(const std::filesystem::path& file, const std::map<std::string, std::string>& tags);

// Runs a tool (ffmpeg, ffprobe) within two minutes; its standard output, which also
// goes to `outFile`. Throws std::runtime_error with its messages when it fails.
std::string RunTool(const std::vector<std::string>& argv, const std::filesystem::path& outFile);

// The EXIF and XMP tags of `file` as text ("Exif.Image.Make" -> "Vistrel").
std::map<std::string, std::string> ReadMetadata(const std::filesystem::path& file);

// Pixels whose blue, green or red differ by more than `tolerance` (the fourth byte is
// not compared); the count of all pixels when the sizes differ.
size_t PixelsApart(const FrameImage& a, const FrameImage& b, int tolerance = 0);

}  // namespace corvinex::test
