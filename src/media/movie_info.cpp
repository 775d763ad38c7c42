#include "media/movie_info.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace corvinex {

double FrameRateFromProbeText(std::string_view probeText) {
  const auto fps = probeText.find("fps,");
  if (fps == std::string_view::npos) return 0;
  std::string_view rest = probeText.substr(fps + 4);
  const auto tbr = rest.find("tbr");
  if (tbr != std::string_view::npos) rest = rest.substr(0, tbr);
  size_t i = 0;
  while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
  const std::string number(rest.substr(i));
  // strtod takes the leading number and stops at the first character that is not one.
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (end == number.c_str() || !std::isfinite(value) || value < 0) return 0;
  return value;
}

int64_t TimePerFrameFrom(std::string_view probeText, int64_t averageTimePerFrame) {
  return TimePerFrameFromRate(FrameRateFromProbeText(probeText), averageTimePerFrame);
}

double ReportedFrameRate(int32_t num, int32_t den) {
  const double rate =
      num != 0 && den != 0 ? static_cast<double>(num) / static_cast<double>(den) : 0;
  // A negative rate reads back as none.
  if (!(rate > 0) || !std::isfinite(rate)) return 0;
  // The tool's own choice of form, from a float rounding of the hundredths.
  const auto hundredths = static_cast<uint64_t>(std::lrintf(static_cast<float>(rate * 100)));
  char text[64];
  if (hundredths == 0) {
    std::snprintf(text, sizeof text, "%1.4f", rate);
  } else if (hundredths % 100 != 0) {
    std::snprintf(text, sizeof text, "%3.2f", rate);
  } else if (hundredths % (100 * 1000) != 0) {
    std::snprintf(text, sizeof text, "%1.0f", rate);
  } else {
    std::snprintf(text, sizeof text, "%1.0fk", rate / 1000);
  }
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return end != text && std::isfinite(value) && value >= 0 ? value : 0;
}

int64_t TimePerFrameFromRate(double rate, int64_t averageTimePerFrame) {
  if (rate == 0) return averageTimePerFrame;
  const double units = std::nearbyint(static_cast<double>(kUnitsPerSecond) / rate);
  return units >= 1 ? static_cast<int64_t>(units) : 1;
}

int32_t FrameCountFrom(int64_t duration, int64_t timePerFrame) {
  if (timePerFrame <= 0 || duration <= 0) return 0;
  int64_t count = duration / timePerFrame;
  const int64_t next = count + 1;
  // Rounding slack of the time per frame: half a unit per frame.
  if (next * timePerFrame - duration <= next / 2) count = next;
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

std::string DurationText(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  auto hours = static_cast<int64_t>(seconds / 3600);
  auto minutes = static_cast<int64_t>((seconds - 3600.0 * hours) / 60);
  auto wholeSeconds = static_cast<int64_t>(seconds - 3600.0 * hours - 60.0 * minutes);
  const double fraction = seconds - std::floor(seconds);
  auto millis = static_cast<int64_t>(std::nearbyint(fraction * 1000));
  if (millis >= 1000) {
    millis -= 1000;
    if (++wholeSeconds == 60) {
      wholeSeconds = 0;
      if (++minutes == 60) {
        minutes = 0;
        ++hours;
      }
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(hours),
                static_cast<long long>(minutes), static_cast<long long>(wholeSeconds),
                static_cast<long long>(millis));
  return text;
}

std::string FrameRateText(int64_t timePerFrame) {
  const double fps = timePerFrame > 0
                         ? static_cast<double>(kUnitsPerSecond) / static_cast<double>(timePerFrame)
                         : 0.0;
  // to_chars, not printf: the window runs under the user's locale, and a German
  // desktop would show "25,00 fps".
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, fps, std::chars_format::fixed, 2);
  std::string shown = error == std::errc() ? std::string(text, end) : std::string("00.00");
  if (shown.size() < 5) shown.insert(0, 5 - shown.size(), '0');  // "%05.2f"
  return shown;
}

std::string VideoFileLabel(std::string_view path) {
  return " " + TrimPathText(path) + " ";
}

std::string FrameSizeLabel(const MovieInfo& info) {
  return std::to_string(info.width) + "x" + std::to_string(info.height);
}

std::string FrameRateLabel(const MovieInfo& info) {
  return FrameRateText(info.timePerFrame) + " fps";
}

std::string FrameCountLabel(const MovieInfo& info) {
  return std::to_string(info.frameCount);
}

std::string LogNumber(double value) {
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string TrimPathText(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\0'; };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace corvinex
