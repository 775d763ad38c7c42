#include "convert/huge_page_tunable.h"

#include <algorithm>

namespace corvinex {

std::string TunablesWithHugePages(std::string_view tunables) {
  constexpr std::string_view kHugePages = "glibc.malloc.hugetlb";
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

}  // namespace corvinex
