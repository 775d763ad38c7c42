#pragma once
// The one-pass export's encoder child: started before the first frame, it reads the
// frames from a pipe while they are made and takes the sound from the movie itself,
// so no frame file and no extracted sound track is written.

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "convert/encoder_command.h"

namespace corvinex {

class DiagnosticLog;

class OnePassEncoder {
 public:
  OnePassEncoder(std::filesystem::path tool, std::filesystem::path tempFolder, DiagnosticLog& log);
  ~OnePassEncoder();  // ends a child still running
  OnePassEncoder(const OnePassEncoder&) = delete;
  OnePassEncoder& operator=(const OnePassEncoder&) = delete;

  // Starts the encoder; returns the write end of its frames pipe (the caller owns
  // it), or -1 when it could not start (see StartError()).
  int Start(const std::filesystem::path& movie, const ExportSettings& s);
  const std::string& StartError() const { return startError_; }
  // Once the pipe is closed: waits for the encoder to drain its last frames,
  // telling its progress, and ends it on a stop request.
  ExportResult Wait(const EncoderFlags& flags);
  // Ends the encoder at once (a stop, or frames that can no longer come).
  void Kill();

 private:
  std::filesystem::path tool_;
  std::filesystem::path report_;  // its error stream
  DiagnosticLog& log_;
  pid_t pid_ = -1;
  std::string startError_;
};

}  // namespace corvinex
