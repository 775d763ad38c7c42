#include "settings/leading_number.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace corvinex {

double LeadingNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  size_t start = pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  size_t digits = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos, ++digits;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos, ++digits;
  }
  if (digits == 0) return 0.0;
  // An exponent counts only when digits follow it ("2e" is just 2).
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t exp = pos + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    if (exp < text.size() && text[exp] >= '0' && text[exp] <= '9') {
      pos = exp;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    }
  }
  // from_chars rejects a leading '+'.
  if (text[start] == '+') ++start;
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data() + start, text.data() + pos, value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    return text[start] == '-' ? -std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::infinity();
  }
  return error == std::errc() ? value : 0.0;
}

int32_t RoundToInt32(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (rounded <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(rounded);
}

}  // namespace corvinex
