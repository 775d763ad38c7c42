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

// The folder of the running executable (/proc/self/exe); the current directory
// when that cannot be read.
std::filesystem::path RunningProgramFolder();

}  // namespace corvinex
