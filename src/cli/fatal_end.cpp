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
  const std::string why = WhyBrokenOff(std::current_exception());
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

std::string WhyBrokenOff(const std::exception_ptr& thrown) {
  constexpr const char* kMemory = "not enough memory to convert this movie";
  if (!thrown) return "the conversion broke off on an internal error";
  try {
    std::rethrow_exception(thrown);
  } catch (const std::bad_alloc&) {
    return kMemory;
  } catch (const std::system_error& e) {
    if (e.code() == std::errc::resource_unavailable_try_again ||
        e.code() == std::errc::not_enough_memory) {
      return kMemory;
    }
    return std::string("the conversion broke off: ") + e.what();
  } catch (const std::exception& e) {
    return std::string("the conversion broke off: ") + e.what();
  } catch (...) {
  }
  return "the conversion broke off on an internal error";
}

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
