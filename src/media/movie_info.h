#pragma once
// The open movie's properties and the texts the main window and the log show
// for them. Times are 64-bit counts of 100 nanoseconds.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvinex {

inline constexpr int64_t kUnitsPerSecond = 10'000'000;

struct MovieInfo {
  std::string path;
  int32_t width = 0;
  int32_t height = 0;
  int32_t sampleSize = 0;      // bytes of one BGRX frame: 4 x width x height
  int64_t timePerFrame = 0;    // 100-ns units
  int64_t duration = 0;        // 100-ns units
  double durationSeconds = 0;  // duration / 10,000,000
  int32_t frameCount = 0;
  int64_t currentPosition = 0;  // 100-ns units
  int32_t canStep = 0;          // only logged; frames are never stepped one by one
  // How long after the earliest start of any sound or picture stream in the file the
  // first picture starts (100-ns units); 0 when the picture starts first or alone.
  int64_t pictureStart = 0;
};

// The frame rate written in the probe report: the number after the first "fps,"
// (up to the following "tbr"), 0 when there is none.
double FrameRateFromProbeText(std::string_view probeText);

// 10,000,000 / probe rate rounded; the stream's own average frame duration when the
// probe gave no rate.
int64_t TimePerFrameFrom(std::string_view probeText, int64_t averageTimePerFrame);

// The frame rate num/den as the encoder tool's report writes it and FrameRateFromProbeText
// reads it back: two decimals, a whole number when it is one, thousands as "k" (so
// 24000/1001 is 23.98). 0 for a rate that is not set.
double ReportedFrameRate(int32_t num, int32_t den);

// TimePerFrameFrom for a rate already read (0: none).
int64_t TimePerFrameFromRate(double rate, int64_t averageTimePerFrame);

// Whole frames in the duration. The time per frame is rounded to 100 ns, so n frames
// may last up to n / 2 units less than n x timePerFrame; such a shortfall still counts
// as n frames (29.97 fps: 30 frames last 10,010,000 units, 30 x 333,667 = 10,010,010).
int32_t FrameCountFrom(int64_t duration, int64_t timePerFrame);

// hh:mm:ss.mmm with the milliseconds rounded (a rounded 1000 carries into the seconds).
std::string DurationText(double seconds);

// Frames per second as "00.00" (at least two integer digits, two decimals).
std::string FrameRateText(int64_t timePerFrame);

// Label texts of the main window.
std::string VideoFileLabel(std::string_view path);  // " path "
std::string FrameSizeLabel(const MovieInfo& info);  // "640x480"
std::string FrameRateLabel(const MovieInfo& info);  // "25.00 fps"
std::string FrameCountLabel(const MovieInfo& info);

// A double as the log writes it: shortest plain decimal form ("0.04", "2.4", "12").
std::string LogNumber(double value);

// Trims blanks and NUL characters from both ends of a path text.
std::string TrimPathText(std::string_view text);

}  // namespace corvinex
