#include "media/frame_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio_output.h"
#include "media/bgrx_scaler.h"
#include "media/decoder_buffers.h"
#include "media/display_turn.h"
#include "media/filter_library.h"
#include "media/photo_decode.h"
#include "media/picture_check.h"
#include "media/yuv420_to_bgrx.h"

namespace corvinex {
namespace {

constexpr AVRational kUnits{1, static_cast<int>(kUnitsPerSecond)};
constexpr int32_t kMaxSide = 16384;
constexpr int32_t kAudioRate = 44100;
constexpr int32_t kAudioChannels = 2;
constexpr int kMaxDecodeErrors = 200;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

int64_t UnitsFromRate(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return 0;
  return av_rescale(kUnitsPerSecond, rate.den, rate.num);
}

bool Interlaced(AVFieldOrder order) {
  return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB ||
         order == AV_FIELD_BT;
}

// The rate the tool's report states, as the probe reads it: the number after the
// first "fps," of the lines of streams 0 and 1, which is the "tbr" rate (or the time
// base's "tbn" where there is none). The lines come in the order the report lists
// the streams: by program first, as MPEG-TS has them.
double StatedRate(const AVFormatContext* format) {
  std::vector<unsigned> order;
  for (unsigned p = 0; p < format->nb_programs; ++p) {
    const AVProgram* program = format->programs[p];
    for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
      order.push_back(program->stream_index[k]);
    }
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (std::find(order.begin(), order.end(), i) == order.end()) order.push_back(i);
  }
  auto set = [](AVRational r) { return r.num != 0 && r.den != 0; };
  for (const unsigned index : order) {
    if (index > 1 || index >= format->nb_streams) continue;
    const AVStream* stream = format->streams[index];
    const bool tbr = set(stream->r_frame_rate);
    const bool tbn = set(stream->time_base);
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || !set(stream->avg_frame_rate) ||
        !(tbr || tbn)) {
      continue;
    }
    return tbr ? ReportedFrameRate(stream->r_frame_rate.num, stream->r_frame_rate.den)
               : ReportedFrameRate(stream->time_base.den, stream->time_base.num);
  }
  return 0;
}

}  // namespace

// Everything that belongs to the libraries. Used by one thread at a time: the
// caller of Open, then the decode thread.
struct FrameSource::Decoder {
  MovieDecoderBuffers pictures;  // outlives the decoder: freed after the body below
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  BgrxScaler scaler;
  // The part of each frame converted (push mode; all when empty), and its scaler.
  PicturePart part;
  Yuv420Coefficients yuvCoefficients;  // for yuvColours
  int yuvColours = -1;                 // colour space * 2 + full range
  std::vector<uint32_t> roomy;         // rows of whole 16-pixel blocks, for other widths
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVFrame* decoded = nullptr;  // straight from the decoder, before the filters
  AVFrame* held = nullptr;     // last frame skipped while seeking
  AVFrame* audioFrame = nullptr;
  int videoIndex = -1;
  int audioIndex = -1;
  AVRational timeBase{1, 1};
  int64_t startPts = 0;
  int64_t averageTimePerFrame = 0;
  double statedFrameRate = 0;  // as the tool's report writes it
  int64_t lastTime = -1;
  int64_t skipBefore = INT64_MIN;  // frames ending at or before this are skipped
  bool checkLanding = false;       // the first frame after a seek is still to come
  bool rewound = false;            // this seek already fell back to the start
  bool drained = false;            // the demuxer is exhausted, the decoder flushed
  bool decoderDone = false;        // the decoder has given its last frame
  bool waitForKey = true;          // pictures before the first key frame are not shown
  bool keyGatedByDecoder = false;  // the decoder itself holds back unrecovered pictures
  bool startsByByte = false;       // timestamp seeks to the start land late (MPEG-TS/PS)
  // The picture's first packets carry no timestamps: a seek by time cannot reach them,
  // so the start is found by opening the file again.
  bool untimedStart = false;
  bool videoPacketSeen = false;
  std::string url;
  // 100-ns units from the picture's start; 0 when unknown.
  int64_t stated = 0;      // the picture's length as the file states it
  int64_t pictureEnd = 0;  // the end of its last packet
  int64_t dataEnd = 0;     // the end of the last sound or picture packet
  // Filters: deinterlacing (once a picture says it is interlaced) and rotation.
  const FilterLibrary* filters = nullptr;  // loaded by the first graph
  AVFilterGraph* graph = nullptr;
  AVFilterContext* graphIn = nullptr;
  AVFilterContext* graphOut = nullptr;
  bool graphFlushed = false;  // the end was sent into the filters
  bool graphDeinterlaces = false;
  bool pending = false;  // `decoded` holds a picture still to be filtered
  bool deinterlace = false;
  std::string rotation;
  int graphWidth = 0, graphHeight = 0, graphFormat = -1;
  int32_t width = 0, height = 0;
  FrameImage back;  // the frame being converted, swapped with the current frame
  int64_t backTime = 0;
  std::vector<int16_t> samples;

