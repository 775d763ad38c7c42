#pragma once
// The check of a movie the encoder says it wrote: read back with the FFmpeg libraries
// (packets only, nothing decoded), before the movie may take its name.

#include <cstdint>
#include <filesystem>
#include <string>

namespace corvinex {

struct OutputExpectation {
  int64_t framesSent = 0;    // frames given to the encoder; <= 0: the count is not checked
  int64_t timePerFrame = 0;  // 100-ns units they were sent at; 0: held one for one
  bool sound = false;        // a sound track was given to the encoder
};

struct OutputCheck {
  bool ok = false;
  std::string reason;          // why not, in plain words (empty when ok)
  int64_t pictureFrames = 0;   // the picture stream's frames, at the movie's own rate
  double framesPerSecond = 0;  // the movie's picture rate, 0 where it tells none
};

// Opens `movie` and checks it: a picture stream must be there, holding the frames sent
// within one frame (counted from its packets; where the movie plays at another rate
// than they were sent at, compared as time), and a sound track with packets when
// sound was sent. Reasons read like "the encoder wrote no picture stream", "the movie
// holds 48 of the 100 frames sent", "the movie has no sound track" or "the output
// cannot be read as a movie (...)".
OutputCheck CheckOutputMovie(const std::filesystem::path& movie, const OutputExpectation& expected);

// Whether `movie` holds a sound track that an encoder reading it would take along.
bool MovieHasSound(const std::filesystem::path& movie);

}  // namespace corvinex
