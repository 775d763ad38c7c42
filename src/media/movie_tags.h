#pragma once
// The movie's own metadata that a converted movie keeps: when and where it was
// made, its title and comment, and the language of its sound. Rotation is left out
// on purpose: the converted frames are already turned.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace corvinex {

struct MovieTags {
  // Container tags under the names the encoder tool writes them by: creation_time,
  // location (ISO 6709, "+48.8584+002.2945/"), title, comment.
  std::vector<std::pair<std::string, std::string>> container;
  std::string soundLanguage;  // the first sound stream's ISO 639-2 code; "" unknown
  bool empty() const { return container.empty() && soundLanguage.empty(); }
  bool operator==(const MovieTags&) const = default;
};

// The tags of `movie`; none when it cannot be read.
MovieTags ReadMovieTags(const std::filesystem::path& movie);

// What the log says was kept ("creation_time, location, title, sound language eng"),
// or that there was nothing to keep.
std::string MovieTagsLogText(const MovieTags& tags);

}  // namespace corvinex
