#include "transform/logo_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "transform/warp_resample.h"

namespace corvinex {

void ClearLogo(LogoState& logo) {
  logo.present = false;
  logo.image.Reset(0, 0);
  logo.image.width = 10;
}

bool LogoFormatOk(int32_t width, int32_t height) {
  // width / 6 < height fails; for whole numbers that is width < 6 x height.
  return width > 0 && height > 0 && static_cast<int64_t>(width) >= 6 * int64_t{height};
}

bool AcceptLogo(LogoState& logo, FrameImage&& decoded) {
  const bool ok = LogoFormatOk(decoded.width, decoded.height) &&
                  decoded.PixelCount() ==
                      static_cast<size_t>(decoded.width) * static_cast<size_t>(decoded.height);
  if (!ok) {
    ClearLogo(logo);
    return false;
  }
  logo.image = std::move(decoded);
  logo.present = true;
  return true;
}

int32_t LogoFrameHeight(int32_t pw, bool decoderRoute) {
  if (decoderRoute) return pw / 2;
  const double half = std::nearbyint(static_cast<double>(pw) / 2.0);
  return 2 * static_cast<int32_t>(half / 2.0);
}

LogoFrameLayout ComputeLogoFrameLayout(int32_t logoWidth, int32_t logoHeight, int32_t pw,
                                       int32_t ph, int32_t cut, bool decoderRoute) {
  LogoFrameLayout l;
  l.height = LogoFrameHeight(pw, decoderRoute);
  l.stripHeight = ph - cut - 2;
  l.stripOffset =
      static_cast<int32_t>(std::nearbyint(static_cast<double>(l.height - l.stripHeight) / 2.0));
  if (pw > 0 && logoWidth > 0) {
    l.scale = static_cast<float>(logoWidth) / static_cast<float>(pw);
    l.logoRows = static_cast<int32_t>(
        std::nearbyint(static_cast<double>(logoHeight) / static_cast<double>(l.scale)));
  }
  return l;
}

namespace {

// Row `src` without its last pixel, the pixel before it repeated in its place.
void CopyCapRow(const uint32_t* src, uint32_t* dst, int32_t pw, bool reversed) {
  std::memcpy(dst, src, static_cast<size_t>(pw - 1) * 4);
  dst[pw - 1] = pw >= 2 ? src[pw - 2] : src[0];
  if (reversed) std::reverse(dst, dst + pw);
}

}  // namespace

bool PrepareLogoFrame(const FrameImage& logo, int32_t pw, bool decoderRoute, FrameImage& canvas,
                      FrameImage& scaled) {
  canvas.Reset(0, 0);
  if (logo.width <= 0 || logo.height <= 0 || pw < 2 ||
      logo.PixelCount() != static_cast<size_t>(logo.width) * static_cast<size_t>(logo.height)) {
    return false;
  }
  const LogoFrameLayout l = ComputeLogoFrameLayout(logo.width, logo.height, pw, 0, 0, decoderRoute);
  if (l.height < 2 || l.logoRows < 1) return false;
  canvas.Reset(pw, l.height);
  scaled.Reset(pw, l.logoRows);
  WarpResample(ConstPixels{logo.pixels.data(), logo.width, logo.height},
               Pixels{scaled.pixels.data(), pw, l.logoRows}, WarpMode::UniformScale, l.scale);
  const int32_t L = l.logoRows;
  const int32_t E = l.height;
  // Bottom cap: scaled rows 0 .. L - 2 as they are.
  for (int32_t r = 0; r <= L - 2 && r < E; ++r) CopyCapRow(scaled.Row(r), canvas.Row(r), pw, false);
  // Top cap: the logo turned by 180 degrees.
  for (int32_t r = 2; r <= L - 1; ++r) {
    const int32_t row = E - L + r;
    if (row < 0 || row >= E) continue;
    CopyCapRow(scaled.Row(L - r), canvas.Row(row), pw, true);
  }
  return true;
}

bool PrepareLogoFrame(const FrameImage& logo, int32_t pw, bool decoderRoute, FrameImage& canvas) {
  FrameImage scaled;
  return PrepareLogoFrame(logo, pw, decoderRoute, canvas, scaled);
}

bool LogoPreviewShown(const LogoState& logo) {
  return logo.present && logo.image.width >= 100 && logo.image.ByteSize() >= 100;
}

void LogoPreview(const LogoState& logo, FrameImage& out) {
  out.Reset(kLogoPreviewWidth, kLogoPreviewHeight);
  if (!LogoPreviewShown(logo)) return;
  const FrameImage& src = logo.image;
  const double sx = static_cast<double>(src.width) / kLogoPreviewWidth;
  const double sy = static_cast<double>(src.height) / kLogoPreviewHeight;
  // Each preview pixel averages the source area it covers, weighted by overlap.
  for (int32_t y = 0; y < kLogoPreviewHeight; ++y) {
    const double y0 = y * sy;
    const double y1 = y0 + sy;
    for (int32_t x = 0; x < kLogoPreviewWidth; ++x) {
      const double x0 = x * sx;
      const double x1 = x0 + sx;
      double sum[3] = {0, 0, 0};
      double total = 0;
      for (auto j = static_cast<int32_t>(y0); j < src.height && j < y1; ++j) {
        const double wy = std::min<double>(j + 1, y1) - std::max<double>(j, y0);
        const uint32_t* row = src.Row(j);
        for (auto i = static_cast<int32_t>(x0); i < src.width && i < x1; ++i) {
          const double w = wy * (std::min<double>(i + 1, x1) - std::max<double>(i, x0));
          if (w <= 0) continue;
          sum[0] += w * BlueOf(row[i]);
          sum[1] += w * GreenOf(row[i]);
          sum[2] += w * RedOf(row[i]);
          total += w;
        }
      }
      if (total <= 0) continue;
      auto channel = [&](int c) {
        return static_cast<uint8_t>(std::clamp(std::lround(sum[c] / total), 0L, 255L));
      };
      out.Row(y)[x] = PackBgrx(channel(0), channel(1), channel(2));
    }
  }
}

}  // namespace corvinex
