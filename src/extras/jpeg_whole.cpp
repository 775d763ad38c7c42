#include "extras/jpeg_whole.h"

#include <cstddef>
#include <cstdint>

namespace corvinex {
namespace {

constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;

uint8_t At(std::string_view bytes, size_t i) {
  return static_cast<uint8_t>(bytes[i]);
}

// Markers that stand alone, without a length: restarts and TEM.
bool StandsAlone(uint8_t marker) {
  return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

// From `at` inside a scan's coded data to the next marker's FF, or npos when the data
// ends first. Inside the data an FF is followed by 00 (a stuffed byte) or a restart.
size_t AfterCodedData(std::string_view bytes, size_t at) {
  while (at + 1 < bytes.size()) {
    if (At(bytes, at) != 0xFF) {
      ++at;
      continue;
    }
    const uint8_t next = At(bytes, at + 1);
    if (next == 0xFF) {
      ++at;  // fill byte before a marker
    } else if (next == 0x00 || StandsAlone(next)) {
      at += 2;
    } else {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool JpegIsWhole(std::string_view bytes) {
  if (bytes.size() < 4 || At(bytes, 0) != 0xFF || At(bytes, 1) != kStartOfImage) return false;
  size_t at = 2;
  bool scanned = false;
  while (at + 1 < bytes.size()) {
    if (At(bytes, at) != 0xFF) return false;
    const uint8_t marker = At(bytes, at + 1);
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == kEndOfImage) return scanned;
    if (StandsAlone(marker)) {
      at += 2;
      continue;
    }
    if (at + 3 >= bytes.size()) return false;
    const size_t length = (size_t{At(bytes, at + 2)} << 8) | At(bytes, at + 3);
    if (length < 2 || at + 2 + length > bytes.size()) return false;
    at += 2 + length;
    if (marker == kStartOfScan) {
      scanned = true;
      at = AfterCodedData(bytes, at);
      if (at == std::string_view::npos) return false;
    }
  }
  return false;
}

}  // namespace corvinex
