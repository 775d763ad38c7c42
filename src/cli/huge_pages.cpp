#include "cli/huge_pages.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace corvinex {

namespace {

constexpr std::string_view kHugePages = "glibc.malloc.hugetlb";

}  // namespace

std::string TunablesWithHugePages(std::string_view tunables) {
  // An entry the user set, even to 0, is the user's choice.
  size_t at = 0;
  while (at <= tunables.size()) {
    const size_t end = std::min(tunables.find(':', at), tunables.size());
    const std::string_view entry = tunables.substr(at, end - at);
    if (entry.substr(0, entry.find('=')) == kHugePages) return std::string(tunables);
    at = end + 1;
  }
  std::string value(tunables);
  if (!value.empty()) value += ':';
  return value + std::string(kHugePages) + "=1";
}

void RestartWithHugePages(char** argv) {
  const char* present = std::getenv("GLIBC_TUNABLES");
  const std::string before = present != nullptr ? present : "";
  const std::string wanted = TunablesWithHugePages(before);
  if (wanted == before) return;
  if (::setenv("GLIBC_TUNABLES", wanted.c_str(), 1) != 0) return;
  // By the file's own name: through /proc/self/exe the process would be called "exe".
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) ::execv(self.c_str(), argv);
  // Not restarted: the run goes on as it is, and its children get what it has.
  if (present != nullptr) {
    ::setenv("GLIBC_TUNABLES", before.c_str(), 1);
  } else {
    ::unsetenv("GLIBC_TUNABLES");
  }
}

}  // namespace corvinex
