#include "media/photo_readback.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "media/photo_decode.h"

namespace corvinex {

namespace fs = std::filesystem;

double JpegLossBound(int32_t jpegQuality) {
  // The encoder's quantiser scale runs 1 (quality 100) .. 31 (quality 1). Block means
  // come back within a level of noise even at the coarsest, and within about two of
  // saturated colour detail, which is clipped on the way back; a damaged or misplaced
  // band is tens of levels off.
  const int32_t q = std::clamp(jpegQuality, 1, 100);
  const double scale = 1.0 + (100.0 - q) * 30.0 / 99.0;
  return 8.0 + 0.2 * scale;
}

double WorstBandDifference(const FrameImage& decoded, std::span<const uint8_t> written) {
  const int32_t width = decoded.width;
  const int32_t height = decoded.height;
  if (width <= 0 || height <= 0 || written.size() < decoded.ByteSize()) return 255.0;
  // The coder keeps each 16 x 16 block's mean brightness (its lowest frequency),
  // whatever it drops of the detail inside: the blocks of the picture grid, counted
  // from the picture's top, compared by their mean luma. The colours are left out:
  // fine colour detail clipped on the way back moves their means by many levels.
  constexpr int32_t kBlock = 16;
  constexpr int32_t kBands = 16;
  const int32_t blockRows = (height + kBlock - 1) / kBlock;
  const int32_t blockColumns = (width + kBlock - 1) / kBlock;
  const int32_t bandBlocks = std::max(1, (blockRows + kBands - 1) / kBands);
  const auto* source = reinterpret_cast<const uint8_t*>(decoded.pixels.data());
  const auto luma = [](const uint8_t* p) {
    return int64_t{29} * p[0] + int64_t{150} * p[1] + int64_t{77} * p[2];  // 256 x Y
  };
  std::vector<int64_t> sums(static_cast<size_t>(blockColumns));
  double worst = 0;
  double bandError = 0;
  int32_t bandCount = 0;
  for (int32_t by = 0; by < blockRows; ++by) {
    std::fill(sums.begin(), sums.end(), 0);
    const int32_t yEnd = std::min(height, (by + 1) * kBlock);
    for (int32_t y = by * kBlock; y < yEnd; ++y) {
      const size_t rowStart = static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;
      for (int32_t x = 0; x < width; ++x) {
        const size_t at = rowStart + static_cast<size_t>(x) * 4;
        sums[static_cast<size_t>(x / kBlock)] += luma(source + at) - luma(written.data() + at);
      }
    }
    const int32_t rows = yEnd - by * kBlock;
    double rowError = 0;
    for (int32_t bx = 0; bx < blockColumns; ++bx) {
      const int32_t columns = std::min(width, (bx + 1) * kBlock) - bx * kBlock;
      rowError +=
          static_cast<double>(std::abs(sums[static_cast<size_t>(bx)])) / (256.0 * rows * columns);
    }
    bandError += rowError / blockColumns;
    ++bandCount;
    if (bandCount == bandBlocks || by == blockRows - 1) {
      worst = std::max(worst, bandError / bandCount);
      bandError = 0;
      bandCount = 0;
    }
  }
  return worst;
}

std::string CheckPhotoReadsBack(const fs::path& file, PhotoType type,
                                std::span<const uint8_t> written, int32_t width, int32_t height,
                                int32_t jpegQuality) {
  const DecodedPhoto back = DecodePhoto(file);
  if (!back.ok()) return "the picture written does not read back: " + back.error;
  if (back.image.width != width || back.image.height != height) {
    return "the picture written reads back at " + std::to_string(back.image.width) + "x" +
           std::to_string(back.image.height) + ", not " + std::to_string(width) + "x" +
           std::to_string(height);
  }
  if (written.size() < back.image.ByteSize()) return "no picture was written";
  if (type == PhotoType::Jpeg) {
    const double worst = WorstBandDifference(back.image, written);
    if (worst > JpegLossBound(jpegQuality)) {
      return "the picture written reads back with other pixels (a mean difference of " +
             std::to_string(static_cast<int>(worst + 0.5)) + " levels in a part of it)";
    }
    return {};
  }
  const auto* pixels = reinterpret_cast<const uint32_t*>(written.data());
  for (size_t i = 0; i < back.image.pixels.size(); ++i) {
    if (((back.image.pixels[i] ^ pixels[i]) & 0x00FFFFFFu) != 0) {
      return "the picture written reads back with other pixels";
    }
  }
  return {};
}

}  // namespace corvinex
