#pragma once
// The PLUG-IN adapter's rules: the program's encoder command lines were written for
// an old FFmpeg; this turns them into arguments that FFmpeg 5 accepts and reads as
// they were meant (removed options, ambiguous ones, options of other encoders,
// pixel formats that players cannot show, sample rates an encoder refuses).

#include <string>
#include <vector>

namespace corvinex {

// `args` are the adapter's arguments without its own name; the result starts with
// the program to run ("ffmpeg").
std::vector<std::string> RewriteForFfmpeg(const std::vector<std::string>& args);

// Old "+partX-partY" partition flags as the x264 list ("i4x4,p8x8"; "none").
std::string X264Partitions(const std::string& flags);

}  // namespace corvinex
