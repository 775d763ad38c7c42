#include "cli/batch_options.h"

#include <array>
#include <charconv>
#include <sstream>

#include "transform/lens_profile.h"

namespace corvinex {
namespace {

using Apply = std::function<std::string(const std::string& value, BatchOptions&)>;

struct Flag {
  const char* name;
  const char* value;  // nullptr: the flag takes no value
  const char* help;
  Apply apply;
};

bool ToInt(const std::string& text, int32_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, out);
  return error == std::errc() && ptr == end && !text.empty();
}

std::vector<int32_t> IntList(const std::string& text, size_t count, bool& ok) {
  std::vector<int32_t> values;
  std::stringstream in(text);
  std::string part;
  ok = true;
  while (std::getline(in, part, ',')) {
    int32_t v = 0;
    if (!ToInt(part, v)) ok = false;
    values.push_back(v);
  }
  if (values.size() != count) ok = false;
  return values;
}

using Setter = std::function<void(AppSettings&, SessionOptions&, int32_t)>;

// A flag with one whole number within [low, high].
Apply Number(const char* flag, int32_t low, int32_t high, Setter set) {
  return [=](const std::string& value, BatchOptions& o) -> std::string {
    int32_t n = 0;
    if (!ToInt(value, n) || n < low || n > high) {
      return std::string(flag) + " takes a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not \"" + value + "\"";
    }
    o.overrides.push_back([=](AppSettings& s, SessionOptions& so) { set(s, so, n); });
    return {};
  };
}

// A flag whose value is one word of a list; the word's position goes to `set`.
Apply Choice(const char* flag, std::vector<std::string> words, Setter set) {
  return [=](const std::string& value, BatchOptions& o) -> std::string {
    for (size_t i = 0; i < words.size(); ++i) {
      if (words[i] == value) {
        const auto index = static_cast<int32_t>(i);
        o.overrides.push_back([=](AppSettings& s, SessionOptions& so) { set(s, so, index); });
        return {};
      }
    }
    std::string list;
    for (const auto& w : words) list += (list.empty() ? "" : "|") + w;
    return std::string(flag) + " takes " + list + ", not \"" + value + "\"";
  };
}

Apply Switch(std::function<void(AppSettings&, SessionOptions&)> set) {
  return [=](const std::string&, BatchOptions& o) -> std::string {
    o.overrides.push_back(set);
    return {};
  };
}

const std::vector<Flag>& Flags() {
  static const std::vector<Flag> flags = {
      {"-o", "OUTPUT",
       "output movie (one input only); default INPUT_Unwrapped.mp4 beside it (_2, _3, ... if "
       "the run already uses it)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.output = v;
         return {};
       }},
      {"--settings", "FILE", "settings file to start from (default: tlvpub.ini beside the program)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.settingsFile = v;
         return {};
       }},
      {"--cut", "X1,Y1,X2,Y2,RSIZE", "Cut Area in preview units",
       [](const std::string& v, BatchOptions& o) -> std::string {
         bool ok = false;
         const auto n = IntList(v, 5, ok);
         if (!ok) return "--cut takes five whole numbers X1,Y1,X2,Y2,RSIZE, not \"" + v + "\"";
         o.overrides.push_back([n](AppSettings& s, SessionOptions&) {
           s.X1 = n[0];
           s.Y1 = n[1];
           s.X2 = n[2];
           s.Y2 = n[3];
           s.RSIZE = n[4];
         });
         return {};
       }},
      {"--lens", "standard|3|5|7|10", "vertical lens correction",
       Choice("--lens", {"standard", "3", "5", "7", "10"},
              [](AppSettings& s, SessionOptions&, int32_t i) {
                // The words name the correction; the lens table is in menu order
                // (standard, 7 %, 3 %, 5 %, 10 %).
                static constexpr std::array<size_t, 5> kRow = {0, 2, 3, 1, 4};
                s.HSIZE = kLensProfiles[kRow[static_cast<size_t>(i)]].HSIZE;
              })},
      {"--draft", nullptr, "fast conversion, draft quality",
       Switch([](AppSettings&, SessionOptions& so) { so.OS_PREVIEW = 1; })},
      {"--route", "graph|decoder", "where frames come from",
       Choice("--route", {"graph", "decoder"},
              [](AppSettings& s, SessionOptions&, int32_t i) { s.DSSETUP = i == 1 ? 2 : 0; })},
      {"--flip", "h|v|hv", "mirror the panorama",
       Choice("--flip", {"h", "v", "hv"},
              [](AppSettings&, SessionOptions& so, int32_t i) { so.FLIP_MODE = i + 1; })},
      {"--aspect", nullptr, "fix aspect ratio PARxDAR",
       Switch([](AppSettings& s, SessionOptions&) { s.ASPECT = 1; })},
      {"--sharpen", "A,R", "sharpen amount 0..5 and radius 0..3",
       [](const std::string& v, BatchOptions& o) -> std::string {
         bool ok = false;
         const auto n = IntList(v, 2, ok);
         if (!ok || n[0] < 0 || n[0] > 5 || n[1] < 0 || n[1] > 3) {
           return "--sharpen takes A,R with A 0..5 and R 0..3, not \"" + v + "\"";
         }
         o.overrides.push_back([n](AppSettings& s, SessionOptions&) {
           s.SHARPEN_CH = 1;
           s.SHARPEN = n[0];
           s.RADIUS = n[1];
         });
         return {};
       }},
      {"--no-sharpen", nullptr, "switch sharpening off",
       Switch([](AppSettings& s, SessionOptions&) { s.SHARPEN_CH = 0; })},
      {"--brightness", "N", "brightness 1..255 (127 neutral)",
       Number("--brightness", 1, 255,
              [](AppSettings& s, SessionOptions&, int32_t n) {
                s.BRIGHTNESS_CH = 1;
                s.BRIGHTNESS = n;
              })},
      {"--contrast", "N", "contrast 20..235 (127 neutral)",
       Number("--contrast", 20, 235,
              [](AppSettings& s, SessionOptions&, int32_t n) {
                s.CONTRAST_CH = 1;
                s.CONTRAST = n;
              })},
      {"--noise", "N", "noise filter passes 1..5",
       Number("--noise", 1, 5,
              [](AppSettings& s, SessionOptions&, int32_t n) {
                s.NOISE_CH = 1;
                s.NOISE = n;
              })},
      {"--stereo", "dynamic|static", "3D stereo rendering",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.stereoWanted = true;
         return Choice("--stereo", {"dynamic", "static"},
                       [](AppSettings&, SessionOptions& so, int32_t i) {
                         so.STEREO_3DP = 1;
                         so.STEREO_TYPE = i;
                       })(v, o);
       }},
      {"--depth", "N", "stereo depth 20..90",
       Number("--depth", 20, 90,
              [](AppSettings&, SessionOptions& so, int32_t n) {
                so.DEPTH_CH = 1;
                so.DEPTH = n;
              })},
      {"--glasses", "N", "glasses shift -10..10",
       Number("--glasses", -10, 10,
              [](AppSettings&, SessionOptions& so, int32_t n) { so.GLASSES = n; })},
      {"--pair", nullptr, "write both stereo views as a vertical pair (with --stereo)",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.pairWanted = true;
         o.overrides.push_back([](AppSettings& s, SessionOptions&) { s.STEREO_OUT_TYPE = 8; });
         return {};
       }},
      {"--quality", "Q", "quality 0 (default) .. 21",
       Number("--quality", 0, 21,
              [](AppSettings&, SessionOptions& so, int32_t n) { so.QUALITY = n; })},
      {"--bitrate", "I", "bit rate index 0 (auto) .. 9",
       Number("--bitrate", 0, 9,
              [](AppSettings& s, SessionOptions&, int32_t n) { s.BITRATE = n; })},
      {"--codec-mode", "I", "codec mode index 0 (auto) .. 5",
       Number("--codec-mode", 0, 5,
              [](AppSettings& s, SessionOptions&, int32_t n) { s.CODECMODE = n; })},
      {"--resize", "I", "output size 0 (natural) .. 5 (50%)",
       Number("--resize", 0, 5,
              [](AppSettings&, SessionOptions& so, int32_t n) { so.RESIZE = n; })},
      {"--audio-channels", "stereo|mono", "sound channels",
       Choice("--audio-channels", {"stereo", "mono"},
              [](AppSettings&, SessionOptions& so, int32_t i) { so.AUDIO_CHANNELS = i; })},
      {"--audio-rate", "I", "sampling rate index 0 (auto) .. 4",
       Number("--audio-rate", 0, 4,
              [](AppSettings&, SessionOptions& so, int32_t n) { so.AUDIO_RATE = n; })},
      {"--logo", "FILE", "put this wide logo (at least 6:1) above and below the panorama",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.logo = v;
         return {};
       }},
      {"--no-spherical-metadata", nullptr,
       "with --logo, leave out the 360-degree video metadata (.mp4, .m4v, .mov, .webm)",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.sphericalMetadata = false;
         return {};
       }},
      {"--frames-only", "DIR",
       "write the processed frames as BMP files into DIR (DIR/NAME for several inputs), no "
       "export",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.framesOnly = v;
         return {};
       }},
      {"--print-geometry", nullptr, "print the run's unwrap geometry as JSON and exit",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.printGeometry = true;
         return {};
       }},
      {"--help", nullptr, "show this help",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.help = true;
         return {};
       }},
  };
  return flags;
}

}  // namespace

ParsedBatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  ParsedBatchOptions parsed;
  BatchOptions& o = parsed.options;
  bool onlyInputs = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyInputs || arg.empty() || arg[0] != '-' || arg == "-") {
      o.inputs.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyInputs = true;
      continue;
    }
    const Flag* flag = nullptr;
    for (const Flag& f : Flags()) {
      if (arg == f.name) flag = &f;
    }
    if (flag == nullptr) {
      parsed.error = "unknown option \"" + arg + "\" (see --help)";
      return parsed;
    }
    std::string value;
    if (flag->value != nullptr) {
      if (i + 1 >= args.size()) {
        parsed.error = arg + " needs a value: " + flag->value;
        return parsed;
      }
      value = args[++i];
    }
    parsed.error = flag->apply(value, o);
    if (!parsed.error.empty()) return parsed;
  }
  if (o.help) return parsed;
  if (o.inputs.empty()) {
    parsed.error = "no input movie given (see --help)";
  } else if (o.output && o.inputs.size() != 1) {
    parsed.error = "-o names one output, so give exactly one input";
  } else if (o.output && o.framesOnly) {
    parsed.error = "-o and --frames-only contradict each other: --frames-only writes no movie";
  } else if (o.pairWanted && !o.stereoWanted) {
    parsed.error = "--pair writes the two views of --stereo, so give --stereo too";
  }
  return parsed;
}

std::string BatchHelpText() {
  std::string text =
      "Usage: corvinex-batch [options] INPUT...\n"
      "Unwraps 360-degree doughnut movies into rectangular panorama movies.\n"
      "Options start from the settings file and each flag overrides one of them.\n\n";
  for (const Flag& f : Flags()) {
    std::string left = std::string("  ") + f.name + (f.value ? std::string(" ") + f.value : "");
    if (left.size() < 30) left.resize(30, ' ');
    text += left + " " + f.help + "\n";
  }
  text +=
      "\nExit status: 0 when every movie was converted, 1 when one failed, 2 for a bad "
      "command line.\n";
  return text;
}

}  // namespace corvinex
