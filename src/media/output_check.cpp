#include "media/output_check.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <system_error>
#include <vector>

namespace corvinex {

namespace fs = std::filesystem;

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct StreamCount {
  int64_t packets = 0;
  int64_t firstTime = std::numeric_limits<int64_t>::max();  // lowest pts (or dts)
  int64_t lastTime = std::numeric_limits<int64_t>::min();
};

struct Input {
  AVFormatContext* format = nullptr;
  AVPacket* packet = av_packet_alloc();
  ~Input() {
    av_packet_free(&packet);
    avformat_close_input(&format);
  }
};

double RateOf(AVRational r) {
  return r.num > 0 && r.den > 0 ? av_q2d(r) : 0.0;
}

// The picture rate the movie plays at: its own claim, else the packets' spread.
double PictureRate(const AVStream* stream, const StreamCount& count) {
  if (const double avg = RateOf(stream->avg_frame_rate); avg > 0) return avg;
  if (const double real = RateOf(stream->r_frame_rate); real > 0) return real;
  if (count.packets >= 2 && count.lastTime > count.firstTime) {
    const double span =
        static_cast<double>(count.lastTime - count.firstTime) * av_q2d(stream->time_base);
    if (span > 0) return static_cast<double>(count.packets - 1) / span;
  }
  return 0;
}

// Frames where no packet could be counted: the stream's own count, else its length.
int64_t FramesWithoutPackets(const AVFormatContext* format, const AVStream* stream, double rate) {
  if (stream->nb_frames > 0) return stream->nb_frames;
  double seconds = 0;
  if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE) {
    seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
  } else if (format->duration > 0 && format->duration != AV_NOPTS_VALUE) {
    seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
  }
  return static_cast<int64_t>(std::llround(seconds * rate));
}

OutputCheck Fail(std::string reason) {
  OutputCheck check;
  check.reason = std::move(reason);
  return check;
}

}  // namespace

OutputCheck CheckOutputMovie(const fs::path& movie, const OutputExpectation& expected) {
  std::error_code error;
  const auto size = fs::file_size(movie, error);
  if (error) return Fail("the encoder wrote no movie (" + error.message() + ")");
  if (size == 0) return Fail("the encoder wrote an empty file");

  // The demuxers' complaints about a broken file become our one reason instead.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  Input in;
  if (in.packet == nullptr) return Fail("out of memory to check the movie");
  // Only the file itself: a playlist-like output must not make us open others.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const std::string url = "file:" + movie.string();
  int code = avformat_open_input(&in.format, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (code < 0) return Fail("the output cannot be read as a movie (" + AvError(code) + ")");

  // Some containers (FLV) make their streams as their packets come, so the streams
  // are looked at after the whole file was read.
  std::vector<StreamCount> counts;
  int readError = 0;
  for (;;) {
    code = av_read_frame(in.format, in.packet);
    if (code == AVERROR(EAGAIN)) continue;
    if (code < 0) {
      if (code != AVERROR_EOF) readError = code;
      break;
    }
    const auto index = static_cast<size_t>(in.packet->stream_index);
    if (index >= counts.size()) counts.resize(index + 1);
    StreamCount& count = counts[index];
    ++count.packets;
    const int64_t time = in.packet->pts != AV_NOPTS_VALUE ? in.packet->pts : in.packet->dts;
    if (time != AV_NOPTS_VALUE) {
      count.firstTime = std::min(count.firstTime, time);
      count.lastTime = std::max(count.lastTime, time);
    }
    av_packet_unref(in.packet);
  }
  counts.resize(std::max<size_t>(counts.size(), in.format->nb_streams));
  if (readError != 0 && std::all_of(counts.begin(), counts.end(),
                                    [](const StreamCount& c) { return c.packets == 0; })) {
    return Fail("the output cannot be read as a movie (" + AvError(readError) + ")");
  }

  const AVStream* picture = nullptr;
  const StreamCount* pictureCount = nullptr;
  bool soundPackets = false;
  bool soundStream = false;
  for (unsigned i = 0; i < in.format->nb_streams; ++i) {
    const AVStream* stream = in.format->streams[i];
    const StreamCount& count = counts[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      soundStream = true;
      soundPackets = soundPackets || count.packets > 0;
    }
    // A cover picture is no movie.
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
        (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
      continue;
    }
    if (picture == nullptr || count.packets > pictureCount->packets) {
      picture = stream;
      pictureCount = &count;
    }
  }
  if (picture == nullptr) return Fail("the encoder wrote no picture stream");

  OutputCheck check;
  check.framesPerSecond = PictureRate(picture, *pictureCount);
  check.pictureFrames = pictureCount->packets > 0
                            ? pictureCount->packets
                            : FramesWithoutPackets(in.format, picture, check.framesPerSecond);
  if (check.pictureFrames <= 0) return Fail("the movie's picture stream holds no frames");

  if (expected.framesSent > 0) {
    // Compared as time where the movie has a rate of its own: 2 s sent at 25 frames a
    // second are 60 frames of a movie that plays at 30.
    const double sentPeriod = static_cast<double>(expected.timePerFrame) / 1e7;
    double held = static_cast<double>(check.pictureFrames);
    double allowed = 1.0;
    if (sentPeriod > 0 && check.framesPerSecond > 0) {
      const double moviePeriod = 1.0 / check.framesPerSecond;
      held = held * moviePeriod / sentPeriod;
      allowed = std::max(1.0, moviePeriod / sentPeriod);
    }
    const double sent = static_cast<double>(expected.framesSent);
    if (std::fabs(held - sent) > allowed + 1e-6) {
      const auto shown = static_cast<long long>(std::llround(held));
      const std::string sentText = std::to_string(expected.framesSent);
      return Fail(held < sent ? "the movie holds " + std::to_string(shown) + " of the " + sentText +
                                    " frames sent"
                              : "the movie holds " + std::to_string(shown) + " frames where " +
                                    sentText + " were sent");
    }
  }
  if (expected.sound && !soundPackets) {
    return Fail(soundStream ? "the movie's sound track is empty" : "the movie has no sound track");
  }
  check.ok = true;
  return check;
}

}  // namespace corvinex

namespace corvinex {

bool MovieHasSound(const fs::path& movie) {
  Input input;
  if (avformat_open_input(&input.format, movie.c_str(), nullptr, nullptr) < 0) return false;
  if (avformat_find_stream_info(input.format, nullptr) < 0) return false;
  return av_find_best_stream(input.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
}

}  // namespace corvinex
