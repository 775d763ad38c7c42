#pragma once
// The free-space figure that start-up and the conversion log.

#include <cstdint>
#include <filesystem>
#include <string>

namespace corvinex {

// Bytes grouped by threes with dots, then " bytes": "53.123.456.789 bytes".
std::string FreeSpaceText(uintmax_t freeBytes);

// Free space available to us on the file system that holds `path` (or its
// nearest existing parent); "0 bytes" when it cannot be found.
std::string FreeSpaceTextFor(const std::filesystem::path& path);

}  // namespace corvinex
