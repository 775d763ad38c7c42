#include "app/program_paths.h"

#include <system_error>

#include "settings/settings_file.h"

namespace corvinex {

ProgramPaths PathsForFolder(const std::filesystem::path& programFolder) {
  ProgramPaths paths;
  // Trailing separators would give "folder//TEMP" in the log and the settings file.
  std::filesystem::path folder = programFolder.lexically_normal();
  if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path()) {
    folder = folder.parent_path();
  }
  paths.programFolder = folder;
  paths.settingsFile = folder / kSettingsFileName;
  paths.logFile = folder / "TLVPUB.log";
  paths.defaultTemp = folder / "TEMP";
  paths.pluginFolder = folder / "PLUG-IN";
  return paths;
}

std::filesystem::path RunningProgramFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || exe.empty()) return std::filesystem::current_path(error);
  return exe.parent_path();
}

}  // namespace corvinex
