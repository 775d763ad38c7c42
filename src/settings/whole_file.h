#pragma once
// Reading a whole file into memory without exceptions. The standard stream buffer
// throws on a read error (a folder where a file was expected, a failing disk), and
// iterating over it directly lets that escape and end the program.

#include <filesystem>
#include <optional>
#include <string>

namespace corvinex {

// The file's bytes; nullopt when it cannot be opened or a read fails.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// The last non-empty line of a tool's error stream saved in `file` (progress lines
// end in CR); empty when there is none or the file cannot be read.
std::string LastLineOf(const std::filesystem::path& file);

}  // namespace corvinex
