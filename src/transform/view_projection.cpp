#include "transform/view_projection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvinex {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr float kDegreesToRadians = static_cast<float>(kPi * 2.0 / 360.0);

int32_t RoundHalfUp(double value) {
  return static_cast<int32_t>(std::nearbyint(value + 0.5));
}

}  // namespace

ViewerSize ViewerSizeFor(int32_t ph) {
  if (ph >= 388) return {640, 388};
  const double wide = std::nearbyint(1.777 * ph);
  return {4 * static_cast<int32_t>(wide / 4.0), ph};
}

void BuildViewTables(int32_t pw, ViewTables& tables) {
  const double pixelsPerRadian = pw / (2.0 * kPi);
  for (int32_t i = 0; i < 4096; ++i) {
    const double t = (i + 1) / 4096.0;
    // atan2 keeps the last entry finite where t / (1 - t) would divide by zero.
    tables.atan[static_cast<size_t>(i)] =
        RoundHalfUp(std::atan2(t, 1.0 - t) * pixelsPerRadian * 256.0);
    tables.sqrt[static_cast<size_t>(i)] =
        static_cast<int32_t>(std::nearbyint(4096.0 * std::sqrt(1.0 + t * t)));
  }
  tables.atan[4096] = RoundHalfUp(kPi * pixelsPerRadian / 2.0 * 256.0);
  tables.sqrt[4096] = static_cast<int32_t>(std::nearbyint(4096.0 * std::sqrt(2.0)));
  tables.product.resize(256 * 256);
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t b = 0; b < 256; ++b) tables.product[a * 256 + b] = static_cast<uint16_t>(a * b);
  }
  tables.quarter = 64 * pw;
}

float HalfVerticalFov(float fov, ViewerSize size) {
  const double half = std::atan(std::tan(fov * kPi / 360.0) * size.height / size.width);
  return static_cast<float>(half * 57.29578);
}

void ApplyViewLimits(int32_t pw, int32_t ph, ViewerSize size, ViewerState& s) {
  s.pitchMax = 90;
  s.pitchMin = -90;
  s.fov = 120;
  s.minFov = 24;
  s.maxFov = 120;
  s.pitch = 0;
  const auto e = static_cast<float>(180.0 * ph / pw);
  if (e < 90) {
    s.pitchMax = e;
    s.pitchMin = -e;
  }
  // Narrow the widest view until its vertical field fits between the limits.
  float v = e;
  while (!(2 * v < s.pitchMax - s.pitchMin) && s.fov > 1e-3f) {
    s.fov = s.fov / 1.01f;
    v = HalfVerticalFov(s.fov, size);
  }
  s.maxFov = s.fov;
  s.yaw = -90;
  s.pitch = 0;
}

int32_t FixedAtan2(const ViewTables& tables, int32_t a, int32_t b) {
  const auto& T = tables.atan;
  const int64_t q = tables.quarter;
  const int64_t aa = a;
  const int64_t bb = b;
  auto at = [&T](int64_t num, int64_t den) {
    return static_cast<int64_t>(
        T[static_cast<size_t>(static_cast<uint64_t>(num * 4096) / static_cast<uint64_t>(den))]);
  };
  int64_t result;
  if (aa > 0) {
    result = bb > 0 ? at(bb, aa + bb) : -at(-bb, aa - bb);
  } else if (aa == 0) {
    result = bb > 0 ? q : -q;
  } else {
    result = bb < 0 ? at(-bb, -aa - bb) - 2 * q : 2 * q - at(bb, -aa + bb);
  }
  return static_cast<int32_t>(result);
}

namespace {

// The clamp of the pitch against the limits less the half vertical field.
float ClampPitch(const ViewerState& s, float pitch, float h) {
  if (s.pitchMax == 90) {
    if (pitch > s.pitchMax) pitch = s.pitchMax;
  } else if (pitch > s.pitchMax - h) {
    pitch = s.pitchMax - h;
  }
  if (s.pitchMin == -90) {
    if (pitch < s.pitchMin) pitch = s.pitchMin;
  } else if (pitch < s.pitchMin + h) {
    pitch = s.pitchMin + h;
  }
  return pitch;
}

}  // namespace

void UpdateMotion(ViewerState& s, ViewerSize size) {
  float pitch = s.pitch;
  float yaw = s.yaw;
  if (s.dragging) {
    pitch = s.pitch + 0.05f * static_cast<float>(s.mouseY - s.originY);
    yaw = s.yaw + 0.05f * static_cast<float>(s.mouseX - s.originX);
    if (yaw > 180) yaw -= 360;
    if (yaw < -180) yaw += 360;
    pitch = ClampPitch(s, pitch, HalfVerticalFov(s.fov, size));
  }
  if (s.zoomIn && s.fov > s.minFov) {
    s.fov = std::max(s.fov / 1.002f, s.minFov);
  } else if (s.zoomOut && s.fov < s.maxFov) {
    s.fov = std::min(s.fov * 1.002f, s.maxFov);
  }
  if (s.zoomIn || s.zoomOut) pitch = ClampPitch(s, pitch, HalfVerticalFov(s.fov, size));
  s.pitch = pitch;
  s.yaw = yaw;
}

void StopMotion(ViewerState& s) {
  s.dragging = false;
  s.zoomIn = false;
  s.zoomOut = false;
}

