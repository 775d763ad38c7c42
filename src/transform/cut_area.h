#pragma once
// The nine Cut Area buttons and the six value labels, as plain functions over
// RingGeometry so that the window and the tests share one definition.

#include <array>
#include <cstdint>
#include <string>

#include "transform/unwrap_geometry.h"

namespace corvinex {

enum CutAreaButtonId : int32_t {
  kCutLeft = 3900,
  kCutRight = 3901,
  kCutUp = 3902,
  kCutDown = 3903,
  kCutReset = 3904,
  kCutGrowExternal = 3907,
  kCutShrinkExternal = 3908,
  kCutGrowInternal = 3917,
  kCutShrinkInternal = 3918,
};

struct CutAreaButton {
  int32_t id;
  const char* bitmap;
  const char* tooltip;
};

// The buttons in the order of the "Cut controls" group.
extern const std::array<CutAreaButton, 9> kCutAreaButtons;

// Values before the settings file is read, and those of "Reset" (also used when
// a settings file lacks a tag).
RingGeometry StartupRing();
RingGeometry ResetRing();

bool IsCutAreaButton(int32_t id);

// The button's change alone, with no checks; unknown ids change nothing.
RingGeometry ApplyCutAreaButton(const RingGeometry& ring, int32_t id);

// Limits of the geometry (GeometryLimit bits) that `ring` breaks on a frame of
// the given size: crop sides below 4 or above the largest, or an internal circle
// that is negative or not inside the external one.
uint32_t CutAreaViolations(const RingGeometry& ring, int32_t frameWidth, int32_t frameHeight);

enum class CutAreaClick {
  Ignored,  // no movie open or Cut Area not adjustable: no sound, no change
  Applied,  // sound, values changed; the caller sets the Cut Area redraw request
  Refused,  // sound, values unchanged: the change would break a geometry limit
};

// Any change of the Cut Area (a drag, the wheel, a typed value, a found ring) under
// the buttons' rules: ignored without a movie or while the Cut Area is not
// adjustable; refused when `next` breaks a limit that `ring` keeps.
CutAreaClick ChangeCutArea(RingGeometry& ring, const RingGeometry& next, bool movieOpen,
                           bool adjustable, int32_t frameWidth, int32_t frameHeight);

// One click of a Cut Area button. A change is refused when it would break a
// limit that the current values keep, so that values from an odd settings file
// can still be moved back inside the limits.
CutAreaClick ClickCutAreaButton(RingGeometry& ring, int32_t id, bool movieOpen, bool adjustable,
                                int32_t frameWidth, int32_t frameHeight);

struct LabelText {
  int32_t control;
  std::string text;
};

// The six value labels: 300 X1, 301 Y1, 302 X2 - X1, 310 X2, 311 Y2, 322 RSIZE.
std::array<LabelText, 6> RefreshCutAreaLabels(const RingGeometry& ring);

}  // namespace corvinex
