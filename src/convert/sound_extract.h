#pragma once
// The children of a conversion run that fill the temporary folder: the sound track
// as temp.wav, and in the decoder route the input movie's frames as numbered BMPs.

#include <sys/types.h>

#include <atomic>
#include <filesystem>

#include "convert/child_process.h"

namespace corvinex {

// Thread body: runs the sound extraction and waits for it; setting `cancel` ends the
// child (exited is then false).
ChildExit ExtractSound(const std::filesystem::path& tool, const std::filesystem::path& movie,
                       const std::filesystem::path& tempFolder, const std::atomic<bool>& cancel);

// Starts the frame decoding and returns at once with the child's id (0 when it could
// not start). The caller ends it with KillProcess, which also reaps it. The decoder's
// error stream goes to `errorFile` when one is given, so a failure can be explained.
// With a `timePerFrame` (100-ns units) the frames come at that constant rate.
pid_t DecodeFrames(const std::filesystem::path& tool, const std::filesystem::path& movie,
                   const std::filesystem::path& tempFolder,
                   const std::filesystem::path& errorFile = {}, int64_t timePerFrame = 0);

}  // namespace corvinex
