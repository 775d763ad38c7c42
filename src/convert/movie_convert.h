#pragma once
// Whole movies re-encoded into another container by the encoder tool, with no
// unwrap: "Convert Movie to AVI", and the readable copy of a movie the frame
// source cannot play.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "convert/conversion_ui.h"

namespace corvinex {

struct MovieConvertJob {
  std::filesystem::path tool;
  std::string input;   // conversion input path
  std::string output;  // conversion output path
};

// Runs the movie-conversion command to its end under the "Movie Conversion"
// progress dialog. Leaves StreamState at 1. The result says whether the tool ran
// cleanly and wrote a non-empty output file.
struct MovieConvertResult {
  ExportResult encoder;
  bool outputWritten = false;
};
MovieConvertResult MovieConvert(const MovieConvertJob& job, ConversionUi& ui,
                                std::atomic<int32_t>& StreamState);

// temporary folder / (name of `path` without folder and extension + ".avi").
std::filesystem::path TempAviPath(const std::filesystem::path& tempFolder, const std::string& path);

// Converts `path` into its temporary AVI copy (replacing an older one) and returns
// the copy's path, which becomes the current input movie.
std::string TranscodeToTempAvi(const std::string& path, const std::filesystem::path& tempFolder,
                               const std::filesystem::path& tool, ConversionUi& ui,
                               std::atomic<int32_t>& StreamState);

}  // namespace corvinex