  ~Decoder() {
    FreeGraph();
    swr_free(&resampler);
    av_frame_free(&frame);
    av_frame_free(&decoded);
    av_frame_free(&held);
    av_frame_free(&audioFrame);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    avformat_close_input(&format);
  }

  OpenResult Open(const std::filesystem::path& path) {
    OpenResult result;
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    decoded = av_frame_alloc();
    held = av_frame_alloc();
    audioFrame = av_frame_alloc();
    if (!packet || !frame || !decoded || !held || !audioFrame) {
      result.detail = "out of memory";
      return result;
    }
    // "file:" keeps names with a colon or a leading '-' from being read as protocols.
    url = "file:" + path.string();
    int rc = avformat_open_input(&format, url.c_str(), nullptr, nullptr);
    if (rc < 0) {
      result.detail = AvError(rc);
      return result;
    }
    rc = avformat_find_stream_info(format, nullptr);
    if (rc < 0) {
      result.detail = AvError(rc);
      return result;
    }
    const AVCodec* codec = nullptr;
    videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (videoIndex >= 0 &&
        (format->streams[videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      videoIndex = -1;  // a cover picture is not a movie
    }
    if (videoIndex >= 0 && TextPictureDemuxer(format->iformat->name)) {
      videoIndex = -1;  // rendered text is no camera's picture
    }
    if (videoIndex < 0) {
      result.status =
          videoIndex == AVERROR_DECODER_NOT_FOUND ? OpenStatus::Unreadable : OpenStatus::NoVideo;
      result.detail = "no video stream";
      return result;
    }
    AVStream* stream = format->streams[videoIndex];
    if (!codec || !(video = avcodec_alloc_context3(codec)) ||
        avcodec_parameters_to_context(video, stream->codecpar) < 0) {
      result.detail = "cannot open the video decoder";
      return result;
    }
    // One core is left to the unwrap and the encoder that run beside the decoder: on
    // two cores a second frame thread only holds more pictures (16 MB at 1080p).
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    video->thread_count = std::max(1, cores - 1);
    // Pictures the decoder cannot make whole (missing references after a cut or a
    // seek) are held back instead of shown as grey smears.
    video->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    video->flags2 &= ~AV_CODEC_FLAG2_SHOW_ALL;
    // H.264 shows no picture before its recovery point once corrupt output is off
    // (a stream may recover without a key frame); intra-only codecs need no key.
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    keyGatedByDecoder = codec->id == AV_CODEC_ID_H264 ||
                        (descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY));
    pictures.InstallOn(video);
    if (avcodec_open2(video, codec, nullptr) < 0) {
      result.detail = "cannot open the video decoder";
      return result;
    }
    width = video->width;
    height = video->height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
      result.detail = "unusable frame size";
      return result;
    }
    bool swapsSides = false;
    rotation = RotationFilters(stream, swapsSides);
    // A photo taken with the camera turned is shown upright, as it is converted.
    if (rotation.empty()) rotation = PhotoOrientationFilters(path, swapsSides);
    if (swapsSides) std::swap(width, height);
    deinterlace = Interlaced(stream->codecpar->field_order);
    // Formats without an index whose timestamps may jump: a seek by time to the
    // start lands after it, so the start is found by its byte position instead.
    startsByByte = (format->iformat->flags & AVFMT_TS_DISCONT) &&
                   !(format->iformat->flags & AVFMT_NO_BYTE_SEEK) && format->pb &&
                   (format->pb->seekable & AVIO_SEEKABLE_NORMAL);
    timeBase = stream->time_base;
    startPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    averageTimePerFrame = UnitsFromRate(stream->avg_frame_rate);
    if (averageTimePerFrame == 0) averageTimePerFrame = UnitsFromRate(stream->r_frame_rate);
    statedFrameRate = StatedRate(format);
    OpenAudio();
    result.status = OpenStatus::Ok;
    return result;
  }

