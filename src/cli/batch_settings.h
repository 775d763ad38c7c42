#pragma once
// The settings a batch run starts from: the file given with --settings, else the
// program's own file, else the built-in defaults.

#include <filesystem>
#include <optional>
#include <string>

#include "settings/app_settings.h"

namespace corvinex {

struct BatchSettingsLoad {
  std::string error;    // the run cannot start (a file given that cannot be read)
  std::string warning;  // a file passed over, and what is used instead
};

// Overlays the chosen file onto `settings`, which hold the defaults on entry. A file that
// is no settings file (binary, or not one value in it) is passed over with a warning:
// a given one for the program's own file, the program's own one for the defaults.
BatchSettingsLoad LoadBatchSettings(const std::optional<std::filesystem::path>& given,
                                    const std::filesystem::path& own, AppSettings& settings);

}  // namespace corvinex
