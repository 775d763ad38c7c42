#pragma once
// The sound track extraction of a run: the encoder tool writes temp.wav on a
// thread of its own while the frames are processed.

#include <atomic>
#include <filesystem>
#include <thread>

namespace corvinex {

class SoundExtractionRun {
 public:
  SoundExtractionRun() = default;
  ~SoundExtractionRun();  // kills a child still running
  SoundExtractionRun(const SoundExtractionRun&) = delete;
  SoundExtractionRun& operator=(const SoundExtractionRun&) = delete;

  void Start(const std::filesystem::path& tool, const std::filesystem::path& movie,
             const std::filesystem::path& tempFolder);
  // Waits for the child to end, so that the export finds the whole track.
  void Finish();
  // Ends the child at once (a stopped run needs no sound).
  void Kill();

 private:
  std::thread thread_;
  std::atomic<bool> kill_{false};
};

}  // namespace corvinex
