#pragma once
// Reads back the frames that the encoder tool decodes into the temporary folder
// (24-bit BMPs, rows padded to four bytes) as 32-bit FrameImages. The tool writes
// the files while they are read, so a frame is taken only once the next one
// exists, and every wait is bounded.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "transform/frame_image.h"

namespace corvinex {

struct DecodedFrameSource {
  std::filesystem::path tempFolder;
  // Frames the decoder is expected to write; up to there each frame waits for its
  // successor (or the decoder's end) before it is read.
  int64_t frameCount = 0;
  int32_t width = 0;  // frame size of the input movie
  int32_t height = 0;
  const std::atomic<int32_t>* stopRequest = nullptr;
  pid_t decoderPid = 0;  // when known, a decoder that has ended is not waited for
  // Rounds of waiting for a file that stays incomplete before giving it up.
  int incompleteRetries = 30;
  std::chrono::milliseconds poll{100};  // the pause of every wait
};

class DecodedFrameReader {
 public:
  // 1 when decoded frame `number` is now in `grab` (width x height, 32-bit, bottom-up),
  // 0 when it is missing, stays incomplete, does not match the movie, or the run was
  // stopped; LastError() then says why.
  int LoadDecodedFrame(const DecodedFrameSource& source, int64_t number, FrameImage& grab);
  const std::string& LastError() const { return error_; }
  // The last load found no file at all: after the decoder's last frame, the end.
  bool LastWasMissing() const { return missing_; }

 private:
  enum class Read { kOk, kIncomplete, kBroken };
  Read ReadFile(const std::filesystem::path& file, const DecodedFrameSource& source);
  bool WaitForDecoder(const DecodedFrameSource& source, int64_t number);
  int Fail(std::string why);

  std::vector<uint8_t> file_;  // reused for every frame
  std::string error_;
  bool missing_ = false;
};

// Copies 24-bit BMP pixel rows (padded to four bytes) into a 32-bit picture.
// `rows` point at the pixel data; `bottomUp` as stored in the file.
void ConvertBgr24Rows(const uint8_t* rows, int32_t width, int32_t height, bool bottomUp,
                      FrameImage& out);

}  // namespace corvinex
