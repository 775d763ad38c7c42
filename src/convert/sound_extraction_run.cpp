#include "convert/sound_extraction_run.h"

#include "convert/sound_extract.h"

namespace corvinex {

SoundExtractionRun::~SoundExtractionRun() {
  Kill();
}

void SoundExtractionRun::Start(const std::filesystem::path& tool,
                               const std::filesystem::path& movie,
                               const std::filesystem::path& tempFolder) {
  Kill();
  kill_ = false;
  thread_ = std::thread(
      [this, tool, movie, tempFolder] { ExtractSound(tool, movie, tempFolder, kill_); });
}

void SoundExtractionRun::Finish() {
  if (thread_.joinable()) thread_.join();
}

void SoundExtractionRun::Kill() {
  kill_ = true;
  Finish();
}

}  // namespace corvinex
