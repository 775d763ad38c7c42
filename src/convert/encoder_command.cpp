#include "convert/encoder_command.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <system_error>

#include "convert/temp_files.h"
#include "media/movie_info.h"
#include "media/yuv420_converter.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// Key-frame and rate-control options shared by the codec modes.
constexpr std::string_view kGop =
    " -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 "
    "-qmax 51 -qdiff 4 ";
constexpr std::string_view kMaxFirst =
    " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
    "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 8 ";

std::string CodecModePiece(int32_t mode) {
  switch (mode) {
    case 1:
      return std::string(
                 " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
                 "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8  -subq 0 -me_range 16 ") +
             std::string(kGop);
    case 2:
      return std::string(
                 " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
                 "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16 ") +
             std::string(kGop);
    case 3:
      return std::string(
                 " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
                 "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 5 -me_range 16 ") +
             std::string(kGop);
    case 4:
      return std::string(kMaxFirst) +
             " -me_range 16 -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 "
             "-qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 -refs 16 ";
    case 5:
      return std::string(kMaxFirst) +
             " -me_range 16 -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 "
             "-qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 -refs 4 ";
    default:
      return {};
  }
}

std::string BitRatePiece(int32_t bitRate) {
  static constexpr std::array<std::string_view, 9> kRates = {
      "500k", "700k", "900k", "1200k", "1500k", "2000k", "3000k", "4000k", "5000k"};
  if (bitRate < 1 || bitRate > 9) return {};
  return " -b " + std::string(kRates[static_cast<size_t>(bitRate - 1)]) + " ";
}

std::string SizePiece(int32_t resize, int32_t width, int32_t height) {
  if (resize < 1 || resize > 5) return {};
  const PictureSize size = ExportPictureSize(resize, width, height);
  return " -s " + std::to_string(size.width) + "x" + std::to_string(size.height) + " ";
}

std::string AudioRatePiece(int32_t audioRate, std::string_view extension) {
  switch (audioRate) {
    case 1:
      return extension == ".flv" ? " -ar 44100 " : " -ar 48000 ";
    case 3:
      return " -ar 22050 ";
    case 4:
      return " -ar 11025 ";
    default:
      return " -ar 44100 ";
  }
}

struct ContainerRow {
  std::string_view extension;
  std::string_view videoPiece;
  std::string_view format;
  bool crfQuality;  // quality by -crf (q + 10) rather than -qscale q
};

constexpr std::array<ContainerRow, 9> kContainers = {{
    {".flv", " -vcodec libx264 -acodec mp3 ", "flv", true},
    {".mov", " -vcodec libx264 -acodec mp3 ", "mov", true},
    {".avi", " -vcodec libx264 -acodec pcm_s16le ", "avi", true},
    {".mp4", " -r 30 ", "mp4", false},
    {".m4v", " -r 30 ", "m4v", false},
    {".ogg", " -r 30 ", "ogg", false},
    {".ogv", " -r 30 ", "ogg", false},
    {".webm", " -r 30 ", "webm", false},
    {".mkv", " -vcodec libx264 -acodec aac ", "matroska", true},
}};

std::string QualityPiece(const ContainerRow& row, int32_t q) {
  std::string format = " -f " + std::string(row.format) + " ";
  if (q <= 0) return (row.crfQuality ? " -crf 22 -qscale 15" : " -sameq -qscale 15") + format;
  if (row.crfQuality) return " -crf " + std::to_string(q + 10) + format;
  return " -qscale " + std::to_string(q) + format;
}

const ContainerRow* RowOf(std::string_view extension) {
  auto row = std::find_if(kContainers.begin(), kContainers.end(),
                          [&](const ContainerRow& r) { return r.extension == extension; });
  return row == kContainers.end() ? nullptr : &*row;
}

// Rows that play at a rate of their own (" -r 30 "): in one pass the picture's end is
// not known in advance for a duration limit, so the fps filter converts the rate. Its
// stamps rounded up, each output frame is the input frame on screen at its time (a
// 120 fps movie gives frames 0, 4, 8 ...; rounded to the nearest, 1, 5, 9 ...). The
// crop keeps the even size the encoder tool gives a movie without a filter of its own.
std::string RateFilterPiece(const ContainerRow& row) {
  const size_t at = row.videoPiece.find("-r ");
  if (at == std::string_view::npos) return {};
  std::string_view rate = row.videoPiece.substr(at + 3);
  rate = rate.substr(0, rate.find(' '));
  return " -vf fps=" + std::string(rate) + ":round=up,crop=trunc(iw/2)*2:trunc(ih/2)*2 ";
}

// The input movie's tags, each one argument whatever its text.
void TagPieces(CommandLine& c, const MovieTags& tags) {
  for (const auto& [key, value] : tags.container) c.Text(" -metadata ").Quoted(key + "=" + value);
  if (!tags.soundLanguage.empty()) {
    c.Text(" -metadata:s:a:0 ").Quoted("language=" + tags.soundLanguage);
  }
}

