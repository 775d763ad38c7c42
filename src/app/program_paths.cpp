#include "app/program_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
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

std::filesystem::path UserDataFolder(const char* xdgDataHome, const char* home) {
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
    return std::filesystem::path(xdgDataHome) / "corvinex";
  }
  if (home != nullptr && home[0] == '/') {
    return std::filesystem::path(home) / ".local" / "share" / "corvinex";
  }
  return {};
}

bool FolderIsWritable(const std::filesystem::path& folder) {
  std::string probe = (folder / ".corvinex-write-test-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool IsSystemFolder(const std::filesystem::path& folder) {
  const std::filesystem::path normal = folder.lexically_normal();
  auto part = normal.begin();
  return normal.is_absolute() && ++part != normal.end() && *part == "usr";
}

ProgramPaths PathsForProgram(const std::filesystem::path& programFolder, const char* xdgDataHome,
                             const char* home) {
  ProgramPaths paths = PathsForFolder(programFolder);
  if (!IsSystemFolder(paths.programFolder) && FolderIsWritable(paths.programFolder)) return paths;
  const std::filesystem::path data = UserDataFolder(xdgDataHome, home);
  if (data.empty()) return paths;
  std::error_code error;
  std::filesystem::create_directories(data, error);
  if (!FolderIsWritable(data)) return paths;
  const ProgramPaths user = PathsForFolder(data);
  paths.settingsFile = user.settingsFile;
  paths.logFile = user.logFile;
  paths.defaultTemp = user.defaultTemp;
  return paths;
}

bool KeepsDataElsewhere(const ProgramPaths& paths) {
  return paths.settingsFile.parent_path() != paths.programFolder;
}

std::filesystem::path RunningProgramFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || exe.empty()) return std::filesystem::current_path(error);
  return exe.parent_path();
}

}  // namespace corvinex