  void OpenAudio() {
    const AVCodec* codec = nullptr;
    audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, videoIndex, &codec, 0);
    if (audioIndex < 0 || !codec) {
      audioIndex = -1;
      return;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (!(audio = avcodec_alloc_context3(codec)) ||
        avcodec_parameters_to_context(audio, format->streams[audioIndex]->codecpar) < 0 ||
        avcodec_open2(audio, codec, nullptr) < 0 ||
        swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, kAudioRate, &audio->ch_layout,
                            audio->sample_fmt, audio->sample_rate, 0, nullptr) < 0 ||
        swr_init(resampler) < 0) {
      avcodec_free_context(&audio);
      swr_free(&resampler);
      audioIndex = -1;  // the movie still plays, silently
    }
  }

  // How long after the earliest start of any sound or picture stream the video stream
  // starts. Frame times count from the video stream's start, so a picture that is
  // shown later (after dropped pictures) still lands in its place.
  int64_t PictureStart() const {
    const int64_t picture = av_rescale_q(startPts, timeBase, kUnits);
    int64_t earliest = picture;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVStream* s = format->streams[i];
      const AVMediaType type = s->codecpar->codec_type;
      if ((type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO) ||
          (s->disposition & AV_DISPOSITION_ATTACHED_PIC) || s->start_time == AV_NOPTS_VALUE) {
        continue;
      }
      earliest = std::min(earliest, av_rescale_q(s->start_time, s->time_base, kUnits));
    }
    const int64_t offset = std::max<int64_t>(picture - earliest, 0);
    // An offset longer than the whole file is a damaged start time, not a delay.
    if (format->duration > 0 && offset > av_rescale_q(format->duration, AV_TIME_BASE_Q, kUnits)) {
      return 0;
    }
    return offset;
  }

  // The picture's length: from its first packet to the end of its last, as measured;
  // what the file states only where nothing could be measured.
  int64_t Duration() const { return pictureEnd > 0 ? pictureEnd : stated; }

  // The video stream's stated duration, or the file's from the picture's start.
  int64_t StatedDuration() const {
    const AVStream* stream = format->streams[videoIndex];
    if (stream->duration > 0) return av_rescale_q(stream->duration, timeBase, kUnits);
    if (format->duration <= 0) return 0;
    // Matroska and MP4 state where the file ends as a time from 0, others its length
    // from the first stamp: a duration beyond the picture's start is taken as the end.
    const int64_t total = av_rescale_q(format->duration, AV_TIME_BASE_Q, kUnits);
    const int64_t picture = av_rescale_q(startPts, timeBase, kUnits);
    return picture > 0 && total > picture ? total - picture : total;
  }

  // Opens the file again, which reads from its first packet on; the old context stays
  // when that fails.
  bool Reopen() {
    AVFormatContext* fresh = nullptr;
    if (avformat_open_input(&fresh, url.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(fresh, nullptr) < 0 || fresh->nb_streams != format->nb_streams) {
      avformat_close_input(&fresh);
      return false;
    }
    avformat_close_input(&format);
    format = fresh;
    return true;
  }

  // Measures the picture's timeline from its packets (nothing is decoded): read from
  // a seek to the stated end (through the index, so only the last pictures are read)
  // or, where that finds nothing, through the whole file. Pictures without timestamps
  // at the start take their times from their order and the stream's rate, back from
  // the first stamped one. The demuxer is left anywhere: a seek must follow.
  void MeasureTimeline() {
    stated = StatedDuration();
    // A bare stream (raw H.264 and the like, whose reader is named after its codec) has
    // no times of its own, only a guessed rate: it stays with the re-encoded copy that
    // gets fresh timestamps.
    const char* codec = avcodec_get_name(format->streams[videoIndex]->codecpar->codec_id);
    if (stated <= 0 && ((format->iformat->flags & AVFMT_NOTIMESTAMPS) ||
                        std::strcmp(format->iformat->name, codec) == 0)) {
      return;
    }
    const int64_t frameTicks = std::max<int64_t>(
        1, av_rescale_q(std::max<int64_t>(averageTimePerFrame, 1), kUnits, timeBase));
    if (!untimedStart) {
      const int64_t target =
          stated > 0 ? startPts + av_rescale_q(stated, kUnits, timeBase) : INT64_MAX / 4;
      if (av_seek_frame(format, videoIndex, target, AVSEEK_FLAG_BACKWARD) >= 0 &&
          ScanPackets(frameTicks)) {
        return;
      }
    }
    if (Reopen()) ScanPackets(frameTicks);
  }

  // Reads the packets to the file's end; false when no picture packet came.
  bool ScanPackets(int64_t frameTicks) {
    int64_t videoEnd = INT64_MIN, dataMax = INT64_MIN, firstStamp = INT64_MAX;
    int64_t pictures = 0, untimedLead = 0, leadTicks = 0, stamped = 0;
    while (av_read_frame(format, packet) >= 0) {
      const AVStream* s = format->streams[packet->stream_index];
      const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      const int64_t length = std::max<int64_t>(packet->duration, 0);
      if (packet->stream_index == videoIndex) {
        ++pictures;
        const int64_t ticks = length > 0 ? length : frameTicks;
        if (ts == AV_NOPTS_VALUE && stamped == 0) {
          ++untimedLead;
          leadTicks = ticks;
        } else if (ts != AV_NOPTS_VALUE) {
          // Pictures come in decoding order: the earliest of the first few is the first.
          if (++stamped <= 16) firstStamp = std::min(firstStamp, ts);
          videoEnd = std::max(videoEnd, ts + ticks);
        }
      }
      const AVMediaType type = s->codecpar->codec_type;
      if (ts != AV_NOPTS_VALUE && (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) &&
          !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        dataMax = std::max(dataMax, av_rescale_q(ts + length, s->time_base, kUnits));
      }
      av_packet_unref(packet);
    }
    if (pictures == 0) return false;
    if (untimedLead > 0) {
      startPts = stamped > 0 ? firstStamp - untimedLead * leadTicks : 0;
      if (stamped == 0) videoEnd = pictures * leadTicks;
    }
    pictureEnd = std::max<int64_t>(0, av_rescale_q(videoEnd - startPts, timeBase, kUnits));
    if (dataMax != INT64_MIN) {
      dataEnd = std::max<int64_t>(0, dataMax - av_rescale_q(startPts, timeBase, kUnits));
    }
    return true;
  }

  // Positions the demuxer on a key frame at or before `ts` (stream time base).
  void Reposition(int64_t ts) {
    const bool toStart = ts <= startPts;
    if (toStart && untimedStart && Reopen()) {
      // At the first packet again.
    } else if (toStart && startsByByte && av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0) {
      // At the first byte: nothing was skipped.
    } else if (av_seek_frame(format, videoIndex, ts, AVSEEK_FLAG_BACKWARD) < 0) {
      // Some files cannot seek by timestamp: fall back to their first byte.
      av_seek_frame(format, videoIndex, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(video);
    if (audio) {
      avcodec_flush_buffers(audio);
      swr_init(resampler);
    }
    av_frame_unref(held);
    av_frame_unref(decoded);
    pending = false;
    // The filters may hold pictures from before the seek: they start afresh.
    FreeGraph();
    drained = false;
    decoderDone = false;
    waitForKey = true;
    lastTime = -1;
  }

  void SeekTo(int64_t target) {
    Reposition(target <= 0 ? startPts : startPts + av_rescale_q(target, kUnits, timeBase));
    skipBefore = target <= 0 ? INT64_MIN : target;
    checkLanding = skipBefore != INT64_MIN;
    rewound = false;
  }

  // A seek that landed after its target (or nowhere) in a file with a poor index is
  // done again the slow way: from the start, decoding forward.
  bool RewindAfterBadLanding(bool gotFrame, int64_t t) {
    if (!checkLanding) return false;
    checkLanding = false;
    if (rewound || (gotFrame && t <= skipBefore)) return false;
    const int64_t target = skipBefore;
    Reposition(startPts);
    skipBefore = target;
    rewound = true;
    return true;
  }

  void PlayAudio(AudioOutput* output) {
    if (avcodec_send_packet(audio, packet) < 0) return;
    while (avcodec_receive_frame(audio, audioFrame) == 0) {
      const int capacity = swr_get_out_samples(resampler, audioFrame->nb_samples);
      if (capacity > 0) {
        const size_t needed = static_cast<size_t>(capacity) * kAudioChannels;
        if (samples.size() < needed) samples.resize(needed);
        auto* out = reinterpret_cast<uint8_t*>(samples.data());
        const int got = swr_convert(resampler, &out, capacity,
                                    const_cast<const uint8_t**>(audioFrame->extended_data),
                                    audioFrame->nb_samples);
        if (got > 0) output->Write(samples.data(), static_cast<size_t>(got));
      }
      av_frame_unref(audioFrame);
    }
  }

  // Next decoded picture into `decoded`; false at the end (or when the data is hopeless).
  bool ReceiveDecoded(AudioOutput* audioOut) {
    int errors = 0;
    for (;;) {
      int rc = avcodec_receive_frame(video, decoded);
      if (rc == 0) return true;
      if (rc == AVERROR_EOF) return false;
      if (rc != AVERROR(EAGAIN)) {
        if (++errors > kMaxDecodeErrors) return false;
        continue;
      }
      if (drained) return false;
      rc = av_read_frame(format, packet);
      if (rc < 0) {
        avcodec_send_packet(video, nullptr);  // flush the frames still inside
        drained = true;
        continue;
      }
      if (packet->stream_index == videoIndex) {
        if (!videoPacketSeen) {
          videoPacketSeen = true;
          untimedStart = packet->pts == AV_NOPTS_VALUE && packet->dts == AV_NOPTS_VALUE;
        }
        // A damaged packet is dropped; the decoder resumes at the next good one.
        if (avcodec_send_packet(video, packet) < 0 && ++errors > kMaxDecodeErrors) {
          av_packet_unref(packet);
          return false;
        }
      } else if (packet->stream_index == audioIndex && audioOut) {
        PlayAudio(audioOut);
      }
      av_packet_unref(packet);
    }
  }

  // False for a picture that would show garbage: flagged damaged by the decoder, or
  // before the first key frame after the start or a seek (its references are missing).
  bool Showable(const AVFrame* f) {
    if ((f->flags & AV_FRAME_FLAG_CORRUPT) || f->decode_error_flags != 0) return false;
    if (waitForKey) {
      if (!keyGatedByDecoder && !f->key_frame && f->pict_type != AV_PICTURE_TYPE_I) return false;
      waitForKey = false;
    }
    return true;
  }

  // (Re)builds the filters for pictures like `f`; false when they cannot be built, and
  // the pictures are then shown as decoded rather than not at all.
  bool BuildGraph(const AVFrame* f) {
    FreeGraph();
    if (!filters) filters = LoadFilterLibrary();
    if (filters && ConfigureGraph(f)) {
      graphWidth = f->width;
      graphHeight = f->height;
      graphFormat = f->format;
      graphDeinterlaces = deinterlace;
      return true;
    }
    FreeGraph();
    deinterlace = false;
    rotation.clear();
    return false;
  }

  bool ConfigureGraph(const AVFrame* f) {
    std::string chain;
    // Only pictures flagged interlaced are deinterlaced; one picture out per picture in.
    if (deinterlace) chain = "bwdif=mode=send_frame:parity=auto:deint=interlaced";
    if (!rotation.empty()) chain += (chain.empty() ? "" : ",") + rotation;
    graph = filters->graphAlloc();
    if (!graph) return false;
    const AVRational aspect = f->sample_aspect_ratio.num > 0 && f->sample_aspect_ratio.den > 0
                                  ? f->sample_aspect_ratio
                                  : AVRational{1, 1};
    char args[256];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", f->width,
                  f->height, f->format, timeBase.num, timeBase.den, aspect.num, aspect.den);
    AVFilterInOut* outputs = filters->inoutAlloc();
    AVFilterInOut* inputs = filters->inoutAlloc();
    bool ok = outputs && inputs &&
              filters->graphCreateFilter(&graphIn, filters->getByName("buffer"), "in", args,
                                         nullptr, graph) >= 0 &&
              filters->graphCreateFilter(&graphOut, filters->getByName("buffersink"), "out",
                                         nullptr, nullptr, graph) >= 0;
    if (ok) {
      outputs->name = av_strdup("in");
      outputs->filter_ctx = graphIn;
      outputs->pad_idx = 0;
      outputs->next = nullptr;
      inputs->name = av_strdup("out");
      inputs->filter_ctx = graphOut;
      inputs->pad_idx = 0;
      inputs->next = nullptr;
      ok = filters->graphParse(graph, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
           filters->graphConfig(graph, nullptr) >= 0;
    }
    filters->inoutFree(&inputs);
    filters->inoutFree(&outputs);
    return ok;
  }

  void FreeGraph() {
    if (graph) filters->graphFree(&graph);
    graphIn = graphOut = nullptr;
    graphFlushed = false;
  }

  // Next picture to show into `frame`, through the filters when there are any; false
  // at the end (or when the data is hopeless).
  bool ReceivePicture(AudioOutput* audioOut) {
    for (;;) {
      if (graph) {
        const int rc = filters->sinkGetFrame(graphOut, frame);
        if (rc == 0) {
          // The deinterlacer counts in half the stream's time base.
          if (frame->pts != AV_NOPTS_VALUE) {
            frame->pts = av_rescale_q(frame->pts, filters->sinkTimeBase(graphOut), timeBase);
          }
          frame->best_effort_timestamp = frame->pts;
          return true;
        }
        if (rc != AVERROR(EAGAIN) || graphFlushed) FreeGraph();  // at its end, or broken
      }
      if (!pending) {
        if (decoderDone) return false;
        if (!ReceiveDecoded(audioOut)) {
          decoderDone = true;
          // The filters' last pictures; a graph that refuses the end is dropped.
          if (graph) {
            graphFlushed = true;
            if (filters->sourceAddFrame(graphIn, nullptr, 0) < 0) FreeGraph();
          }
          continue;
        }
        if (!Showable(decoded)) {
          av_frame_unref(decoded);
          continue;
        }
        // The stream may not say that it is interlaced; its pictures do.
        if (decoded->interlaced_frame) deinterlace = true;
        pending = true;
      }
      const bool filtered = deinterlace || !rotation.empty();
      if (graph && (!filtered || graphDeinterlaces != deinterlace || decoded->width != graphWidth ||
                    decoded->height != graphHeight || decoded->format != graphFormat)) {
        // Other filters are needed: the old ones first give out the pictures they hold.
        if (filters->sourceAddFrame(graphIn, nullptr, 0) < 0) FreeGraph();
        graphFlushed = true;
        continue;
      }
      if (filtered && !graph) BuildGraph(decoded);
      pending = false;
      if (!graph) {
        av_frame_unref(frame);
        av_frame_move_ref(frame, decoded);
        return true;
      }
      decoded->pts = decoded->best_effort_timestamp;
      if (filters->sourceAddFrame(graphIn, decoded, 0) < 0) av_frame_unref(decoded);
    }
  }

  int64_t TimeOf(const AVFrame* f) {
    const int64_t pts = f->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) {
      return lastTime < 0 ? 0 : lastTime + std::max<int64_t>(averageTimePerFrame, 1);
    }
    return av_rescale_q(pts - startPts, timeBase, kUnits);
  }

  // Decodes the next frame to show into `back`; false at the end of the movie.
  bool DecodeNext(AudioOutput* audioOut) {
    for (;;) {
      if (!ReceivePicture(audioOut)) {
        if (RewindAfterBadLanding(false, 0)) continue;
        if (!held->data[0]) return false;
        // A seek past the last frame shows the last frame.
        av_frame_unref(frame);
        av_frame_move_ref(frame, held);
        break;
      }
      const int64_t t = TimeOf(frame);
      if (RewindAfterBadLanding(true, t)) {
        av_frame_unref(frame);
        continue;
      }
      const int64_t length = std::max<int64_t>(averageTimePerFrame, 1);
      if (skipBefore != INT64_MIN && t + length <= skipBefore) {
        av_frame_unref(held);
        av_frame_move_ref(held, frame);
        continue;
      }
      break;
    }
    skipBefore = INT64_MIN;
    av_frame_unref(held);
    backTime = TimeOf(frame);
    lastTime = backTime;
    const bool converted = Convert();
    av_frame_unref(frame);
    return converted;
  }

  // To blue, green, red, unused; bottom-up rows (a negative stride turns the picture).
  bool Convert() {
    // A picture whose size changes inside the stream is scaled to the opening size.
    const auto pixelFormat = static_cast<AVPixelFormat>(frame->format);
    const int colourSpace = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
    const bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    // Sized at the first picture, not at opening: a header may claim a huge size
    // for a file that holds no picture at all.
    if (back.width != width || back.height != height ||
        back.pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
      back.Reset(width, height);  // a callback that kept the pixels left a wrong buffer
    }
    if (ConvertDirect(pixelFormat, colourSpace, fullRange)) return true;
    // Only the pictures our rows do not take need the scaler and its tables.
    SwsContext* whole =
        scaler.For(frame->width, frame->height, pixelFormat, width, height, colourSpace, fullRange);
    if (!whole) return false;
    // The scaler's vector converter writes whole blocks of 16 pixels. A row of another
    // width runs over into the start of the row next in memory, which was converted
    // before it, and the last one past the end of the buffer: such pictures go through
    // rows with room for the whole blocks, then into the frame.
    const int32_t roomyWidth = (width + 15) / 16 * 16;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if (roomyWidth != width) roomy.resize(static_cast<size_t>(roomyWidth) * height);
    uint8_t* target = roomyWidth != width ? reinterpret_cast<uint8_t*>(roomy.data()) : back.Bytes();
    const size_t targetRowBytes = static_cast<size_t>(roomyWidth) * 4;
    uint8_t* dst[4] = {target + static_cast<size_t>(height - 1) * targetRowBytes, nullptr, nullptr,
                       nullptr};
    int dstStride[4] = {-static_cast<int>(targetRowBytes), 0, 0, 0};
    if (sws_scale(whole, frame->data, frame->linesize, 0, frame->height, dst, dstStride) <= 0) {
      return false;
    }
    if (target != back.Bytes()) {
      for (int32_t row = 0; row < height; ++row) {
        std::memcpy(back.Bytes() + row * rowBytes, target + row * targetRowBytes, rowBytes);
      }
    }
    return true;
  }

  // 4:2:0 pictures of even sizes, not scaled, are converted by our own rows, which
  // give the scaler's direct converter's bytes twice as fast; only `part` when one is
  // set (widened to whole chroma pairs, so every pixel is converted as in the whole
  // frame). The scaler takes pictures of an odd height through its general path, whose
  // chroma depends on the place in the picture: those, other formats and scaled
  // pictures stay with it. False (nothing done) for them.
  bool ConvertDirect(AVPixelFormat pixelFormat, int colourSpace, bool fullRange) {
    if (pixelFormat != AV_PIX_FMT_YUV420P && pixelFormat != AV_PIX_FMT_YUVJ420P) return false;
    if (frame->width != width || frame->height != height || width % 2 != 0 || height % 2 != 0) {
      return false;
    }
    int32_t left = 0, right = width, top = 0, bottom = height;
    if (part.width > 0 && part.height > 0) {
      left = std::clamp(part.left, 0, width) & ~1;
      right = (std::clamp(part.left + part.width, 0, width) + 1) & ~1;
      top = std::clamp(part.top, 0, height) & ~1;
      bottom = (std::clamp(part.top + part.height, 0, height) + 1) & ~1;
      if (right <= left || bottom <= top) return false;
    }
    // The scaler takes the full-range formats as full range whatever the frame says.
    const bool full = fullRange || pixelFormat == AV_PIX_FMT_YUVJ420P;
    if (yuvColours != colourSpace * 2 + (full ? 1 : 0)) {
      yuvCoefficients = Yuv420CoefficientsFor(colourSpace, full);
      yuvColours = colourSpace * 2 + (full ? 1 : 0);
    }
    for (int32_t row = top; row < bottom; ++row) {
      Yuv420RowToBgrx(
          frame->data[0] + static_cast<ptrdiff_t>(row) * frame->linesize[0] + left,
          frame->data[1] + static_cast<ptrdiff_t>(row / 2) * frame->linesize[1] + left / 2,
          frame->data[2] + static_cast<ptrdiff_t>(row / 2) * frame->linesize[2] + left / 2,
          right - left, yuvCoefficients,
          back.Bytes() + (static_cast<size_t>(height - 1 - row) * width + left) * 4);
    }
    return true;
  }
};

FrameSource::FrameSource() {
  // Failures reach the user through OpenResult and the diagnostic log; the
  // libraries' own chatter on standard error helps nobody.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
}

FrameSource::~FrameSource() {
  Close();
}

OpenResult FrameSource::Open(const std::filesystem::path& path, MovieInfo& info) {
  Close();
  auto decoder = std::make_unique<Decoder>();
  OpenResult result = decoder->Open(path);
  if (!result.ok()) return result;
  if (!decoder->DecodeNext(nullptr)) {
    result.status = OpenStatus::Unreadable;
    result.detail = "no picture could be decoded";
    return result;
  }
  decoder->MeasureTimeline();
  const int64_t duration = decoder->Duration();
  if (duration <= 0) {
    // Pictures but no usable timing: a re-encoded copy gets fresh timestamps.
    result.status = OpenStatus::NeedsTranscode;
    result.detail = "no timing could be found in the movie";
    return result;
  }
  decoder->SeekTo(0);

  info.path = path.string();
  info.width = decoder->width;
  info.height = decoder->height;
  info.sampleSize = decoder->width * decoder->height * 4;
  info.duration = duration;
  info.durationSeconds = static_cast<double>(duration) / static_cast<double>(kUnitsPerSecond);
  info.currentPosition = 0;
  info.canStep = 1;
  info.pictureStart = decoder->PictureStart();

  std::lock_guard lock(mutex_);
  decoder_ = std::move(decoder);
  std::swap(current_, decoder_->back);
  decoder_->back.Reset(decoder_->width, decoder_->height);
  hasCurrent_ = true;
  currentTime_ = decoder_->backTime;
  duration_ = duration;
  quit_ = false;
  playing_ = false;
  seekPending_ = false;
  clockBase_ = 0;
  atEnd_ = false;
  endEvent_ = false;
  thread_ = std::thread([this] { Run(); });
  return result;
}

void FrameSource::Close() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    if (audio_) audio_->Flush();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  decoder_.reset();
  hasCurrent_ = false;
  playing_ = false;
  atEnd_ = false;
  endEvent_ = false;
  duration_ = 0;
  clockBase_ = 0;
  currentTime_ = 0;
  delivered_.notify_all();
}