// A chosen codec's video and sound codecs, in place of the container's own; the rate
// the container plays at stays.
std::string EncoderVideoPiece(const ContainerRow& row, const EncoderRow& encoder) {
  const bool ownRate = row.videoPiece.find("-r ") != std::string_view::npos;
  std::string piece = ownRate ? " -r 30 " : " ";
  piece += "-vcodec " + std::string(encoder.name);
  piece += row.extension == ".webm" ? " -acodec libopus " : " -acodec aac ";
  // Apple's players and browsers open H.265 in MP4 and QuickTime only under this tag.
  if (encoder.codec == Codec::H265 && (row.format == "mp4" || row.format == "mov")) {
    piece += "-tag:v hvc1 ";
  }
  return piece;
}

// A bit rate caps the constant-quality stream of a chosen codec.
std::string EncoderRatePiece(int32_t bitRate) {
  const std::string rate = BitRatePiece(bitRate);
  if (rate.empty()) return {};
  const std::string value = rate.substr(4, rate.size() - 5);
  return " -maxrate " + value + " -bufsize " + value + " ";
}

// The output side shared by the spooled export and the one-pass export: the
// container's codecs, the duration limit, bit rate, codec mode, size and quality.
void OutputPieces(CommandLine& c, const ContainerRow& row, const ExportSettings& s) {
  const EncoderRow* encoder = ChosenEncoder(row.extension, s.codec, s.encoder);
  // Without a known duration the limit is left out rather than given an empty value.
  std::string limit = s.durationText.empty() ? std::string() : " -t " + s.durationText;
  if (encoder == nullptr) {
    c.Text(row.videoPiece);
    c.Text(limit + BitRatePiece(s.bitRate) + CodecModePiece(s.codecMode) +
           SizePiece(s.resize, s.pictureWidth, s.pictureHeight));
    c.Text(QualityPiece(row, s.quality));
  } else {
    c.Text(EncoderVideoPiece(row, *encoder));
    c.Text(limit + EncoderRatePiece(s.bitRate) + EncoderSpeedPiece(*encoder, s.codecMode) +
           SizePiece(s.resize, s.pictureWidth, s.pictureHeight));
    c.Text(EncoderQualityPiece(*encoder, s.quality) + "-f " + std::string(row.format) + " ");
  }
  TagPieces(c, s.tags);
  c.Text(" -y ").File(s.output.string());
}

// Options a device needs before the inputs; none for software.
std::string DevicePiece(const ContainerRow& row, const ExportSettings& s) {
  const EncoderRow* encoder = ChosenEncoder(row.extension, s.codec, s.encoder);
  return encoder == nullptr ? std::string() : std::string(DeviceInputPiece(encoder->device));
}

}  // namespace

std::string ExportEncoderName(const ExportSettings& s) {
  const std::string extension = OutputExtension(s.output);
  if (const EncoderRow* encoder = ChosenEncoder(extension, s.codec, s.encoder)) {
    return std::string(encoder->name);
  }
  if (extension == ".ogg" || extension == ".ogv") return "libtheora";
  return std::string(SoftwareEncoder(ContainerDefaultCodec(extension)).name);
}

PictureSize ExportPictureSize(int32_t resize, int32_t width, int32_t height) {
  if (resize < 1 || resize > 5) return {width, height};
  // Both sides by the same factor, each to the nearest even number (4:2:0 needs even
  // sides): rounding to blocks of 16 squashed small pictures visibly. Whole percents in
  // 64-bit integers, so that a side ending in .5 of two rounds up whatever the size.
  const int64_t percent = 100 - 10 * int64_t{resize};
  auto scaled = [percent](int32_t n) {
    const int64_t even = (percent * std::max<int64_t>(n, 0) + 100) / 200 * 2;
    return static_cast<int32_t>(std::max<int64_t>(even, 2));
  };
  return {scaled(width), scaled(height)};
}

bool ExportHonoursBitRate(const fs::path& output) {
  // The x264 rows give -crf, which overrides a bit rate; Theora takes -qscale.
  const std::string extension = OutputExtension(output);
  return extension == ".mp4" || extension == ".m4v" || extension == ".webm";
}

bool ExportHonoursBitRate(const fs::path& output, Codec codec) {
  return ChosenEncoder(OutputExtension(output), codec, {}) != nullptr ||
         ExportHonoursBitRate(output);
}

fs::path EncoderToolPath(const fs::path& programFolder) {
  return programFolder / "PLUG-IN" / "ffmpeg_III";
}

CommandLine SoundExtractionCommand(const fs::path& tool, const fs::path& movie,
                                   const fs::path& tempFolder) {
  CommandLine c;
  c.Bare(tool.string()).Text(" -i ").File(movie.string());
  // Silence before a sound that starts after the picture (and in gaps), so that the
  // track starts with the file, as the picture's frames do.
  c.Text(" -af aresample=async=1:first_pts=0");
  c.Text(" -f wav -ar 44100 -ac 2 -acodec pcm_s16le -y ").File(SoundFilePath(tempFolder).string());
  return c;
}

