#pragma once
// Unwraps one photo: the picture is a one-frame source for the same per-frame
// pipeline and output assembly as a movie's frames, and its sink writes a picture file
// (with the camera's EXIF and the panorama XMP) instead of feeding an encoder. The
// file is written under a temporary name beside its own, read back and checked, and
// only then moved onto its name.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "transform/frame_image.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

class DiagnosticLog;

struct PhotoJob {
  std::filesystem::path input;   // where the EXIF comes from
  std::filesystem::path output;  // .jpg/.jpeg, .png or .tif/.tiff
  int32_t jpegQuality = 92;
  // An output of that name is replaced; without it the name taken gives the next free
  // NAME_2, NAME_3 ... name.
  bool overwrite = false;
  FrameImage* logoCanvas = nullptr;  // W x E canvas under the panorama (written into), or none
};

struct PhotoOutcome {
  std::string error;               // why no photo was written; empty when one was
  std::filesystem::path output;    // the name it got
  int32_t width = 0, height = 0;   // the picture written
  bool panoramaMarked = false;     // GPano tags written
  std::vector<std::string> notes;  // things the user should know (damaged EXIF, ...)
  UnwrapGeometry geometry;
  bool ok() const { return error.empty(); }
};

// Unwraps the upright picture `photo` (bottom-up BGRX) with the Cut Area and image
// settings of `settings` and `session` and writes it as `job` says. The picture is
// taken (the adjustments work in it): move it in, or pass a copy to keep it.
PhotoOutcome ConvertPhoto(const PhotoJob& job, FrameImage photo, const AppSettings& settings,
                          const SessionOptions& session, DiagnosticLog& log);

}  // namespace corvinex
