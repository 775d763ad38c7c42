#include "settings/whole_file.h"

#include <array>
#include <fstream>

namespace corvinex {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  std::array<char, 65536> chunk;
  // read() turns the buffer's exception into the bad state.
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    text.append(chunk.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return text;
}

std::string LastLineOf(const std::filesystem::path& file) {
  const std::string text = ReadWholeFile(file).value_or(std::string());
  const size_t end = text.find_last_not_of("\r\n ");
  if (end == std::string::npos) return {};
  size_t begin = text.find_last_of("\r\n", end);
  begin = begin == std::string::npos ? 0 : begin + 1;
  return text.substr(begin, end + 1 - begin);
}

}  // namespace corvinex
