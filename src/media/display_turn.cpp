#include "media/display_turn.h"

#include <cmath>
#include <cstdint>  // before the C headers, which need its constant macros

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace corvinex {

std::string RotationFilters(const AVStream* stream, bool& swapsSides) {
  swapsSides = false;
  size_t size = 0;
  const auto* matrix = reinterpret_cast<const int32_t*>(
      av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size));
  if (!matrix || size < 9 * sizeof(int32_t)) return {};
  const double angle = av_display_rotation_get(matrix);
  if (std::isnan(angle)) return {};
  // Clockwise degrees in [0, 360).
  double theta = -std::round(angle);
  theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
  if (std::fabs(theta - 90) < 1.0) {
    swapsSides = true;
    return matrix[3] > 0 ? "transpose=cclock_flip" : "transpose=clock";
  }
  if (std::fabs(theta - 180) < 1.0) {
    std::string chain;
    if (matrix[0] < 0) chain = "hflip";
    if (matrix[4] < 0) chain += chain.empty() ? "vflip" : ",vflip";
    return chain;
  }
  if (std::fabs(theta - 270) < 1.0) {
    swapsSides = true;
    return matrix[3] < 0 ? "transpose=clock_flip" : "transpose=cclock";
  }
  if (std::fabs(theta) < 1.0 && matrix[4] < 0) return "vflip";
  return {};  // other angles: shown as stored
}

}  // namespace corvinex
