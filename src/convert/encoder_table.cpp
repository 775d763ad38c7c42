#include "convert/encoder_table.h"

#include <algorithm>
#include <array>

namespace corvinex {
namespace {

struct CodecInfo {
  Codec codec;
  std::string_view word;
  std::string_view label;
};

constexpr std::array<CodecInfo, 5> kCodecs = {{
    {Codec::Default, "", "the container's default"},
    {Codec::H264, "h264", "H.264"},
    {Codec::H265, "h265", "H.265"},
    {Codec::AV1, "av1", "AV1"},
    {Codec::VP9, "vp9", "VP9"},
}};

struct ContainerCodecs {
  std::string_view extension;
  Codec own;  // written when no codec is chosen
  std::array<Codec, 3> holds;
};

// Default fills the unused places. Ogg holds only its own Theora.
constexpr std::array<ContainerCodecs, 9> kContainers = {{
    {".mp4", Codec::H264, {Codec::H264, Codec::H265, Codec::AV1}},
    {".m4v", Codec::H264, {Codec::H264, Codec::Default, Codec::Default}},
    {".mov", Codec::H264, {Codec::H264, Codec::H265, Codec::Default}},
    {".mkv", Codec::H264, {Codec::H264, Codec::H265, Codec::AV1}},
    {".flv", Codec::H264, {Codec::H264, Codec::Default, Codec::Default}},
    {".avi", Codec::H264, {Codec::H264, Codec::Default, Codec::Default}},
    {".webm", Codec::VP9, {Codec::VP9, Codec::AV1, Codec::Default}},
    {".ogg", Codec::Default, {Codec::Default, Codec::Default, Codec::Default}},
    {".ogv", Codec::Default, {Codec::Default, Codec::Default, Codec::Default}},
}};

const ContainerCodecs* ContainerOf(std::string_view extension) {
  auto it = std::find_if(kContainers.begin(), kContainers.end(),
                         [&](const ContainerCodecs& c) { return c.extension == extension; });
  return it == kContainers.end() ? nullptr : &*it;
}

}  // namespace

std::string_view CodecWord(Codec codec) {
  for (const CodecInfo& info : kCodecs)
    if (info.codec == codec) return info.word;
  return {};
}

std::optional<Codec> CodecFromWord(std::string_view word) {
  for (const CodecInfo& info : kCodecs)
    if (!info.word.empty() && info.word == word) return info.codec;
  return std::nullopt;
}

std::string_view CodecLabel(Codec codec) {
  for (const CodecInfo& info : kCodecs)
    if (info.codec == codec) return info.label;
  return kCodecs[0].label;
}

const std::vector<EncoderRow>& EncoderRows() {
  static const std::vector<EncoderRow> rows = {
      {"libx264", Codec::H264, Device::None},     {"libx265", Codec::H265, Device::None},
      {"libsvtav1", Codec::AV1, Device::None},    {"libvpx-vp9", Codec::VP9, Device::None},
      {"h264_vaapi", Codec::H264, Device::Vaapi}, {"hevc_vaapi", Codec::H265, Device::Vaapi},
      {"av1_vaapi", Codec::AV1, Device::Vaapi},   {"h264_nvenc", Codec::H264, Device::Nvenc},
      {"hevc_nvenc", Codec::H265, Device::Nvenc}, {"av1_nvenc", Codec::AV1, Device::Nvenc},
      {"h264_qsv", Codec::H264, Device::Qsv},     {"hevc_qsv", Codec::H265, Device::Qsv},
      {"av1_qsv", Codec::AV1, Device::Qsv},
  };
  return rows;
}

const EncoderRow* FindEncoder(std::string_view name) {
  const auto& rows = EncoderRows();
  auto it =
      std::find_if(rows.begin(), rows.end(), [&](const EncoderRow& r) { return r.name == name; });
  return it == rows.end() ? nullptr : &*it;
}

const EncoderRow& SoftwareEncoder(Codec codec) {
  for (const EncoderRow& row : EncoderRows())
    if (row.codec == codec && row.device == Device::None) return row;
  return EncoderRows().front();
}

Codec ContainerDefaultCodec(std::string_view extension) {
  const ContainerCodecs* c = ContainerOf(extension);
  return c == nullptr ? Codec::Default : c->own;
}

bool ContainerHolds(std::string_view extension, Codec codec) {
  const ContainerCodecs* c = ContainerOf(extension);
  if (c == nullptr) return false;
  if (codec == Codec::Default) return true;
  return std::find(c->holds.begin(), c->holds.end(), codec) != c->holds.end();
}

std::string ContainersFor(Codec codec) {
  std::string list;
  for (const ContainerCodecs& c : kContainers) {
    if (codec != Codec::Default && !ContainerHolds(c.extension, codec)) continue;
    list += (list.empty() ? "" : " ") + std::string(c.extension);
  }
  return list;
}

std::string CodecRefusal(std::string_view extension, Codec codec) {
  if (ContainerHolds(extension, codec) || ContainerOf(extension) == nullptr) return {};
  return "A " + std::string(extension) + " movie cannot hold " + std::string(CodecLabel(codec)) +
         ": choose one of " + ContainersFor(codec) + " for it.";
}

const EncoderRow* ChosenEncoder(std::string_view extension, Codec codec,
                                std::string_view encoderName) {
  if (codec == Codec::Default || !ContainerHolds(extension, codec)) return nullptr;
  const EncoderRow* named = FindEncoder(encoderName);
  if (named != nullptr && named->codec == codec && named->device != Device::None) return named;
  if (codec == ContainerDefaultCodec(extension)) return nullptr;
  return &SoftwareEncoder(codec);
}

// H.264 keeps the x264 scale the container rows have always used (CRF = quality + 10,
// 22 by default). H.265 and AV1 are placed so that each step gives about the same
// picture as H.264's: x265 looks alike about 5 CRF higher, SVT-AV1's 0..63 scale is
// about twice as fine.
int32_t EncoderQuality(const EncoderRow& row, int32_t quality) {
  const bool chosen = quality >= 1 && quality <= 21;
  switch (row.codec) {
    case Codec::H265:
      return chosen ? quality + 15 : 27;
    case Codec::AV1:
      return chosen ? 2 * quality + 11 : 35;
    case Codec::VP9:
      return chosen ? 2 * quality + 10 : 31;
    default:
      return chosen ? quality + 10 : 22;
  }
}

std::string EncoderQualityPiece(const EncoderRow& row, int32_t quality) {
  const int32_t q = EncoderQuality(row, quality);
  const std::string n = std::to_string(q);
  switch (row.device) {
    case Device::Vaapi:
      // VA-API's AV1 counts its quantiser on 0..255.
      return " -rc_mode CQP -qp " + std::to_string(row.codec == Codec::AV1 ? 4 * q : q) + " ";
    case Device::Nvenc:
      return " -rc vbr -cq " + n + " -b:v 0 ";
    case Device::Qsv:
      return " -global_quality " + n + " ";
    case Device::None:
      break;
  }
  return " -crf " + n + " ";
}

std::string EncoderSpeedPiece(const EncoderRow& row, int32_t codecMode) {
  if (row.device != Device::None) return {};
  // Index: codec mode 0 (auto) .. 5. Auto is a speed for everyday use at 4K.
  static constexpr std::array<std::string_view, 6> kX265 = {"fast",     "ultrafast", "superfast",
                                                            "veryfast", "slow",      "medium"};
  static constexpr std::array<std::string_view, 6> kSvt = {"8", "12", "10", "9", "4", "6"};
  const auto mode = static_cast<size_t>(std::clamp(codecMode, 0, 5));
  if (row.codec == Codec::H265) return " -preset " + std::string(kX265[mode]) + " ";
  if (row.codec == Codec::AV1) return " -preset " + std::string(kSvt[mode]) + " ";
  return {};
}

std::string_view DeviceInputPiece(Device device) {
  return device == Device::Vaapi ? " -vaapi_device /dev/dri/renderD128 " : "";
}

}  // namespace corvinex
