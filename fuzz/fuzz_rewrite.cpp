// Any argument list given to the encoder adapter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/ffmpeg_rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // NUL bytes separate the arguments.
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  corvinex::RewriteForFfmpeg(args);
  if (!args.empty()) corvinex::X264Partitions(args.front());
  return 0;
}
