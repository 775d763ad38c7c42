#include "convert/sound_extraction_run.h"

#include <chrono>

#include "convert/child_process.h"
#include "convert/encoder_command.h"

namespace corvinex {

SoundExtractionRun::~SoundExtractionRun() {
  Kill();
}

void SoundExtractionRun::Start(const std::filesystem::path& tool,
                               const std::filesystem::path& movie,
                               const std::filesystem::path& tempFolder) {
  Kill();
  kill_ = false;
  const CommandLine command = SoundExtractionCommand(tool, movie, tempFolder);
  thread_ = std::thread([this, argv = command.Argv()] {
    const ChildStart child = StartProcess(argv);
    if (!child.ok()) return;
    // The same thread waits and kills, so the process id is never used after it
    // has been reaped.
    while (!WaitProcess(child.pid, std::chrono::milliseconds(100)).exited) {
      if (kill_) {
        KillProcess(child.pid);
        return;
      }
    }
  });
}

void SoundExtractionRun::Finish() {
  if (thread_.joinable()) thread_.join();
}

void SoundExtractionRun::Kill() {
  kill_ = true;
  Finish();
}

}  // namespace corvinex
