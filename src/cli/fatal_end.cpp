#include "cli/fatal_end.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <system_error>

namespace corvinex {
namespace {

std::filesystem::path gFolder;
std::string gInput;

[[noreturn]] void EndRun() {
  std::string why = "the run broke off on an internal error";
  if (const std::exception_ptr thrown = std::current_exception()) {
    try {
      std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
      why = "not enough memory to convert this movie";
    } catch (const std::exception& e) {
      why = std::string("the run broke off: ") + e.what();
    } catch (...) {
    }
  }
  if (gInput.empty()) {
    std::fprintf(stderr, "corvinex-batch: %s\n", why.c_str());
  } else {
    std::fprintf(stderr, "corvinex-batch: %s: %s\n", gInput.c_str(), why.c_str());
  }
  try {
    std::error_code ignored;
    if (!gFolder.empty()) std::filesystem::remove_all(gFolder, ignored);
  } catch (...) {
    // Not even the removal fits: the folder stays for the next run's clean-up.
  }
  std::fflush(nullptr);
  std::_Exit(1);
}

}  // namespace

void InstallFatalEnd() {
  std::set_terminate(EndRun);
}

void SetFatalEndFolder(const std::filesystem::path& temp) {
  gFolder = temp;
}

void SetFatalEndInput(const std::filesystem::path& input) {
  gInput = input.string();
}

}  // namespace corvinex
