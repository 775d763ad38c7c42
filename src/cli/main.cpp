// corvinex-batch: converts doughnut movies into panorama movies without a window.

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "cli/batch_options.h"
#include "cli/batch_run.h"
#include "cli/fatal_end.h"

namespace {

int Run(int argc, char** argv) {
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

}  // namespace

int main(int argc, char** argv) {
  // An exception that left the run unwinds it here, so its temporary folder is removed,
  // and ends it with a message rather than an abort.
  corvinex::InstallFatalEnd();  // for an exception that escapes a worker thread
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("corvinex-batch: not enough memory to run\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvinex-batch: the run broke off: %s\n", e.what());
  }
  return 1;
}
