#pragma once
// The start-up steps that need no window: paths, log, options, temporary folder.

#include <chrono>
#include <filesystem>

#include "app/program_state.h"
#include "settings/settings_file.h"

namespace corvinex {

struct StartupInputs {
  std::filesystem::path currentDirectory;
  std::chrono::system_clock::time_point now;
  bool shortenedForm = false;
};

// Creates the default temporary folder when missing, starts a new log with its
// header, sets the defaults, overlays the settings file when it exists, falls back
// to the default temporary folder when the saved one is blank, fits the adjustment
// amounts to their sliders, empties the
// temporary folder and logs the four "Temp ..." lines.
SettingsReadResult RunStartup(ProgramState& state, const StartupInputs& inputs);

}  // namespace corvinex
