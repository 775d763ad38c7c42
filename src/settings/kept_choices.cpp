#include "settings/kept_choices.h"

#include <array>
#include <charconv>

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

const std::array<ChoiceRow, 15> kChoices = {{
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
    {"CODEC", [](const SessionOptions& o) { return o.CODEC; },
     [](SessionOptions& o, int32_t v) { o.CODEC = v; }, 0, 4, 1},
    {"ENCODER", [](const SessionOptions& o) { return o.ENCODER; },
     [](SessionOptions& o, int32_t v) { o.ENCODER = v; }, 0, 14, 1},
}};

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
}

}  // namespace corvinex