bool FrameSource::IsOpen() const {
  std::lock_guard lock(mutex_);
  return decoder_ != nullptr;
}

FrameSource::StatedTimeline FrameSource::Stated() const {
  std::lock_guard lock(mutex_);
  if (!decoder_) return {};
  return {.picture = decoder_->stated, .data = decoder_->dataEnd};
}

double FrameSource::StatedFrameRate() const {
  std::lock_guard lock(mutex_);
  return decoder_ ? decoder_->statedFrameRate : 0;
}

int64_t FrameSource::AverageTimePerFrame() const {
  std::lock_guard lock(mutex_);
  return decoder_ ? decoder_->averageTimePerFrame : 0;
}

int64_t FrameSource::MediaTimeLocked() const {
  int64_t position = clockBase_;
  if (playing_) {
    const auto elapsed = std::chrono::steady_clock::now() - clockStart_;
    position += std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() / 100;
  }
  return position;
}

int64_t FrameSource::ClockLocked() const {
  if (callback_) return clockBase_;  // push mode: the last frame delivered
  if (atEnd_) return duration_;
  return std::clamp<int64_t>(MediaTimeLocked(), 0, duration_);
}

void FrameSource::Play() {
  std::lock_guard lock(mutex_);
  if (!decoder_ || playing_) return;
  clockStart_ = std::chrono::steady_clock::now();
  playing_ = true;
  wake_.notify_all();
}

