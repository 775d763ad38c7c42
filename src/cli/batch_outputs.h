#pragma once
// Where each movie of a batch run is written. Every input gets its own output:
// two inputs that share a name ("clip.avi" and "clip.mkv", or one file given
// twice) must not write the same file, and no output may replace a movie of the run.

#include <filesystem>
#include <optional>
#include <vector>

namespace corvinex {

struct BatchTarget {
  std::filesystem::path output;       // the movie to write
  std::filesystem::path frameFolder;  // with --frames-only: where this movie's frames go
};

// One target per input, in order. The output is `output` when given (one input
// only), else INPUT's folder / (INPUT's name without extension + "_Unwrapped.mp4", or
// "_Unwrapped.jpg" for a photo);
// a name already taken in this run (by an earlier output or by any input)
// becomes NAME_Unwrapped_2.mp4, _3, ...
// The frames go into `framesOnly` itself for one input, and into a folder per
// movie inside it (NAME, NAME_2, ...) for several, whose numbered frames would
// otherwise overwrite each other.
std::vector<BatchTarget> PlanBatchTargets(const std::vector<std::filesystem::path>& inputs,
                                          const std::optional<std::filesystem::path>& output,
                                          const std::optional<std::filesystem::path>& framesOnly);

}  // namespace corvinex
