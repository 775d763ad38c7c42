// Any bytes as a frame file written by the decoder: the reader must refuse what does
// not fit the movie and never read past the file.
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "convert/decoded_frame.h"
#include "convert/temp_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = [] {
    auto dir = std::filesystem::temp_directory_path() /
               ("corvinex-fuzz-bmp-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
  }();
  // The frame size comes from the first bytes, so sizes vary too.
  const int32_t width = size > 0 ? 1 + data[0] % 40 : 7;
  const int32_t height = size > 1 ? 1 + data[1] % 30 : 5;
  {
    std::ofstream out(corvinex::SpoolFilePath(folder, 1), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  static std::atomic<int32_t> stop{0};
  corvinex::DecodedFrameSource source{.tempFolder = folder,
                                      .frameCount = 1,
                                      .width = width,
                                      .height = height,
                                      .stopRequest = &stop,
                                      .decoderPid = 0,
                                      .incompleteRetries = 0,
                                      .poll = std::chrono::milliseconds(0)};
  corvinex::DecodedFrameReader reader;
  corvinex::FrameImage grab(width, height);
  reader.LoadDecodedFrame(source, 1, grab);
  return 0;
}