void FrameSource::Pause() {
  std::lock_guard lock(mutex_);
  if (!decoder_ || !playing_) return;
  clockBase_ = ClockLocked();
  playing_ = false;
  if (audio_) audio_->Flush();
  wake_.notify_all();
}

void FrameSource::Stop() {
  Pause();
  Seek(0);
}

void FrameSource::Seek(int64_t position) {
  std::lock_guard lock(mutex_);
  if (!decoder_) return;
  position = std::clamp<int64_t>(position, 0, duration_);
  seekPending_ = true;
  seekTarget_ = position;
  clockBase_ = position;
  clockStart_ = std::chrono::steady_clock::now();
  ++seekGeneration_;
  atEnd_ = false;
  endEvent_ = false;
  if (audio_) audio_->Flush();
  wake_.notify_all();
}

bool FrameSource::IsPlaying() const {
  std::lock_guard lock(mutex_);
  return playing_;
}

int64_t FrameSource::Position() const {
  std::lock_guard lock(mutex_);
  return decoder_ ? ClockLocked() : 0;
}

int64_t FrameSource::Duration() const {
  std::lock_guard lock(mutex_);
  return duration_;
}

bool FrameSource::CopyCurrentFrame(FrameImage& frame) const {
  std::lock_guard lock(mutex_);
  if (!hasCurrent_) return false;
  frame.width = current_.width;
  frame.height = current_.height;
  frame.pixels = current_.pixels;  // reuses the destination's storage when it is large enough
  return true;
}

