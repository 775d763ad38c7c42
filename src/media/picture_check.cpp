#include "media/picture_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <array>

namespace corvinex {

bool TextPictureDemuxer(std::string_view name) {
  // FFmpeg's names: "tty" reads .txt, .ans, .nfo and the like; the others binary text art.
  static constexpr std::array<std::string_view, 5> kText = {"tty", "bin", "xbin", "adf", "idf"};
  for (std::string_view text : kText) {
    if (name == text) return true;
  }
  return false;
}

namespace {

bool TextCodec(AVCodecID id) {
  return id == AV_CODEC_ID_ANSI || id == AV_CODEC_ID_BINTEXT || id == AV_CODEC_ID_XBIN ||
         id == AV_CODEC_ID_IDF;
}

}  // namespace

std::string NotAMovieReason(const std::filesystem::path& path) {
  AVFormatContext* format = nullptr;
  // "file:" keeps names with a colon or a leading '-' from being read as protocols.
  const std::string url = "file:" + path.string();
  if (const int rc = avformat_open_input(&format, url.c_str(), nullptr, nullptr); rc < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, text, sizeof text);
    return std::string("it cannot be read as a movie (") + text + ")";
  }
  std::string reason;
  if (TextPictureDemuxer(format->iformat->name)) {
    reason = "it is a text file, not a movie";
  } else if (avformat_find_stream_info(format, nullptr) >= 0) {
    bool picture = false;
    bool text = false;
    bool subtitles = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVStream* stream = format->streams[i];
      const AVCodecParameters* par = stream->codecpar;
      if (par->codec_type == AVMEDIA_TYPE_SUBTITLE) subtitles = true;
      if (par->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) continue;  // a cover
      if (TextCodec(par->codec_id)) {
        text = true;
      } else {
        picture = true;
      }
    }
    if (!picture) {
      reason = text        ? "it is a text file, not a movie"
               : subtitles ? "it holds subtitles only, no picture"
                           : "it has no picture stream";
    }
  }
  avformat_close_input(&format);
  return reason;
}

}  // namespace corvinex
