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

// Empty when `path` holds a picture stream that is a real movie's, or when the
// libraries cannot read it at all (the usual open path reports that, or converts the
// file first). Otherwise a short reason for the user, such as "it is a text file".
std::string NotAMovieReason(const std::filesystem::path& path);

}  // namespace corvinex
