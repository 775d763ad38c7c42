#pragma once
// The batch tool's command line: input movies, the settings file, and one flag per
// option that overrides the settings file for this run.

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/app_settings.h"

namespace corvinex {

// How the run shows its progress on standard error.
enum class ProgressMode {
  Auto,  // a bar when standard error is a terminal, else nothing
  Bar,
  Json,  // one JSON object per line, for scripts and programs that drive the tool
  None,
};

struct BatchOptions {
  std::vector<std::filesystem::path> inputs;
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::filesystem::path> output;
  std::optional<std::filesystem::path> framesOnly;
  std::optional<std::filesystem::path> logo;  // wide JPEG strip for the spherical output
  bool printGeometry = false;
  bool findRing = false;  // --find-ring: print the ring found in each movie and exit
  bool cutAuto = false;   // --cut auto: find each movie's ring, then convert
  bool cutGiven = false;  // --cut with five numbers
  // --ring CX,CY,R,r: the ring in the movie's pixels, turned into the Cut Area once
  // the movie's size is known.
  std::optional<std::array<double, 4>> ringPixels;
  bool stereoWanted = false;                       // --stereo given
  bool pairWanted = false;                         // --pair given
  bool bitRateWanted = false;                      // --bitrate given with a rate
  std::optional<std::filesystem::path> logFolder;  // where this run's log goes

  // The 2:1 frame's flags, checked together once all are read.
  bool equirectWanted = false;  // --projection equirect (the last --projection given)
  bool frameTuned = false;      // --fill or --horizon given
  bool fillWanted = false;      // --fill given

  bool sphericalMetadata = true;  // mark a logo's spherical output as 360-degree video
  bool overwrite = false;         // an existing output may be replaced
  bool spool = false;             // frames to files first, then the export (the window's way)
  ProgressMode progress = ProgressMode::Auto;
  int32_t jpegQuality = 92;  // --jpeg-quality: JPEG photo outputs, 1 .. 100
  // Applied in order after the settings file has been read.
  std::vector<std::function<void(AppSettings&, SessionOptions&)>> overrides;
};

struct ParsedBatchOptions {
  BatchOptions options;
  std::string error;  // empty when the command line is good
  std::string text;   // the --help or --version text: print it and stop
};

ParsedBatchOptions ParseBatchOptions(const std::vector<std::string>& args);

}  // namespace corvinex
