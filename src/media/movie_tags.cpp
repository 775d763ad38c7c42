#include "media/movie_tags.h"

#include <array>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
}

namespace corvinex {
namespace {

// A text the encoder tool takes as one tag value: no line breaks (which some
// muxers end the tag at) and no NUL. Long comments are kept, within reason.
std::string CleanValue(std::string_view value) {
  std::string text;
  for (char c : value.substr(0, 4096)) text += (c == '\r' || c == '\n') ? ' ' : c;
  return text;
}

std::string Tag(const AVDictionary* tags, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0);
  return entry == nullptr || entry->value == nullptr ? std::string() : CleanValue(entry->value);
}

struct Opened {
  AVFormatContext* context = nullptr;
  ~Opened() { avformat_close_input(&context); }
};

}  // namespace

MovieTags ReadMovieTags(const std::filesystem::path& movie) {
  MovieTags tags;
  Opened in;
  // A "file:" address: a name with a colon is never taken for a protocol.
  const std::string address = "file:" + std::filesystem::absolute(movie).string();
  if (avformat_open_input(&in.context, address.c_str(), nullptr, nullptr) < 0) return tags;
  const AVDictionary* meta = in.context->metadata;
  // Phones write the place as Apple's own key; the encoder tool reads it as location
  // only from the older QuickTime box.
  static constexpr std::array<std::array<const char*, 2>, 4> kKeys = {{
      {"creation_time", "creation_time"},
      {"location", "com.apple.quicktime.location.ISO6709"},
      {"title", "com.apple.quicktime.title"},
      {"comment", "com.apple.quicktime.comment"},
  }};
  for (const auto& [key, alternative] : kKeys) {
    std::string value = Tag(meta, key);
    if (value.empty()) value = Tag(meta, alternative);
    if (!value.empty()) tags.container.emplace_back(key, std::move(value));
  }
  for (unsigned i = 0; i < in.context->nb_streams; ++i) {
    const AVStream* stream = in.context->streams[i];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    const std::string language = Tag(stream->metadata, "language");
    if (language != "und") tags.soundLanguage = language;
    break;
  }
  return tags;
}

std::string MovieTagsLogText(const MovieTags& tags) {
  if (tags.empty()) return "Movie metadata: none to keep";
  std::string text;
  for (const auto& [key, value] : tags.container) text += (text.empty() ? "" : ", ") + key;
  if (!tags.soundLanguage.empty()) {
    text += (text.empty() ? "" : ", ") + std::string("sound language ") + tags.soundLanguage;
  }
  return "Movie metadata kept: " + text + " (rotation is not copied: the frames are turned)";
}

}  // namespace corvinex
