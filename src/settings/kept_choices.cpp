#include "settings/kept_choices.h"

#include <array>
#include <charconv>
#include <cmath>

namespace corvinex {
namespace {

// One row per kept choice, in file order: the tag, how the value sits in the
// options, and the values its control can show (low to high in steps).
struct ChoiceRow {
  std::string_view name;
  int32_t (*get)(const SessionOptions&);
  void (*set)(SessionOptions&, int32_t);
  int32_t low;
  int32_t high;
  int32_t step;
};

const std::array<ChoiceRow, 21> kChoices = {{
    {"FLIP_HORIZONTAL", [](const SessionOptions& o) { return o.FLIP_MODE & 1; },
     [](SessionOptions& o, int32_t v) { o.FLIP_MODE = (o.FLIP_MODE & ~1) | v; }, 0, 1, 1},
    {"FLIP_VERTICAL", [](const SessionOptions& o) { return (o.FLIP_MODE & 2) >> 1; },
     [](SessionOptions& o, int32_t v) { o.FLIP_MODE = (o.FLIP_MODE & ~2) | (v << 1); }, 0, 1, 1},
    {"OUTPUT_TYPE", [](const SessionOptions& o) { return o.OUTPUT_TYPE; },
     [](SessionOptions& o, int32_t v) { o.OUTPUT_TYPE = v; }, 0, 8, 1},
    {"RESIZE", [](const SessionOptions& o) { return o.RESIZE; },
     [](SessionOptions& o, int32_t v) { o.RESIZE = v; }, 0, 5, 1},
    {"QUALITY", [](const SessionOptions& o) { return o.QUALITY; },
     [](SessionOptions& o, int32_t v) { o.QUALITY = v; }, 0, 21, 1},
    {"AUDIO_CHANNELS", [](const SessionOptions& o) { return o.AUDIO_CHANNELS; },
     [](SessionOptions& o, int32_t v) { o.AUDIO_CHANNELS = v; }, 0, 1, 1},
    {"AUDIO_RATE", [](const SessionOptions& o) { return o.AUDIO_RATE; },
     [](SessionOptions& o, int32_t v) { o.AUDIO_RATE = v; }, 0, 4, 1},
    {"DRAFT", [](const SessionOptions& o) { return o.OS_PREVIEW; },
     [](SessionOptions& o, int32_t v) { o.OS_PREVIEW = v; }, 0, 1, 1},
    {"STEREO_3DP", [](const SessionOptions& o) { return o.STEREO_3DP; },
     [](SessionOptions& o, int32_t v) { o.STEREO_3DP = v; }, 0, 1, 1},
    {"STEREO_TYPE", [](const SessionOptions& o) { return o.STEREO_TYPE; },
     [](SessionOptions& o, int32_t v) { o.STEREO_TYPE = v; }, 0, 1, 1},
    {"GLASSES", [](const SessionOptions& o) { return o.GLASSES; },
     [](SessionOptions& o, int32_t v) { o.GLASSES = v; }, -10, 10, 1},
    {"DEPTH_CH", [](const SessionOptions& o) { return o.DEPTH_CH; },
     [](SessionOptions& o, int32_t v) { o.DEPTH_CH = v; }, 0, 1, 1},
    {"DEPTH", [](const SessionOptions& o) { return o.DEPTH; },
     [](SessionOptions& o, int32_t v) { o.DEPTH = v; }, 20, 90, 5},
    {"SHOW_LAYOUT", [](const SessionOptions& o) { return o.SHOW_LAYOUT; },
     [](SessionOptions& o, int32_t v) { o.SHOW_LAYOUT = v; }, 0, 1, 1},
    {"JPEG_QUALITY", [](const SessionOptions& o) { return o.JPEG_QUALITY; },
     [](SessionOptions& o, int32_t v) { o.JPEG_QUALITY = v; }, 1, 100, 1},
    // Even pixels from 64 up, checked in full after reading (see WidthChoice).
    {"PANORAMA_WIDTH", [](const SessionOptions& o) { return o.PANORAMA_WIDTH; },
     [](SessionOptions& o, int32_t v) { o.PANORAMA_WIDTH = v; }, -1, 16384, 1},
    {"PROJECTION", [](const SessionOptions& o) { return o.PROJECTION; },
     [](SessionOptions& o, int32_t v) { o.PROJECTION = v; }, 0, 1, 1},
    {"FILL", [](const SessionOptions& o) { return o.FILL; },
     [](SessionOptions& o, int32_t v) { o.FILL = v; }, 0, 1, 1},
    {"HORIZON", [](const SessionOptions& o) { return o.HORIZON; },
     [](SessionOptions& o, int32_t v) { o.HORIZON = v; }, -45, 45, 1},
    {"CODEC", [](const SessionOptions& o) { return o.CODEC; },
     [](SessionOptions& o, int32_t v) { o.CODEC = v; }, 0, 4, 1},
    {"ENCODER", [](const SessionOptions& o) { return o.ENCODER; },
     [](SessionOptions& o, int32_t v) { o.ENCODER = v; }, 0, 14, 1},
}};

constexpr std::string_view kHeadingTag = "HEADING";
constexpr double kHeadingLimit = 360.0;

// 0 as before, -1 full detail, or an even width of 64 pixels and more.
bool WidthChoice(int32_t width) {
  return width == 0 || width == -1 || (width >= 64 && width % 2 == 0);
}

// The text between "<name>" and "</name>"; nullopt-like false when the tag is absent.
bool ValueOf(std::string_view text, std::string_view name, std::string_view& value) {
  const std::string open = "<" + std::string(name) + ">";
  const std::string close = "</" + std::string(name) + ">";
  const size_t openAt = text.find(open);
  if (openAt == std::string_view::npos) return false;
  const size_t start = openAt + open.size();
  const size_t closeAt = text.find(close, start);
  if (closeAt == std::string_view::npos) return false;
  value = text.substr(start, closeAt - start);
  return true;
}

// A whole number in the row's range and on its steps, or false.
bool ValidValue(std::string_view value, const ChoiceRow& row, int32_t& result) {
  int32_t number = 0;
  const char* end = value.data() + value.size();
  const auto [at, error] = std::from_chars(value.data(), end, number);
  if (error != std::errc() || at != end) return false;
  if (number < row.low || number > row.high || (number - row.low) % row.step != 0) return false;
  result = number;
  return true;
}

}  // namespace

std::string KeptChoicesText(const SessionOptions& options) {
  std::string text;
  for (const ChoiceRow& row : kChoices) {
    text.append("<").append(row.name).append(">");
    text.append(std::to_string(row.get(options)));
    text.append("</").append(row.name).append(">\r\n");
  }
  // The logo's file, when one is chosen; a name that would break its line is not kept.
  if (!options.LOGO.empty() && options.LOGO.find_first_of("\r\n<") == std::string::npos) {
    text.append("<LOGO>").append(options.LOGO).append("</LOGO>\r\n");
  }
  // Hundredths of a degree are finer than one column of the widest panorama.
  // to_chars, unlike printf, writes a point whatever the locale.
  char heading[32];
  const double kept = std::isfinite(options.HEADING) ? options.HEADING : 0.0;
  const auto written =
      std::to_chars(heading, heading + sizeof heading, kept, std::chars_format::fixed, 2);
  text.append("<").append(kHeadingTag).append(">");
  text.append(heading, written.ec == std::errc() ? written.ptr : heading);
  text.append("</").append(kHeadingTag).append(">\r\n");
  return text;
}

void ReadKeptChoices(std::string_view text, SessionOptions& options) {
  const SessionOptions defaults;
  for (const ChoiceRow& row : kChoices) {
    std::string_view value;
    if (!ValueOf(text, row.name, value)) continue;
    int32_t number = 0;
    row.set(options, ValidValue(value, row, number) ? number : row.get(defaults));
  }
  std::string_view logo;
  if (ValueOf(text, "LOGO", logo)) options.LOGO = std::string(logo);
  if (!WidthChoice(options.PANORAMA_WIDTH)) options.PANORAMA_WIDTH = defaults.PANORAMA_WIDTH;
  std::string_view value;
  if (ValueOf(text, kHeadingTag, value)) {
    double heading = 0;
    const char* end = value.data() + value.size();
    const auto [at, error] = std::from_chars(value.data(), end, heading);
    const bool good = error == std::errc() && at == end && std::isfinite(heading) &&
                      std::abs(heading) <= kHeadingLimit;
    options.HEADING = good ? heading : defaults.HEADING;
  }
}

}  // namespace corvinex