void FrameSource::SetConvertedPart(const PicturePart& part) {
  std::lock_guard lock(mutex_);
  part_ = part;
}

void FrameSource::SetKeepsCurrentFrame(bool keep) {
  std::lock_guard lock(mutex_);
  keepsCurrent_ = keep;
}

int64_t FrameSource::CurrentFrameTime() const {
  std::lock_guard lock(mutex_);
  return currentTime_;
}

void FrameSource::SetFrameCallback(FrameCallback callback) {
  std::unique_lock lock(mutex_);
  // Once this returns, the previous callback is not running any more (unless the
  // callback itself is the caller), so what it refers to may go away.
  if (std::this_thread::get_id() != thread_.get_id()) {
    delivered_.wait(lock, [this] { return !inCallback_; });
  }
  if (callback) {
    callback_ = std::make_shared<const FrameCallback>(std::move(callback));
    if (!keepsCurrent_) {
      // Push mode never shows the current frame: a caller without a picture frees it.
      current_ = FrameImage{};
      hasCurrent_ = false;
    }
  } else {
    callback_.reset();
  }
  wake_.notify_all();
}

bool FrameSource::PollEndOfMovie() {
  std::lock_guard lock(mutex_);
  const bool pending = endEvent_;
  endEvent_ = false;
  return pending;
}