void PressViewKey(ViewerState& s, ViewKey key) {
  switch (key) {
    case ViewKey::ZoomIn:
      s.zoomIn = !s.zoomIn;
      s.zoomOut = false;
      return;
    case ViewKey::ZoomOut:
      s.zoomOut = !s.zoomOut;
      s.zoomIn = false;
      return;
    case ViewKey::Left:
      s.mouseX = 0;
      s.originX = s.dragStep;
      s.originY = s.mouseY;
      break;
    case ViewKey::Right:
      s.mouseX = s.dragStep;
      s.originX = 0;
      s.originY = s.mouseY;
      break;
    case ViewKey::Up:
      s.mouseY = 0;
      s.originY = s.dragStep;
      s.originX = s.mouseX;
      break;
    case ViewKey::Down:
      s.mouseY = s.dragStep;
      s.originY = 0;
      s.originX = s.mouseX;
      break;
  }
  s.dragging = true;
}

bool OpenViewProjection(int32_t pw, int32_t ph, ViewProjection& p, ViewerState& state) {
  if (pw < 2 || ph < 2) return false;
  p.pw = pw;
  p.ph = ph;
  p.size = ViewerSizeFor(ph);
  BuildViewTables(pw, p.tables);
  p.fovUsed = -1;
  state.dragStep = 3;
  StopMotion(state);
  ApplyViewLimits(pw, ph, p.size, state);
  return true;
}

ViewMatrix ViewMatrixFor(ViewProjection& p, const ViewerState& state) {
  if (state.fov != p.fovUsed) {
    const double a = static_cast<double>(state.fov * kDegreesToRadians);
    p.scale = (2.0 / p.size.width) * std::tan(a / 2.0);
    p.fixedFactor = 131072.0 / std::max(a, 0.3);
    p.fovUsed = state.fov;
  }
  const double pitch = static_cast<double>(state.pitch * kDegreesToRadians);
  const double yaw = static_cast<double>(state.yaw * kDegreesToRadians);
  const double sp = std::sin(pitch), cp = std::cos(pitch);
  const double sy = std::sin(yaw), cy = std::cos(yaw);
  // M = Ry(yaw) x Rx(pitch), its first two columns scaled by s.
  const double m[3][3] = {{cy * p.scale, sy * sp * p.scale, sy * cp},
                          {0.0, cp * p.scale, -sp},
                          {-sy * p.scale, cy * sp * p.scale, cy * cp}};
  ViewMatrix n{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) n[r][c] = RoundHalfUp(m[r][c] * p.fixedFactor);
  }
  return n;
}

namespace {

uint32_t Blend(const ViewTables& t, const uint32_t* row0, const uint32_t* row1, int32_t cx,
               int32_t next, uint32_t fx, uint32_t fy) {
  const uint16_t* P = t.product.data();
  const uint32_t p00 = row0[cx], p10 = row0[next], p01 = row1[cx], p11 = row1[next];
  uint32_t out = 0;
  for (uint32_t shift = 0; shift < 24; shift += 8) {
    const uint32_t top =
        (P[(255 - fx) * 256 + ((p00 >> shift) & 255)] + P[fx * 256 + ((p10 >> shift) & 255)]) >> 8;
    const uint32_t bottom =
        (P[(255 - fx) * 256 + ((p01 >> shift) & 255)] + P[fx * 256 + ((p11 >> shift) & 255)]) >> 8;
    out |= ((P[(255 - fy) * 256 + top] + P[fy * 256 + bottom]) >> 8) << shift;
  }
  return out;
}

bool ViewFits(const ViewProjection& p, const uint32_t* panorama, const FrameImage& view) {
  return panorama != nullptr && p.pw >= 2 && p.ph >= 2 && view.width == p.size.width &&
         view.height == p.size.height &&
         view.PixelCount() == static_cast<size_t>(view.width) * view.height;
}

}  // namespace

void RenderViewScalar(ViewProjection& p, const ViewerState& state, const uint32_t* panorama,
                      FrameImage& view) {
  if (!ViewFits(p, panorama, view)) return;
  const ViewMatrix n = ViewMatrixFor(p, state);
  const int32_t xmin = -((p.size.width - 1) / 2);
  const int32_t ymin = -(p.size.height / 2);
  const ViewTables& t = p.tables;
  for (int32_t j = 0; j < p.size.height; ++j) {
    const int64_t y = ymin + j;
    uint32_t* out = view.Row(j);
    for (int32_t i = 0; i < p.size.width; ++i) {
      const int64_t x = xmin + i;
      const auto u = static_cast<int32_t>(n[0][0] * x + n[0][1] * y + n[0][2]);
      const auto v = static_cast<int32_t>(n[1][0] * x + n[1][1] * y + n[1][2]);
      const auto w = static_cast<int32_t>(n[2][0] * x + n[2][1] * y + n[2][2]);
      const int32_t hx = FixedAtan2(t, w, u);
      const int64_t big = std::max(std::abs(int64_t{u}), std::abs(int64_t{w}));
      const int64_t small = std::min(std::abs(int64_t{u}), std::abs(int64_t{w}));
      const int64_t r = big == 0 ? 0 : big * t.sqrt[static_cast<size_t>(small * 4096 / big)] / 4096;
      const int32_t hy = FixedAtan2(t, static_cast<int32_t>(r), v);
      const int32_t cx = (hx >> 8) + p.pw / 2;
      const int32_t cy = (hy >> 8) + (p.ph - 1) / 2;
      if (cx < 0 || cx > p.pw - 1 || cy < 0 || cy > p.ph - 2) continue;
      const uint32_t* row0 = panorama + static_cast<size_t>(cy) * p.pw;
      const int32_t next = cx == p.pw - 1 ? 0 : cx + 1;
      out[i] = Blend(t, row0, row0 + p.pw, cx, next, static_cast<uint32_t>(hx) & 255,
                     static_cast<uint32_t>(hy) & 255);
    }
  }
}

}  // namespace corvinex
