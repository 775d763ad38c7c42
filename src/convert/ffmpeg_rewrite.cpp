#include "convert/ffmpeg_rewrite.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace corvinex {
namespace {

struct Option {
  std::string name;  // without the leading '-'
  std::optional<std::string> value;
};

// Options that take no value; every other option takes one.
bool IsFlag(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kFlags = {
      "y",  "n",  "sameq",        "nostdin", "hide_banner", "an",
      "vn", "sn", "noautorotate", "stats",   "nostats",     "shortest"};
  return std::find(kFlags.begin(), kFlags.end(), name) != kFlags.end();
}

// x264 tuning of the codec modes: meaningless (or refused) for any other encoder.
bool IsX264Tuning(std::string_view name) {
  static constexpr std::array<std::string_view, 15> kTuning = {
      "coder",    "flags",      "cmp",          "partitions", "subq",
      "me_range", "keyint_min", "sc_threshold", "i_qfactor",  "b_strategy",
      "qcomp",    "qmin",       "qmax",         "qdiff",      "refs"};
  return std::find(kTuning.begin(), kTuning.end(), name) != kTuning.end();
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string FormatOf(const std::string& forced, const std::string& output) {
  if (!forced.empty()) return forced;
  std::string name = Lower(output);
  auto dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (ext == "m4v") return "ipod";
  if (ext == "ogv") return "ogg";
  if (ext == "bmp") return "image2";
  if (ext == "mkv") return "matroska";
  return ext;
}

std::string DefaultVideoEncoder(const std::string& format) {
  if (format == "mp4" || format == "mov" || format == "ipod" || format == "matroska") {
    return "libx264";
  }
  if (format == "ogg") return "libtheora";
  if (format == "webm") return "libvpx-vp9";
  if (format == "avi") return "mpeg4";
  if (format == "flv") return "flv";
  return {};
}

std::string DefaultAudioEncoder(const std::string& format) {
  if (format == "mp4" || format == "mov" || format == "ipod" || format == "matroska") return "aac";
  if (format == "ogg") return "libvorbis";
  if (format == "webm") return "libopus";
  if (format == "avi" || format == "flv") return "libmp3lame";
  return {};
}

bool IsMovieFormat(const std::string& format) {
  return !DefaultVideoEncoder(format).empty();
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::optional<double> ParseNumber(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(text->c_str(), &end);
  if (end == text->c_str() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// libopus encodes only at these rates: the requested one is raised to the next.
std::string OpusRate(const std::string& rate) {
  double wanted = ParseNumber(rate).value_or(48000);
  for (int r : {8000, 12000, 16000, 24000, 48000})
    if (wanted <= r) return std::to_string(r);
  return "48000";
}

class Rewriter {
 public:
  explicit Rewriter(const std::vector<std::string>& args) { Parse(args); }

  std::vector<std::string> Build() {
    std::vector<std::string> out = {"ffmpeg", "-nostdin"};
    if (outputs_.empty()) {  // probe: input only, nothing to rewrite
      Append(out, options_);
      return out;
    }
    size_t lastInput = 0;
    for (size_t i = 0; i < options_.size(); ++i)
      if (options_[i].name == "i") lastInput = i + 1;
    std::vector<Option> head(options_.begin(), options_.begin() + static_cast<long>(lastInput));
    std::vector<Option> tail(options_.begin() + static_cast<long>(lastInput), options_.end());
    const Option* forced = Find(tail, "f");
    if (lastInput > 0 &&
        FormatOf(forced && forced->value ? *forced->value : "", outputs_.back()) == "image2") {
      // Decoded frames look as the frame source delivers them: turned by the rotation
      // metadata (ffmpeg's default) and deinterlaced where interlaced, so that both
      // routes unwrap the same pictures. One file per frame, except where a rate is
      // given: then the frames follow their timestamps at that constant rate from the
      // file's start, repeated or dropped, so that they stay in step with the sound.
      tail.insert(tail.begin(), Option{"fps_mode", Find(tail, "r") ? "cfr" : "passthrough"});
      if (!Find(tail, "vf")) {
        tail.insert(tail.begin(), Option{"vf", "bwdif=mode=send_frame:deint=interlaced"});
      }
    }
    Append(out, head);
    Append(out, RewriteOutputOptions(tail));
    for (const auto& o : outputs_) out.push_back(o);
    return out;
  }

 private:
  void Parse(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (a.size() > 1 && a[0] == '-') {
        Option o{a.substr(1), std::nullopt};
        if (!IsFlag(o.name) && i + 1 < args.size()) o.value = args[++i];
        options_.push_back(std::move(o));
      } else {
        outputs_.push_back(a);
      }
    }
  }

  static void Append(std::vector<std::string>& out, const std::vector<Option>& options) {
    for (const auto& o : options) {
      out.push_back("-" + o.name);
      if (o.value) out.push_back(*o.value);
    }
  }

  static const Option* Find(const std::vector<Option>& options, std::string_view name) {
    for (auto it = options.rbegin(); it != options.rend(); ++it)
      if (it->name == name) return &*it;
    return nullptr;
  }

  std::vector<Option> RewriteOutputOptions(const std::vector<Option>& given) {
    const Option* forced = Find(given, "f");
    std::string format = FormatOf(forced && forced->value ? *forced->value : "", outputs_.back());
    // "m4v" is FFmpeg's raw MPEG-4 stream without sound; the .m4v movie is Apple's MP4.
    if (format == "m4v") format = "ipod";

    std::string video = DefaultVideoEncoder(format);
    std::string audio = DefaultAudioEncoder(format);
    for (const auto& o : given) {
      if (!o.value) continue;
      if (o.name == "vcodec" || o.name == "c:v" || o.name == "codec:v") video = *o.value;
      if (o.name == "acodec" || o.name == "c:a" || o.name == "codec:a") audio = *o.value;
    }
    if (audio == "mp3") audio = "libmp3lame";
    const bool x264 = video == "libx264";
    const bool vpx = video.rfind("libvpx", 0) == 0;
    const bool theora = video == "libtheora";

    bool sameq = false;
    std::optional<double> qscale;
    std::optional<double> crf;
    std::optional<std::string> subq;  // tells the codec mode: 0 "Ultra Fast", 3 "Fast"
    std::optional<std::string> bitRate;
    bool hasPixelFormat = false;
    bool hasFilter = false;
    std::vector<Option> kept;
    for (const auto& o : given) {
      if (o.name == "sameq") {
        sameq = true;
      } else if (o.name == "qscale" || o.name == "q" || o.name == "qscale:v" || o.name == "q:v") {
        qscale = ParseNumber(o.value);
      } else if (o.name == "crf") {
        crf = ParseNumber(o.value);
      } else if (o.name == "b" || o.name == "b:v") {
        bitRate = o.value;
      } else if (o.name == "f") {
        kept.push_back({"f", format});
      } else if (o.name == "acodec" && o.value == "mp3") {
        kept.push_back({"acodec", audio});
      } else if (o.name == "ar" && audio == "libopus" && o.value) {
        kept.push_back({"ar", OpusRate(*o.value)});
      } else if (o.name == "partitions" && x264) {
        kept.push_back({"partitions", X264Partitions(o.value.value_or(""))});
      } else if (IsX264Tuning(o.name) && !x264) {
        if (o.name == "subq") subq = o.value;
        // dropped: tuning of another encoder
      } else {
        hasPixelFormat |= o.name == "pix_fmt";
        hasFilter |= o.name == "vf" || o.name == "filter:v";
        kept.push_back(o);
      }
    }

    if (bitRate) kept.push_back({"b:v", *bitRate});
    // AVI keeps no presentation times: players time its pictures by their decoding
    // order, so pictures reordered for B-frames would come two frames after the sound.
    if (format == "avi" && x264) kept.push_back({"bf", "0"});
    AddQuality(kept, x264, vpx, theora, video.empty(), sameq, qscale, crf, bitRate);
    if (vpx) AddVpxSpeed(kept, ParseNumber(subq));

    if (format == "image2" && !hasPixelFormat) {
      // The decoded frames are read back as 24-bit pictures.
      kept.push_back({"pix_fmt", "bgr24"});
    } else if (IsMovieFormat(format)) {
      // An output rate is meant as a constant one, also where the container would
      // keep the input's timing (WebM), so every container gets the same frames.
      // Each output frame is the input frame on screen at its time, as in one pass.
      const Option* rate = Find(kept, "r");
      const std::string fps =
          rate && rate->value ? "fps=" + *rate->value + ":round=up," : std::string();
      if (rate) kept.push_back({"fps_mode", "cfr"});
      // 4:2:0 is what every player shows, and it needs even sizes: an odd last
      // column or row is cut off rather than the picture stretched.
      if (!hasFilter) kept.push_back({"vf", fps + "crop=trunc(iw/2)*2:trunc(ih/2)*2"});
      if (EndsWith(video, "_vaapi")) {
        // A VA-API encoder takes its frames in the device's memory.
        AppendFilter(kept, "format=nv12,hwupload");
      } else if (!hasPixelFormat) {
        // Quick Sync encodes from NV12 only.
        kept.push_back({"pix_fmt", EndsWith(video, "_qsv") ? "nv12" : "yuv420p"});
      }
    }
    return kept;
  }

  static bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
  }

  static void AppendFilter(std::vector<Option>& kept, const std::string& filter) {
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
      if ((it->name == "vf" || it->name == "filter:v") && it->value) {
        *it->value += "," + filter;
        return;
      }
    }
    kept.push_back({"vf", filter});
  }

  // VP9 at its default speed takes several times as long as x264; the fast codec
  // modes choose its real-time speeds, the others a moderate good-quality speed.
  static void AddVpxSpeed(std::vector<Option>& kept, std::optional<double> subq) {
    if (subq && *subq <= 0) {
      kept.push_back({"deadline", "realtime"});
      kept.push_back({"cpu-used", "8"});
    } else if (subq && *subq <= 3) {
      kept.push_back({"deadline", "realtime"});
      kept.push_back({"cpu-used", "6"});
    } else {
      kept.push_back({"cpu-used", "4"});
    }
  }

  // Quality: -sameq is gone and -qscale means something else to every encoder, so
  // both become each encoder's own constant-quality setting. Quality 1 is the best
  // and 21 the smallest file, the default (-sameq) lies near the x264 default.
  static void AddQuality(std::vector<Option>& kept, bool x264, bool vpx, bool theora, bool noVideo,
                         bool sameq, std::optional<double> qscale, std::optional<double> crf,
                         const std::optional<std::string>& bitRate) {
    if (noVideo) return;
    if (x264) {
      if (!crf && (sameq || qscale)) crf = sameq ? 22.0 : *qscale + 10.0;
      if (crf) {
        kept.push_back({"crf", Number(std::clamp(*crf, 0.0, 51.0))});
        // A chosen bit rate still caps the constant-quality stream.
        if (bitRate) {
          kept.push_back({"maxrate", *bitRate});
          kept.push_back({"bufsize", *bitRate});
        }
      }
    } else if (vpx) {
      if (!crf && (sameq || qscale)) crf = sameq ? 31.0 : 10.0 + 2.0 * *qscale;
      if (crf) {
        kept.push_back({"crf", Number(std::clamp(std::round(*crf), 0.0, 63.0))});
        if (!bitRate) kept.push_back({"b:v", "0"});
      }
      kept.push_back({"row-mt", "1"});
    } else if (theora) {
      // Theora counts quality upwards from 0 to 10; a bit rate alone sets the rate.
      if (qscale && !sameq) {
        kept.push_back({"q:v", Number(std::clamp(10.0 - (*qscale - 1.0) / 2.0, 0.0, 10.0))});
      } else if (sameq && !bitRate) {
        kept.push_back({"q:v", "7"});
      }
    } else if (crf && !sameq && !qscale) {
      // An encoder whose own scale the command already gives (x265, SVT-AV1).
      kept.push_back({"crf", Number(*crf)});
    } else if (sameq || qscale) {
      kept.push_back({"q:v", Number(sameq ? 2.0 : std::clamp(*qscale, 1.0, 31.0))});
    }
  }

  std::vector<Option> options_;
  std::vector<std::string> outputs_;
};

}  // namespace

std::string X264Partitions(const std::string& flags) {
  std::string list;
  size_t pos = 0;
  while (pos < flags.size()) {
    char sign = flags[pos];
    size_t next = flags.find_first_of("+-", pos + 1);
    std::string name =
        flags.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
    if (sign == '+' && name.rfind("part", 0) == 0) {
      if (!list.empty()) list += ',';
      list += name.substr(4);
    }
    pos = next == std::string::npos ? flags.size() : next;
  }
  return list.empty() ? "none" : list;
}

std::vector<std::string> RewriteForFfmpeg(const std::vector<std::string>& args) {
  return Rewriter(args).Build();
}

}  // namespace corvinex
