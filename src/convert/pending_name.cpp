#include "convert/pending_name.h"

#include <atomic>
#include <charconv>
#include <string_view>

namespace corvinex {
namespace {

constexpr std::string_view kMark = ".part-";
constexpr size_t kNameMax = 255;

// Cuts `text` to at most `bytes` without splitting a UTF-8 letter.
std::string CutUtf8(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

bool ReadNumber(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

std::string PendingName(const std::string& finalName, const ProcessIdentity& owner,
                        uint64_t serial) {
  // A leading dot is no extension: ".hidden" keeps its whole name as the stem.
  const size_t dot = finalName.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string stem = hasExtension ? finalName.substr(0, dot) : finalName;
  const std::string extension = hasExtension ? finalName.substr(dot) : std::string();
  const std::string tag = std::string(kMark) + std::to_string(owner.pid) + "-" +
                          std::to_string(owner.startTicks) + "-" + std::to_string(serial);
  const size_t fixed = 1 + tag.size() + extension.size();
  const size_t room = fixed < kNameMax ? kNameMax - fixed : 0;
  return "." + CutUtf8(stem, room) + tag + extension;
}

std::optional<ProcessIdentity> PendingNameOwner(const std::string& name) {
  if (name.size() < 2 || name[0] != '.') return std::nullopt;
  const size_t mark = name.rfind(kMark);
  if (mark == std::string::npos || mark == 0) return std::nullopt;
  // "PID-TICKS-SERIAL" then the extension (or nothing).
  std::string_view rest = std::string_view(name).substr(mark + kMark.size());
  const size_t dot = rest.find('.');
  const std::string_view numbers = rest.substr(0, dot);
  const size_t first = numbers.find('-');
  const size_t second = first == std::string_view::npos ? first : numbers.find('-', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  uint64_t pid = 0, ticks = 0, serial = 0;
  if (!ReadNumber(numbers.substr(0, first), pid) ||
      !ReadNumber(numbers.substr(first + 1, second - first - 1), ticks) ||
      !ReadNumber(numbers.substr(second + 1), serial) || pid == 0 || pid > 0x7fffffff) {
    return std::nullopt;
  }
  return ProcessIdentity{static_cast<pid_t>(pid), ticks};
}

uint64_t NextPendingSerial() {
  static std::atomic<uint64_t> serial{0};
  return ++serial;
}

}  // namespace corvinex
