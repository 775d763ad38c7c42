#include "cli/batch_options.h"

#include <CLI/CLI.hpp>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "convert/hardware_probe.h"
#include "transform/lens_profile.h"
#include "version.h"

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
      {"-o,--output", "OUTPUT",
       "output movie (one input only); default INPUT_Unwrapped.mp4 beside it (_2, _3, ... if "
       "the run already uses it)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.output = v;
         return {};
       }},
      {"-y,--overwrite", nullptr, "replace an output movie that exists already (kept otherwise)",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.overwrite = true;
         return {};
       }},
      {"--spool", nullptr,
       "also write every frame to the temporary folder, as the window does for another "
       "compression (slower; the movie is encoded while the frames are made either way)",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.spool = true;
         return {};
       }},
      {"--settings", "FILE", "settings file to start from (default: tlvpub.ini beside the program)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.settingsFile = v;
         return {};
       }},
      {"--cut", "X,Y,W,H,R",
       "Cut Area in preview units (the movie is 600 units wide): left, top, width, height and "
       "the inner circle's radius; \"auto\" finds each movie's ring first",
       [](const std::string& v, BatchOptions& o) -> std::string {
         if (v == "auto") {
           o.cutAuto = true;
           o.cutGiven = false;
           return {};
         }
         bool ok = false;
         const auto n = IntList(v, 5, ok);
         if (!ok) return "--cut takes five whole numbers X,Y,W,H,R or auto, not \"" + v + "\"";
         o.cutGiven = true;
         o.cutAuto = false;
         o.overrides.push_back([n](AppSettings& s, SessionOptions&) {
           s.X1 = n[0];
           s.Y1 = n[1];
           s.X2 = n[2];
           s.Y2 = n[3];
           s.RSIZE = n[4];
         });
         return {};
       }},
      {"--ring", "CX,CY,R,r",
       "the ring in the movie's pixels: centre, outer and inner radius (instead of --cut)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         std::array<double, 4> ring{};
         std::stringstream in(v);
         std::string part;
         size_t count = 0;
         bool ok = true;
         while (std::getline(in, part, ',')) {
           char* end = nullptr;
           const double value = std::strtod(part.c_str(), &end);
           ok = ok && !part.empty() && end == part.c_str() + part.size() && std::isfinite(value);
           if (count < ring.size()) ring[count] = value;
           ++count;
         }
         if (!ok || count != 4 || ring[2] <= 0 || ring[3] < 0 || ring[3] >= ring[2]) {
           return "--ring takes CX,CY,R,r in pixels, with 0 <= r < R, not \"" + v + "\"";
         }
         o.ringPixels = ring;
         return {};
       }},
      {"--find-ring", nullptr,
       "print the ring found in each movie and its Cut Area as JSON, and exit",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.findRing = true;
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
      {"--bitrate", "I", "bit rate index 0 (auto) .. 9 (.mp4, .m4v, .webm)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         const std::string error =
             Number("--bitrate", 0, 9,
                    [](AppSettings& s, SessionOptions&, int32_t n) { s.BITRATE = n; })(v, o);
         o.bitRateWanted = error.empty() && v != "0";
         return error;
       }},
      {"--codec-mode", "I", "codec mode index 0 (auto) .. 5",
       Number("--codec-mode", 0, 5,
              [](AppSettings& s, SessionOptions&, int32_t n) { s.CODECMODE = n; })},
      {"--codec", "h264|h265|av1|vp9",
       "video codec (default: the output type's own); refused where the output type "
       "cannot hold it",
       Choice("--codec", {"h264", "h265", "av1", "vp9"},
              [](AppSettings&, SessionOptions& so, int32_t i) { so.CODEC = i + 1; })},
      {"--encoder", "auto|software|NAME",
       "encoder for --codec: auto takes a hardware encoder that passes a test encode, "
       "else software; NAME one such as hevc_vaapi, h264_nvenc, av1_qsv",
       [](const std::string& v, BatchOptions& o) -> std::string {
         const int32_t choice = EncoderChoiceOfName(v);
         if (choice < 0) {
           std::string names;
           for (const EncoderRow& row : EncoderRows())
             if (row.device != Device::None) names += " " + std::string(row.name);
           return "--encoder takes auto, software or one of" + names + ", not \"" + v + "\"";
         }
         o.overrides.push_back([=](AppSettings&, SessionOptions& so) { so.ENCODER = choice; });
         return {};
       }},
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
      {"--projection", "strip|equirect",
       "the panorama strip as it is, or placed in a 2:1 frame as 360-degree video",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.equirectWanted = v == "equirect";
         return Choice("--projection", {"strip", "equirect"},
                       [](AppSettings&, SessionOptions& so, int32_t i) { so.PROJECTION = i; })(v,
                                                                                               o);
       }},
      {"--fill", "black|soft",
       "the 2:1 frame's rows above and below the strip: black, or the strip's edge rows "
       "stretched and blurred",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.frameTuned = o.fillWanted = true;
         return Choice("--fill", {"black", "soft"},
                       [](AppSettings&, SessionOptions& so, int32_t i) { so.FILL = i; })(v, o);
       }},
      {"--horizon", "DEG",
       "move the strip up (+) or down (-) in the 2:1 frame, whole degrees -45..45; the "
       "movie's Cut Area may allow less",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.frameTuned = true;
         return Number("--horizon", -45, 45,
                       [](AppSettings&, SessionOptions& so, int32_t n) { so.HORIZON = n; })(v, o);
       }},
      {"--no-spherical-metadata", nullptr,
       "with --logo or --projection equirect, leave out the 360-degree video metadata (.mp4, "
       ".m4v, .mov, .webm)",
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
      {"--width", "N|full",
       "panorama width: even pixels 64..16384, or full (the ring's outer circumference); "
       "the rows follow in proportion (default: as before)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         int32_t width = 0;
         if (v == "full") {
           width = -1;
         } else if (!ToInt(v, width) || width < 64 || width > 16384 || width % 2 != 0) {
           return "--width takes an even number of pixels from 64 to 16384 or full, not \"" + v +
                  "\"";
         }
         o.overrides.push_back(
             [width](AppSettings&, SessionOptions& so) { so.PANORAMA_WIDTH = width; });
         return {};
       }},
      {"--heading", "DEG",
       "the direction shown at the panorama's centre, in degrees -360..360 (turns the "
       "panorama by whole columns)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         double heading = 0;
         // A leading plus sign, as people write a heading, which from_chars refuses.
         const char* begin = v.data() + (v.size() > 1 && v[0] == '+' && v[1] != '-' ? 1 : 0);
         const char* end = v.data() + v.size();
         const auto [at, error] = std::from_chars(begin, end, heading);
         if (v.empty() || error != std::errc() || at != end || !std::isfinite(heading) ||
             std::abs(heading) > 360.0) {
           return "--heading takes a number of degrees from -360 to 360, not \"" + v + "\"";
         }
         o.overrides.push_back(
             [heading](AppSettings&, SessionOptions& so) { so.HEADING = heading; });
         return {};
       }},
      {"--print-geometry", nullptr, "print the run's unwrap geometry as JSON and exit",
       [](const std::string&, BatchOptions& o) -> std::string {
         o.printGeometry = true;
         return {};
       }},
      {"--progress", "auto|bar|json|none",
       "progress on standard error: a bar (auto: on a terminal only), or one JSON object per "
       "line",
       [](const std::string& v, BatchOptions& o) -> std::string {
         static const std::map<std::string, ProgressMode> kModes = {{"auto", ProgressMode::Auto},
                                                                    {"bar", ProgressMode::Bar},
                                                                    {"json", ProgressMode::Json},
                                                                    {"none", ProgressMode::None}};
         const auto mode = kModes.find(v);
         if (mode == kModes.end()) return "--progress takes auto|bar|json|none, not \"" + v + "\"";
         o.progress = mode->second;
         return {};
       }},
      {"--jpeg-quality", "N", "quality of JPEG photo outputs, 1 .. 100 (default 92)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         int32_t n = 0;
         if (!ToInt(v, n) || n < 1 || n > 100) {
           return "--jpeg-quality takes a whole number from 1 to 100, not \"" + v + "\"";
         }
         o.jpegQuality = n;
         return {};
       }},
      {"--log-folder", "DIR", "folder for this run's log (default: beside the program)",
       [](const std::string& v, BatchOptions& o) -> std::string {
         o.logFolder = v;
         return {};
       }},
  };
  return flags;
}

}  // namespace

ParsedBatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  ParsedBatchOptions parsed;
  BatchOptions& o = parsed.options;
  CLI::App app{
      "Unwraps 360-degree doughnut movies into rectangular panorama movies.\n"
      "Options start from the settings file and each flag overrides one of them.",
      "corvinex-batch"};
  app.get_formatter()->column_width(34);
  app.set_version_flag("--version", std::string("corvinex-batch ") + kVersion);
  app.footer(
      "Exit status: 0 when every movie was converted, 1 when one failed, 2 for a bad command "
      "line.\nWith --print-geometry, several inputs give one JSON array.");
  std::vector<std::string> inputs;
  app.add_option("INPUT", inputs, "doughnut movies and photos to convert")->type_name("");
  std::map<const CLI::Option*, const Flag*> flagOf;
  for (const Flag& f : Flags()) {
    CLI::Option* option = f.value != nullptr
                              ? app.add_option(f.name, f.help)->type_name(f.value)->expected(1)
                              : app.add_flag(f.name, f.help);
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    flagOf[option] = &f;
  }
  // CLI11 takes the arguments last first, without the program name.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.text = app.help();
    return parsed;
  } catch (const CLI::CallForVersion&) {
    parsed.text = app.version() + "\n";
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.error = std::string(e.what()) + " (see --help)";
    return parsed;
  }
  // Each flag is applied in the order given, so a later flag overrides an earlier one.
  std::map<const CLI::Option*, size_t> used;
  for (const CLI::Option* option : app.parse_order()) {
    const auto known = flagOf.find(option);
    if (known == flagOf.end()) continue;
    const Flag& flag = *known->second;
    const size_t occurrence = used[option]++;
    std::string value;
    if (flag.value != nullptr && occurrence < option->results().size()) {
      value = option->results()[occurrence];
    }
    parsed.error = flag.apply(value, o);
    if (!parsed.error.empty()) return parsed;
  }
  o.inputs.assign(inputs.begin(), inputs.end());
  if (o.inputs.empty()) {
    parsed.error = "no input movie given (see --help)";
  } else if (o.output && o.inputs.size() != 1) {
    parsed.error = "-o names one output, so give exactly one input";
  } else if (o.output && o.framesOnly) {
    parsed.error = "-o and --frames-only contradict each other: --frames-only writes no movie";
  } else if (o.ringPixels && (o.cutAuto || o.cutGiven)) {
    parsed.error = "--ring and --cut both place the ring: give one of them";
  } else if (o.findRing && (o.output || o.framesOnly || o.printGeometry)) {
    parsed.error =
        "--find-ring only prints the ring: leave out -o, --frames-only and "
        "--print-geometry";
  } else if (o.pairWanted && !o.stereoWanted) {
    parsed.error = "--pair writes the two views of --stereo, so give --stereo too";
  } else if (o.frameTuned && !o.equirectWanted && !o.logo) {
    parsed.error =
        "--fill and --horizon shape the 2:1 frame, so give --projection equirect (or --logo) too";
  } else if (o.fillWanted && o.logo) {
    parsed.error = "--fill has no effect with --logo: the logo fills the 2:1 frame";
  }
  return parsed;
}

}  // namespace corvinex