bool FrameSource::WaitEndOfMovie(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return delivered_.wait_for(lock, timeout, [this] { return endEvent_ || !decoder_; }) && endEvent_;
}

void FrameSource::SetAudioOutput(AudioOutput* output) {
  std::lock_guard lock(mutex_);
  if (audio_) audio_->Flush();
  audio_ = output;
  if (audio_) audio_->Start(kAudioRate, kAudioChannels);
}

void FrameSource::SetMute(bool mute) {
  std::lock_guard lock(mutex_);
  muted_ = mute;
  if (mute && audio_) audio_->Flush();
}

// The decode thread. The lock is held except while the libraries or the callback
// work, so commands are never kept waiting for a decode.
void FrameSource::Run() {
  std::unique_lock lock(mutex_);
  bool decoded = false;  // a frame waits in the decoder's back buffer
  bool showNow = false;  // the next frame is shown without waiting for the clock
  bool drained = false;  // the decoder has no more frames
  while (!quit_) {
    if (seekPending_) {
      const int64_t target = seekTarget_;
      seekPending_ = false;
      // The frame a seek lands on is converted too: whole unless it goes to a callback.
      decoder_->part = callback_ ? part_ : PicturePart{};
      lock.unlock();
      decoder_->SeekTo(target);
      lock.lock();
      decoded = false;
      drained = false;
      showNow = true;
      continue;
    }
    const bool push = static_cast<bool>(callback_);
    if (!decoded && !drained && (playing_ || showNow)) {
      const uint64_t generation = seekGeneration_;
      AudioOutput* sound = (!push && playing_ && !muted_) ? audio_ : nullptr;
      if (!push && playing_ && !showNow) {
        // Playing behind the clock (a slow machine, a large movie): frames that are
        // already over are decoded but not converted or shown.
        decoder_->skipBefore = std::max(decoder_->skipBefore, MediaTimeLocked());
      }
      decoder_->part = push ? part_ : PicturePart{};
      lock.unlock();
      const bool got = decoder_->DecodeNext(sound);
      lock.lock();
      if (generation != seekGeneration_) continue;  // a seek overtook this frame
      decoded = got;
      drained = !got;
      continue;
    }
    if (drained) {
      // The end: in pull mode once the clock has passed the last frame.
      if (!atEnd_ && (push || showNow || MediaTimeLocked() >= duration_)) {
        atEnd_ = true;
        endEvent_ = true;
        showNow = false;
        if (!push) clockBase_ = duration_;
        delivered_.notify_all();
        continue;
      }
      if (!atEnd_ && playing_) {
        wake_.wait_for(lock, std::chrono::nanoseconds((duration_ - MediaTimeLocked()) * 100));
      } else {
        wake_.wait(lock);
      }
      continue;
    }
    if (!decoded) {
      wake_.wait(lock);
      continue;
    }
    if (push && playing_) {
      // A shared pointer copy: the callback may be replaced meanwhile, and copying
      // the function itself could allocate on every frame.
      const std::shared_ptr<const FrameCallback> deliver = callback_;
      const int64_t time = decoder_->backTime;
      inCallback_ = true;
      lock.unlock();
      (*deliver)(decoder_->back, time);
      lock.lock();
      inCallback_ = false;
      delivered_.notify_all();
      currentTime_ = time;
      clockBase_ = time;  // back in pull mode, the clock goes on from this frame
      clockStart_ = std::chrono::steady_clock::now();
      decoded = false;
      showNow = false;
      continue;
    }
    if (!push && !showNow) {
      if (!playing_) {
        wake_.wait(lock);
        continue;
      }
      // Unclamped: a frame stamped past the stated duration must still come due.
      const int64_t wait = decoder_->backTime - MediaTimeLocked();
      if (wait > 0) {
        wake_.wait_for(lock, std::chrono::nanoseconds(wait * 100));
        continue;
      }
    }
    if (push) {
      wake_.wait(lock);  // push mode but paused: the frame waits for Play
      continue;
    }
    std::swap(current_, decoder_->back);
    currentTime_ = decoder_->backTime;
    hasCurrent_ = true;
    decoded = false;
    showNow = false;
    delivered_.notify_all();
  }
}

}  // namespace corvinex
