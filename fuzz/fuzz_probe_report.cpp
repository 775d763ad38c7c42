// Any text as the encoder tool's report of a movie.
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/media_probe.h"
#include "media/movie_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string report(reinterpret_cast<const char*>(data), size);
  corvinex::ProbeTexts texts;
  corvinex::ParseProbeReport("movie.mp4", report, texts);
  corvinex::TimePerFrameFrom(texts.probeText, 400000);
  corvinex::FrameRateFromProbeText(report);
  return 0;
}
