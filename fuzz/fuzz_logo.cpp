// Any bytes as a logo picture file: the loader must refuse what does not decode or
// fails the format test, and a logo it accepts must build its canvas and preview
// without reading outside the decoded pixels.
#include <unistd.h>

#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "extras/logo_decode.h"
#include "transform/logo_frame.h"

// The image plug-ins' complaints about broken files would drown the fuzzer's report.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path file = [] {
    auto dir = std::filesystem::temp_directory_path() /
               ("corvinex-fuzz-logo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / "logo.jpg";
  }();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  corvinex::LogoState logo;
  const bool loaded = corvinex::LoadLogo(file, logo);
  if (loaded != logo.present) std::abort();
  if (!loaded) {
    // A refused logo keeps no pixels, so no stale size can pass as a logo.
    if (logo.image.PixelCount() != 0) std::abort();
    return 0;
  }
  if (!corvinex::LogoFormatOk(logo.image.width, logo.image.height)) std::abort();
  // Both routes' canvases for a tiny and a small panorama width (large widths only
  // cost time: the arithmetic is the same).
  for (const int32_t pw : {2, 96, 250}) {
    for (const bool decoderRoute : {false, true}) {
      corvinex::FrameImage canvas;
      corvinex::PrepareLogoFrame(logo.image, pw, decoderRoute, canvas);
    }
  }
  corvinex::FrameImage preview;
  corvinex::LogoPreview(logo, preview);
  return 0;
}
