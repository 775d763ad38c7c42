#include "convert/free_space.h"

#include <system_error>

namespace corvinex {

std::string FreeSpaceText(uintmax_t freeBytes) {
  const std::string digits = std::to_string(freeBytes);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back('.');
    grouped.push_back(digits[i]);
  }
  return grouped + " bytes";
}

std::string FreeSpaceTextFor(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path probe = path;
  // The output file or a folder to be created does not exist yet: ask its parent.
  while (!probe.empty() && !std::filesystem::exists(probe, error)) {
    if (probe == probe.parent_path()) break;
    probe = probe.parent_path();
  }
  if (probe.empty()) probe = ".";
  const std::filesystem::space_info info = std::filesystem::space(probe, error);
  return FreeSpaceText(error ? 0 : info.available);
}

}  // namespace corvinex
