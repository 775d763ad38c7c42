#pragma once
// The working paths fixed at start-up, all derived from the program folder.

#include <filesystem>

namespace corvinex {

struct ProgramPaths {
  std::filesystem::path programFolder;  // the folder of the executable
  std::filesystem::path settingsFile;   // programFolder / "tlvpub.ini"
  std::filesystem::path logFile;        // programFolder / "TLVPUB.log"
  std::filesystem::path defaultTemp;    // programFolder / "TEMP"
  std::filesystem::path pluginFolder;   // programFolder / "PLUG-IN"
};

ProgramPaths PathsForFolder(const std::filesystem::path& programFolder);

// The per-user folder for the files an installed, read-only program folder cannot
// hold: $XDG_DATA_HOME/corvinex when that is an absolute path, else
// $HOME/.local/share/corvinex; empty when neither is known.
std::filesystem::path UserDataFolder(const char* xdgDataHome, const char* home);

// True when a file can be created in `folder`. Tried, not read from the mode bits,
// so read-only mounts and other users' folders answer truly.
bool FolderIsWritable(const std::filesystem::path& folder);

// True for a folder below /usr, where the package manager installs: the FHS keeps /usr
// read-only (it may be mounted so) and a package's folder must hold only the package's
// files, or removing the package leaves the folder behind. So even root, who could write
// there, keeps the user's files elsewhere.
bool IsSystemFolder(const std::filesystem::path& folder);

// The paths of the program in `programFolder`: all beside the program when that
// folder is writable and not a system folder, as the program has always kept them. An installed
// folder the user cannot write would lose the saved settings and the log, and leave no room for
// TEMP: then those three go to the user data folder (created), unless that cannot be written
// either. PLUG-IN and the manual stay beside the program.
ProgramPaths PathsForProgram(const std::filesystem::path& programFolder, const char* xdgDataHome,
                             const char* home);

// True when the paths keep the user's files outside the program folder.
bool KeepsDataElsewhere(const ProgramPaths& paths);

// The folder of the running executable (/proc/self/exe); the current directory
// when that cannot be read.
std::filesystem::path RunningProgramFolder();

}  // namespace corvinex