CommandLine FrameDecodingCommand(const fs::path& tool, const fs::path& movie,
                                 const fs::path& tempFolder, int64_t timePerFrame) {
  CommandLine c;
  c.Bare(tool.string()).Text("  -i ").File(movie.string());
  if (timePerFrame > 0) c.Text(RatePiece(timePerFrame));
  c.Text(" -y ").File(SpoolPattern(tempFolder).string());
  return c;
}

CommandLine MovieConversionCommand(const fs::path& tool, const fs::path& input,
                                   const fs::path& output) {
  CommandLine c;
  c.Bare(tool.string()).Text(" -i ").File(input.string());
  c.Text(" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y ").File(output.string());
  return c;
}

std::string OutputExtension(const fs::path& output) {
  std::string ext = output.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

bool ExportExtensionKnown(const fs::path& output) {
  const std::string extension = OutputExtension(output);
  return std::any_of(kContainers.begin(), kContainers.end(),
                     [&](const ContainerRow& r) { return r.extension == extension; });
}

std::string ExportExtensionList() {
  std::string list;
  for (const ContainerRow& row : kContainers)
    list += (list.empty() ? "" : " ") + std::string(row.extension);
  return list;
}

int32_t QualityFromText(std::string_view text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min<int64_t>(value * 10 + (c - '0'), INT32_MAX);
  }
  return static_cast<int32_t>(value);
}

bool SoundTrackUsable(const fs::path& tempFolder) {
  std::error_code ec;
  auto size = fs::file_size(SoundFilePath(tempFolder), ec);
  return !ec && size > 0;
}

std::string RatePiece(int64_t timePerFrame) {
  if (timePerFrame <= 0) return " -r 30 ";
  // The label's text, which ignores the user's locale: a decimal comma would make
  // the tool refuse the rate.
  return " -r " + FrameRateText(timePerFrame) + " ";
}

CommandLine ExportCommand(const fs::path& tool, const fs::path& tempFolder,
                          const ExportSettings& s) {
  std::string extension = OutputExtension(s.output);
  const ContainerRow* row = RowOf(extension);
  if (row == nullptr) return {};

  CommandLine c;
  c.Quoted(tool.string()).Text(" ");
  c.Text(DevicePiece(*row, s));
  c.Text(RatePiece(s.timePerFrame));
  c.Text("-i ").File(SpoolPattern(tempFolder).string()).Text(" ");
  if (s.soundAvailable) {
    c.Text("-i ").File(SoundFilePath(tempFolder).string());
    c.Text(s.channels == 1 ? " -ac 1 " : " -ac 2 ");
    c.Text(AudioRatePiece(s.audioRate, extension));
  } else {
    c.Text(" ");
  }
  OutputPieces(c, *row, s);
  return c;
}

bool OnePassTakesYuv420(const ExportSettings& s) {
  return s.pictureWidth >= 2 && s.pictureHeight >= 2 &&
         SizePiece(s.resize, s.pictureWidth, s.pictureHeight).empty();
}

CommandLine OnePassCommand(const fs::path& tool, const fs::path& movie, const ExportSettings& s) {
  const std::string extension = OutputExtension(s.output);
  const ContainerRow* row = RowOf(extension);
  if (row == nullptr || s.pictureWidth <= 0 || s.pictureHeight <= 0) return {};

  const bool yuv = OnePassTakesYuv420(s);
  const int32_t width = yuv ? Yuv420Converter::Even(s.pictureWidth) : s.pictureWidth;
  const int32_t height = yuv ? Yuv420Converter::Even(s.pictureHeight) : s.pictureHeight;
  CommandLine c;
  c.Quoted(tool.string()).Text(DevicePiece(*row, s));
  c.Text(yuv ? " -f rawvideo -pix_fmt yuv420p -s " : " -f rawvideo -pix_fmt bgr0 -s ");
  c.Text(std::to_string(width) + "x" + std::to_string(height) + " ");
  c.Text(RatePiece(s.timePerFrame));
  // Two frames waiting in the encoder are enough to keep it busy; its default of
  // eight holds 6 MB more at 1080p without making it any faster.
  c.Text("-thread_queue_size 2 -i pipe:0 -i ").File(movie.string());
  // The movie's first sound track, placed as the spooled route's extraction places
  // it: from the file's start, silence before a late sound and in gaps. Padded at
  // the end and cut with the picture, whose length is known only when the frames end.
  c.Text(" -map 0:v -map 1:a:0? -af aresample=async=1:first_pts=0,apad -shortest ");
  c.Text(s.channels == 1 ? " -ac 1 " : " -ac 2 ");
  c.Text(AudioRatePiece(s.audioRate, extension));
  c.Text(RateFilterPiece(*row));
  ExportSettings unlimited = s;
  unlimited.durationText.clear();
  OutputPieces(c, *row, unlimited);
  return c;
}

}  // namespace corvinex
