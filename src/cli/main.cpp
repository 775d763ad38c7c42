// corvinex-batch: converts doughnut movies into panorama movies without a window.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "cli/batch_options.h"
#include "cli/batch_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const corvinex::ParsedBatchOptions parsed = corvinex::ParseBatchOptions(args);
  if (!parsed.text.empty()) {
    std::fputs(parsed.text.c_str(), stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "corvinex-batch: %s\n", parsed.error.c_str());
    return 2;
  }
  corvinex::BatchEnvironment env;
  env.programFolder = corvinex::RunningProgramFolder();
  env.drawBar = isatty(fileno(stderr)) != 0;
  return corvinex::RunBatch(parsed.options, env);
}
