#include "media/frame_sampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "media/display_turn.h"
#include "media/photo_decode.h"

namespace corvinex {
namespace {

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof(text));
  return text;
}

// A broken file must not keep the search decoding for ever: packets read per seek.
constexpr int32_t kPacketsPerSeek = 600;
// Frames taken from the start when no seek gives one: every fourth, so the scene moves.
constexpr int32_t kRewoundSpacing = 4;

struct Decoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* grey = nullptr;
  int stream = -1;
  bool drained = false;

  ~Decoder() {
    sws_freeContext(scaler);
    av_frame_free(&grey);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  // The next frame that decodes cleanly into `frame`; false at the end, on a read
  // error or when the packet budget is spent.
  bool NextFrame() {
    for (int32_t packets = 0; packets < kPacketsPerSeek;) {
      const int received = avcodec_receive_frame(codec, frame);
      if (received == 0) {
        const bool corrupt =
            (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame->decode_error_flags != 0;
        if (!corrupt) return true;
        av_frame_unref(frame);
        continue;
      }
      if (received != AVERROR(EAGAIN)) return false;  // end of stream or decoder error
      if (drained) return false;
      const int read = av_read_frame(format, packet);
      if (read < 0) {
        drained = true;
        avcodec_send_packet(codec, nullptr);  // let the decoder give what it holds
        continue;
      }
      if (packet->stream_index == stream) {
        ++packets;
        // A packet the decoder refuses is skipped: the next one may decode.
        avcodec_send_packet(codec, packet);
      }
      av_packet_unref(packet);
    }
    return false;
  }

  // Back to the first frame: by byte where timestamps may jump (MPEG-TS/PS), where a
  // seek by time lands late.
  void Rewind() {
    const bool byByte = (format->iformat->flags & AVFMT_TS_DISCONT) != 0 &&
                        (format->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0;
    if (!byByte || av_seek_frame(format, stream, 0, AVSEEK_FLAG_BYTE) < 0) {
      av_seek_frame(format, stream, INT64_MIN, AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(codec);
    drained = false;
  }

  bool Seek(int64_t timestamp) {
    if (av_seek_frame(format, stream, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(codec);
    drained = false;
    return true;
  }
};

}  // namespace

SampledFrames SampleMovieFrames(const std::filesystem::path& path, int32_t count, int32_t maxSide) {
  // Failures are told through `error`; the libraries' own chatter helps nobody.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  SampledFrames out;
  if (count <= 0) {
    out.error = "no frames asked for";
    return out;
  }
  Decoder d;
  // "file:" keeps names that start with '-' or hold ':' plain file names.
  const std::string url = "file:" + path.string();
  int code = avformat_open_input(&d.format, url.c_str(), nullptr, nullptr);
  if (code < 0) {
    out.error = "cannot open the movie: " + ErrorText(code);
    return out;
  }
  if ((code = avformat_find_stream_info(d.format, nullptr)) < 0) {
    out.error = "cannot read the movie's streams: " + ErrorText(code);
    return out;
  }
  const AVCodec* codec = nullptr;
  d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (d.stream < 0 || codec == nullptr) {
    out.error = "the movie has no picture stream that can be decoded";
    return out;
  }
  const AVStream* stream = d.format->streams[d.stream];
  bool swapsSides = false;
  out.shownTurned = !RotationFilters(stream, swapsSides).empty() ||
                    !PhotoOrientationFilters(path, swapsSides).empty();
  d.codec = avcodec_alloc_context3(codec);
  d.packet = av_packet_alloc();
  d.frame = av_frame_alloc();
  d.grey = av_frame_alloc();
  if (!d.codec || !d.packet || !d.frame || !d.grey) {
    out.error = "out of memory";
    return out;
  }
  code = avcodec_parameters_to_context(d.codec, stream->codecpar);
  if (code >= 0) {
    d.codec->thread_count = 0;
    // Slice threads hand out each frame as soon as it is decoded; frame threads
    // would hold several packets back after every seek.
    d.codec->thread_type = FF_THREAD_SLICE;
    code = avcodec_open2(d.codec, codec, nullptr);
  }
  if (code < 0) {
    out.error = "cannot decode the picture stream: " + ErrorText(code);
    return out;
  }

  // Positions in the stream's time base, each in the middle of its share of the movie.
  int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  int64_t duration = stream->duration;
  if (duration == AV_NOPTS_VALUE || duration <= 0) {
    duration = d.format->duration > 0
                   ? av_rescale_q(d.format->duration, AV_TIME_BASE_Q, stream->time_base)
                   : 0;
  }
  const bool seekable = duration > 0;

  // Turns the decoded frame into a grey sample; false when nothing more can be done.
  auto take = [&]() -> bool {
    const int32_t w = d.frame->width;
    const int32_t h = d.frame->height;
    if (out.frameWidth == 0) {
      out.frameWidth = w;
      out.frameHeight = h;
      const int32_t side = std::max(w, h);
      const double shrink = side > maxSide && maxSide > 0 ? double(side) / maxSide : 1.0;
      const int32_t sw = std::max(1, static_cast<int32_t>(std::lround(w / shrink)));
      const int32_t sh = std::max(1, static_cast<int32_t>(std::lround(h / shrink)));
      out.scaleX = double(w) / sw;
      out.scaleY = double(h) / sh;
      d.grey->width = sw;
      d.grey->height = sh;
      d.grey->format = AV_PIX_FMT_GRAY8;
      if (av_frame_get_buffer(d.grey, 0) < 0) {
        out.error = "out of memory";
        return false;
      }
    }
    // A movie whose picture size changes midway keeps the first size's frames only.
    if (w != out.frameWidth || h != out.frameHeight) {
      av_frame_unref(d.frame);
      return true;
    }
    d.scaler = sws_getCachedContext(d.scaler, w, h, static_cast<AVPixelFormat>(d.frame->format),
                                    d.grey->width, d.grey->height, AV_PIX_FMT_GRAY8, SWS_AREA,
                                    nullptr, nullptr, nullptr);
    if (!d.scaler) {
      out.error = "cannot convert the movie's pictures";
      return false;
    }
    sws_scale(d.scaler, d.frame->data, d.frame->linesize, 0, h, d.grey->data, d.grey->linesize);
    av_frame_unref(d.frame);
    GreyImage image;
    image.width = d.grey->width;
    image.height = d.grey->height;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (int32_t y = 0; y < image.height; ++y) {
      std::memcpy(image.pixels.data() + static_cast<size_t>(y) * image.width,
                  d.grey->data[0] + static_cast<ptrdiff_t>(y) * d.grey->linesize[0],
                  static_cast<size_t>(image.width));
    }
    out.frames.push_back(std::move(image));
    return true;
  };

  int64_t lastTaken = AV_NOPTS_VALUE;
  for (int32_t i = 0; i < count; ++i) {
    if (seekable) {
      const int64_t at = start + av_rescale(duration, 2 * i + 1, 2 * int64_t{count});
      // A seek back to a key frame already passed would decode the same frames again
      // (a movie with few key frames): the frame after the last one taken is as good.
      const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(d.format->streams[d.stream],
                                                                        at, AVSEEK_FLAG_BACKWARD);
      const bool passed =
          key != nullptr && lastTaken != AV_NOPTS_VALUE && key->timestamp <= lastTaken;
      // A movie that cannot seek gives its frames in order from where it is.
      if (!passed) d.Seek(at);
    }
    bool got = false;
    while (d.NextFrame()) {
      const int64_t pts = d.frame->best_effort_timestamp;
      // Two seeks can land on one key frame: the later one takes the frame after.
      if (lastTaken != AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE && pts <= lastTaken) {
        av_frame_unref(d.frame);
        continue;
      }
      got = true;
      lastTaken = pts;
      break;
    }
    if (!got) continue;
    if (!take()) return out;
  }
  if (out.frames.empty() && seekable) {
    // In a stream with few key frames and no index (MPEG-TS, say) every seek can land
    // where nothing decodes yet: take frames from the start instead, a few apart.
    d.Rewind();
    int32_t seen = 0;
    while (static_cast<int32_t>(out.frames.size()) < count && d.NextFrame()) {
      if (seen++ % kRewoundSpacing != 0) {
        av_frame_unref(d.frame);
        continue;
      }
      if (!take()) return out;
    }
  }
  if (out.frames.empty()) out.error = "no frame of the movie could be decoded";
  return out;
}

}  // namespace corvinex
