#include "convert/sound_extract.h"

#include "convert/encoder_command.h"

namespace corvinex {

ChildExit ExtractSound(const std::filesystem::path& tool, const std::filesystem::path& movie,
                       const std::filesystem::path& tempFolder, std::atomic<pid_t>& childPid) {
  ChildStart start = StartProcess(SoundExtractionCommand(tool, movie, tempFolder).Argv());
  if (!start.ok()) return {};
  childPid.store(start.pid);
  ChildExit exit = WaitProcess(start.pid);
  childPid.store(0);
  return exit;
}

pid_t DecodeFrames(const std::filesystem::path& tool, const std::filesystem::path& movie,
                   const std::filesystem::path& tempFolder) {
  ChildStart start = StartProcess(FrameDecodingCommand(tool, movie, tempFolder).Argv());
  return start.ok() ? start.pid : 0;
}

}  // namespace corvinex
