#pragma once
// The batch tool's command line: input movies, the settings file, and one flag per
// option that overrides the settings file for this run.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/app_settings.h"

namespace corvinex {

struct BatchOptions {
  std::vector<std::filesystem::path> inputs;
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::filesystem::path> output;
  std::optional<std::filesystem::path> framesOnly;
  std::optional<std::filesystem::path> logo;  // wide JPEG strip for the spherical output
  bool printGeometry = false;
  bool stereoWanted = false;      // --stereo given
  bool pairWanted = false;        // --pair given
  bool sphericalMetadata = true;  // mark a logo's spherical output as 360-degree video
  bool help = false;
  // Applied in order after the settings file has been read.
  std::vector<std::function<void(AppSettings&, SessionOptions&)>> overrides;
};

struct ParsedBatchOptions {
  BatchOptions options;
  std::string error;  // empty when the command line is good
};

ParsedBatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// The --help text, made from the same table the parser reads.
std::string BatchHelpText();

}  // namespace corvinex
