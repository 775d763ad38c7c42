#pragma once
// The encoders a movie can be written with: one row per encoder (its codec, whether
// it needs a device, its quality scale and the options it needs), and which
// containers hold which codec. Choosing no codec keeps each container's own command.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvinex {

// The user's codec choice; Default is the container's own (H.264, or VP9 in WebM,
// Theora in Ogg) with its long-standing command line.
enum class Codec : int32_t { Default = 0, H264 = 1, H265 = 2, AV1 = 3, VP9 = 4 };

// "h264", "h265", "av1", "vp9" ("" for Default) and back; nullopt for another word.
std::string_view CodecWord(Codec codec);
std::optional<Codec> CodecFromWord(std::string_view word);
// "H.264", "H.265", "AV1", "VP9"; "the container's default" for Default.
std::string_view CodecLabel(Codec codec);

enum class Device { None, Vaapi, Nvenc, Qsv };

struct EncoderRow {
  std::string_view name;  // the encoder tool's name ("libx265", "hevc_vaapi")
  Codec codec;
  Device device;
};

// Every encoder, software ones first (one per codec).
const std::vector<EncoderRow>& EncoderRows();
const EncoderRow* FindEncoder(std::string_view name);
// The software encoder of a codec (libx264, libx265, libsvtav1, libvpx-vp9).
const EncoderRow& SoftwareEncoder(Codec codec);

// The codec a container writes when none is chosen (Default for Ogg's Theora).
Codec ContainerDefaultCodec(std::string_view extension);
// Whether the container of `extension` (".mkv") holds `codec`; Default always fits a
// known container.
bool ContainerHolds(std::string_view extension, Codec codec);
// The extensions that hold `codec`, as ".mp4 .mov .mkv".
std::string ContainersFor(Codec codec);
// Why `codec` cannot be written to `extension` with the containers that can; empty
// when it can.
std::string CodecRefusal(std::string_view extension, Codec codec);

// The run's encoder for `extension`: nullptr when the long-standing command applies
// (no codec chosen, or the container's own codec in software).
const EncoderRow* ChosenEncoder(std::string_view extension, Codec codec,
                                std::string_view encoderName);

// The quality list's value (0 "Default", 1 best .. 21 smallest) on the encoder's own
// scale, and the option that sets it (" -crf 27 ", " -rc_mode CQP -qp 22 ").
int32_t EncoderQuality(const EncoderRow& row, int32_t quality);
std::string EncoderQualityPiece(const EncoderRow& row, int32_t quality);
// The codec mode (0 auto, 1 fastest .. 5) as the encoder's speed preset; empty where
// the encoder keeps its own.
std::string EncoderSpeedPiece(const EncoderRow& row, int32_t codecMode);
// Options the device needs before the inputs (" -vaapi_device /dev/dri/renderD128 ").
std::string_view DeviceInputPiece(Device device);

}  // namespace corvinex
