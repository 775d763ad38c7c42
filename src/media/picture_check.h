#pragma once
// Whether a file is a movie at all: FFmpeg reads text files, ANSI art and subtitle
// files as "pictures" of rendered text, and some files carry sound or a cover only.
// None of them is a doughnut movie, and opening one would throw the loaded movie away.

#include <filesystem>
#include <string>
#include <string_view>

namespace corvinex {

// True for the demuxers that render text as a picture (plain text, ANSI and binary
// text art), whose "video" is no camera's picture.
bool TextPictureDemuxer(std::string_view demuxerName);

// Empty when `path` holds a picture stream that is a real movie's (whose timing the
// usual open path may still find unusable and convert). Otherwise a short reason for
// the user: "it is a text file, not a movie", no picture stream, or not readable at all.
std::string NotAMovieReason(const std::filesystem::path& path);

}  // namespace corvinex
