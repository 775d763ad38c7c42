#pragma once
// Converts movies without a window, one after another, with the options of the
// settings file and the command line.

#include <cstdio>
#include <filesystem>

#include "cli/batch_options.h"

namespace corvinex {

struct BatchEnvironment {
  std::filesystem::path programFolder;
  std::FILE* out = stdout;  // geometry and summary
  std::FILE* err = stderr;  // messages and the progress bar
  bool drawBar = false;
};

// The exit status: 0 all converted, 1 a movie failed, 2 a bad command line.
int RunBatch(const BatchOptions& options, const BatchEnvironment& env);

}  // namespace corvinex
