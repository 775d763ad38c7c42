#include "transform/cut_area.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace corvinex {

const std::array<CutAreaButton, 9> kCutAreaButtons = {{
    {kCutLeft, "left", " Move the Cut Area to the left "},
    {kCutRight, "right", " Move the Cut Area to the right "},
    {kCutUp, "up", " Move the Cut Area to the up "},
    {kCutDown, "down", " Move the Cut Area to the down "},
    {kCutReset, "stop", " Reset "},
    {kCutGrowExternal, "lup", " Increase the size of External circle "},
    {kCutShrinkExternal, "rup", " Decrease the size of External circle "},
    {kCutGrowInternal, "ldown", " Increase the size of Internal circle "},
    {kCutShrinkInternal, "rdown", " Decrease the size of Internal circle "},
}};

RingGeometry StartupRing() {
  RingGeometry ring{-8, -8, 616, 606, 0};
  ring.RSIZE =
      static_cast<int32_t>(std::nearbyint(static_cast<float>(ring.X2 - ring.X1) / 7.85714f));
  return ring;
}

RingGeometry ResetRing() {
  return RingGeometry{150, 20, 316, 306, 32};
}

bool IsCutAreaButton(int32_t id) {
  return std::any_of(kCutAreaButtons.begin(), kCutAreaButtons.end(),
                     [id](const CutAreaButton& b) { return b.id == id; });
}

namespace {

// Values read from a settings file may sit at the ends of the int32 range; a
// click there stops at the end instead of overflowing.
void Step(int32_t& value, int32_t delta) {
  value = static_cast<int32_t>(std::clamp<int64_t>(int64_t{value} + delta, INT32_MIN, INT32_MAX));
}

}  // namespace

RingGeometry ApplyCutAreaButton(const RingGeometry& ring, int32_t id) {
  RingGeometry r = ring;
  switch (id) {
    case kCutLeft:
      Step(r.X1, -1);
      break;
    case kCutRight:
      Step(r.X1, 1);
      break;
    case kCutUp:
      Step(r.Y1, -1);
      break;
    case kCutDown:
      Step(r.Y1, 1);
      break;
    case kCutReset:
      r = ResetRing();
      break;
    case kCutGrowExternal:
      // Corner by one, size by two: the centre of the square stays put.
      Step(r.X1, -1);
      Step(r.Y1, -1);
      Step(r.X2, 2);
      Step(r.Y2, 2);
      break;
    case kCutShrinkExternal:
      Step(r.X1, 1);
      Step(r.Y1, 1);
      Step(r.X2, -2);
      Step(r.Y2, -2);
      break;
    case kCutGrowInternal:
      Step(r.RSIZE, 1);
      break;
    case kCutShrinkInternal:
      Step(r.RSIZE, -1);
      break;
    default:
      break;
  }
  return r;
}

uint32_t CutAreaViolations(const RingGeometry& ring, int32_t frameWidth, int32_t frameHeight) {
  const UnwrapGeometry g = ComputeUnwrapGeometry(frameWidth, frameHeight, ring, 0.0f);
  return g.limits & (kLimitCropTooSmall | kLimitCropTooLarge | kLimitCutRows);
}

CutAreaClick ChangeCutArea(RingGeometry& ring, const RingGeometry& next, bool movieOpen,
                           bool adjustable, int32_t frameWidth, int32_t frameHeight) {
  if (!movieOpen || !adjustable) return CutAreaClick::Ignored;
  const uint32_t before = CutAreaViolations(ring, frameWidth, frameHeight);
  const uint32_t after = CutAreaViolations(next, frameWidth, frameHeight);
  if ((after & ~before) != 0) return CutAreaClick::Refused;
  ring = next;
  return CutAreaClick::Applied;
}

CutAreaClick ClickCutAreaButton(RingGeometry& ring, int32_t id, bool movieOpen, bool adjustable,
                                int32_t frameWidth, int32_t frameHeight) {
  if (!movieOpen || !adjustable || !IsCutAreaButton(id)) return CutAreaClick::Ignored;
  const RingGeometry next = ApplyCutAreaButton(ring, id);
  if (id == kCutReset) {
    ring = next;
    return CutAreaClick::Applied;
  }
  return ChangeCutArea(ring, next, movieOpen, adjustable, frameWidth, frameHeight);
}

std::array<LabelText, 6> RefreshCutAreaLabels(const RingGeometry& ring) {
  return {{
      {300, std::to_string(ring.X1)},
      {301, std::to_string(ring.Y1)},
      {302, std::to_string(int64_t{ring.X2} - ring.X1)},
      {310, std::to_string(ring.X2)},
      {311, std::to_string(ring.Y2)},
      {322, std::to_string(ring.RSIZE)},
  }};
}

}  // namespace corvinex
