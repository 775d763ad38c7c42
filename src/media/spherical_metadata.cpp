#include "media/spherical_metadata.h"

#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/spherical.h>
#include <libavutil/stereo3d.h>
}

#include "convert/encoder_command.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// The muxer that rewrites a container of this extension; nullptr for none. The
// QuickTime muxer writes no spherical boxes, so a .mov is rewritten by the MP4
// muxer under its own brand, which QuickTime players read alike.
const char* MuxerFor(const std::string& extension) {
  if (extension == ".mp4" || extension == ".m4v" || extension == ".mov") return "mp4";
  if (extension == ".webm") return "webm";
  // Matroska keeps the mapping in its Projection element and the layout in StereoMode.
  if (extension == ".mkv") return "matroska";
  return nullptr;
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// A "file:" address, so that a name with a colon or a leading "-" is never taken
// for a protocol or an option.
std::string FileAddress(const fs::path& file) {
  return "file:" + fs::absolute(file).string();
}

struct Remux {
  AVFormatContext* in = nullptr;
  AVFormatContext* out = nullptr;
  AVPacket* packet = av_packet_alloc();
  ~Remux() {
    av_packet_free(&packet);
    if (out != nullptr) {
      if (out->pb != nullptr) avio_closep(&out->pb);
      avformat_free_context(out);
    }
    avformat_close_input(&in);
  }
};

bool AddPictureMetadata(AVStream* stream, StereoLayout layout) {
  size_t size = 0;
  AVSphericalMapping* mapping = av_spherical_alloc(&size);
  if (mapping == nullptr) return false;
  mapping->projection = AV_SPHERICAL_EQUIRECTANGULAR;
  if (av_stream_add_side_data(stream, AV_PKT_DATA_SPHERICAL, reinterpret_cast<uint8_t*>(mapping),
                              size) < 0) {
    av_free(mapping);
    return false;
  }
  auto* stereo = reinterpret_cast<AVStereo3D*>(
      av_stream_new_side_data(stream, AV_PKT_DATA_STEREO3D, sizeof(AVStereo3D)));
  if (stereo == nullptr) return false;
  *stereo = AVStereo3D{};
  stereo->type = layout == StereoLayout::TopBottom ? AV_STEREO3D_TOPBOTTOM : AV_STEREO3D_2D;
  return true;
}

// Copies what describes a stream besides its packets.
bool CopyStream(const AVStream* from, AVStream* to) {
  if (avcodec_parameters_copy(to->codecpar, from->codecpar) < 0) return false;
  to->codecpar->codec_tag = 0;
  to->time_base = from->time_base;
  to->avg_frame_rate = from->avg_frame_rate;
  to->r_frame_rate = from->r_frame_rate;
  to->disposition = from->disposition;
  av_dict_copy(&to->metadata, from->metadata, 0);
  for (int i = 0; i < from->nb_side_data; ++i) {
    const AVPacketSideData& data = from->side_data[i];
    if (data.type == AV_PKT_DATA_SPHERICAL || data.type == AV_PKT_DATA_STEREO3D) continue;
    uint8_t* copy = av_stream_new_side_data(to, data.type, data.size);
    if (copy == nullptr) return false;
    std::copy(data.data, data.data + data.size, copy);
  }
  return true;
}

// Writes `target` as `source` with the metadata; "" on success, else the reason.
std::string RemuxWithMetadata(const fs::path& source, const fs::path& target, const char* muxer,
                              StereoLayout layout) {
  Remux r;
  if (r.packet == nullptr) return "out of memory";
  int code = avformat_open_input(&r.in, FileAddress(source).c_str(), nullptr, nullptr);
  if (code < 0) return "cannot read the movie: " + ErrorText(code);
  code = avformat_find_stream_info(r.in, nullptr);
  if (code < 0) return "cannot read the movie's streams: " + ErrorText(code);
  code = avformat_alloc_output_context2(&r.out, nullptr, muxer, nullptr);
  if (code < 0) return "no " + std::string(muxer) + " muxer: " + ErrorText(code);
  // The MP4 family writes the spherical boxes only at this strictness.
  r.out->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
  av_dict_copy(&r.out->metadata, r.in->metadata, 0);

  bool marked = false;
  for (unsigned i = 0; i < r.in->nb_streams; ++i) {
    AVStream* from = r.in->streams[i];
    AVStream* to = avformat_new_stream(r.out, nullptr);
    if (to == nullptr || !CopyStream(from, to)) return "cannot copy stream " + std::to_string(i);
    if (!marked && from->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (!AddPictureMetadata(to, layout)) return "cannot attach the spherical mapping";
      marked = true;
    }
  }
  if (!marked) return "the movie has no picture stream";

  AVDictionary* options = nullptr;
  // Keep the brand the encoder chose (an .m4v stays "M4V ").
  if (const AVDictionaryEntry* brand = av_dict_get(r.in->metadata, "major_brand", nullptr, 0);
      brand != nullptr && std::string_view(muxer) == "mp4") {
    av_dict_set(&options, "brand", brand->value, 0);
  }
  code = avio_open(&r.out->pb, FileAddress(target).c_str(), AVIO_FLAG_WRITE);
  if (code < 0) {
    av_dict_free(&options);
    return "cannot write " + target.string() + ": " + ErrorText(code);
  }
  code = avformat_write_header(r.out, &options);
  av_dict_free(&options);
  if (code < 0) return "cannot start the new movie: " + ErrorText(code);

  while ((code = av_read_frame(r.in, r.packet)) >= 0) {
    const AVStream* from = r.in->streams[r.packet->stream_index];
    const AVStream* to = r.out->streams[r.packet->stream_index];
    av_packet_rescale_ts(r.packet, from->time_base, to->time_base);
    r.packet->pos = -1;
    code = av_interleaved_write_frame(r.out, r.packet);
    if (code < 0) return "cannot write a packet: " + ErrorText(code);
  }
  if (code != AVERROR_EOF) return "cannot read a packet: " + ErrorText(code);
  code = av_write_trailer(r.out);
  if (code < 0) return "cannot finish the new movie: " + ErrorText(code);
  code = avio_closep(&r.out->pb);
  if (code < 0) return "cannot finish the new movie: " + ErrorText(code);
  return {};
}

}  // namespace

SphericalResult AddSphericalMetadata(const fs::path& movie, StereoLayout layout) {
  const char* muxer = MuxerFor(OutputExtension(movie));
  if (muxer == nullptr) return {SphericalStatus::NotCarried, {}};

  fs::path partial = movie;
  partial += ".360-partial";
  std::string reason = RemuxWithMetadata(movie, partial, muxer, layout);
  std::error_code error;
  if (reason.empty()) {
    fs::rename(partial, movie, error);
    if (!error) return {SphericalStatus::Marked, {}};
    reason = "cannot replace the movie: " + error.message();
  }
  fs::remove(partial, error);
  return {SphericalStatus::Failed, reason};
}

std::string SphericalLogText(const SphericalResult& result, const fs::path& movie) {
  switch (result.status) {
    case SphericalStatus::Marked:
      return "Spherical metadata added to " + movie.string();
    case SphericalStatus::NotCarried:
      return "Spherical metadata: " + movie.extension().string() +
             " cannot carry it, the movie is left as written";
    case SphericalStatus::Failed:
      break;
  }
  return "Spherical metadata not added (" + result.reason + "), the movie is left as written";
}

}  // namespace corvinex
