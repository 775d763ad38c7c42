#include "app/startup.h"

#include <system_error>

#include "convert/free_space.h"
#include "convert/temp_files.h"
#include "settings/adjustment_ranges.h"

namespace corvinex {
namespace {

std::string TrimmedFolder(const std::string& folder) {
  const std::string_view blanks(" \0", 2);
  const size_t first = folder.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return folder.substr(first, folder.find_last_not_of(blanks) - first + 1);
}

}  // namespace

SettingsReadResult RunStartup(ProgramState& state, const StartupInputs& inputs) {
  std::error_code error;
  const std::string defaultTemp = state.paths.defaultTemp.string();
  if (!std::filesystem::is_directory(state.paths.defaultTemp, error)) {
    std::filesystem::create_directories(state.paths.defaultTemp, error);
  }

  state.log.StartNew(inputs.now);

  const std::string current = inputs.currentDirectory.string();
  state.lastLogoFolder = current;
  state.settings = AppSettings{};
  state.settings.APATH = defaultTemp;
  state.settings.OPATH = current;
  state.options = SessionOptions{};
  state.lensName = "Vistrel Lens ";
  state.elapsedText = "00.00.00";
  state.estimatedText = "00.00.00";
  state.shortenedForm = inputs.shortenedForm;

  SettingsReadResult read;
  if (std::filesystem::exists(state.paths.settingsFile, error)) {
    read = ReadSettings(state.paths.settingsFile, state.settings, state.options);
    if (read.stoppedEarly) {
      state.nominalFrameWidth = 400;
      state.nominalFrameHeight = 300;
    }
  }
  if (TrimmedFolder(state.settings.APATH).empty()) state.settings.APATH = defaultTemp;
  FitAdjustmentsToSliders(state.settings);

  CleanTemp(state.settings.APATH, CleanTempOptions{.keepAvi = false});

  state.log.LogLine("Temp file:");
  state.log.LogLine(state.settings.APATH);
  state.log.LogLine("Temp Folder Free Space:");
  state.log.LogLine(FreeSpaceTextFor(TrimmedFolder(state.settings.APATH)));
  return read;
}

}  // namespace corvinex
