// logo_decoder PICTURE OUTPUT: decodes the picture and writes OUTPUT as the logo's
// width and height (32-bit little-endian each), then its bottom-up BGRX pixels.
// Exits 0 when written, 1 when the picture does not decode, 2 when OUTPUT cannot be
// written.

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "convert/decoded_logo.h"
#include "extras/logo_decode.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: logo_decoder PICTURE OUTPUT\n");
    return 2;
  }
  corvinex::FrameImage logo;
  if (!corvinex::DecodeLogoFile(argv[1], logo)) return 1;
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  return out && corvinex::WriteDecodedLogo(out, logo) && out.flush() ? 0 : 2;
}
