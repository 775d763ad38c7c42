#pragma once
// Everything one run of the program holds between start-up and shutdown. Owned by
// main and passed by reference, so tests can build as many as they like.

#include <atomic>
#include <cstdint>
#include <string>

#include "app/program_paths.h"
#include "settings/app_settings.h"
#include "settings/diagnostic_log.h"

namespace corvinex {

struct ProgramState {
  explicit ProgramState(const ProgramPaths& programPaths)
      : paths(programPaths), log(programPaths.logFile) {}

  ProgramPaths paths;
  DiagnosticLog log;
  AppSettings settings;
  SessionOptions options;

  std::string lastLogoFolder;
  std::string lensName = "Vistrel Lens ";
  std::string elapsedText = "00.00.00";
  std::string estimatedText = "00.00.00";
  // Frame size assumed before a movie is open; a damaged settings file resets it.
  int32_t nominalFrameWidth = 0;
  int32_t nominalFrameHeight = 0;
  bool shortenedForm = false;

  // Signals to the loops that run on other threads.
  std::atomic<int32_t> StreamState{0};  // 0 none or close requested, 2 opening/closing, 1 streaming
  std::atomic<int32_t> stopFlag{0};
  std::atomic<int32_t> movieLoaded{0};
};

}  // namespace corvinex
