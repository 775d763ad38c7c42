#include "view/degree_scale.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace corvinex {
namespace {

constexpr int32_t kAreaUnits = 1000;
constexpr int32_t kFirstTick = 1;  // the edge ticks sit inside the area, where they show
constexpr int32_t kLastTick = 995;

// The unturned scale: "360", 77 blanks, "270", 77 blanks, "180", 77 blanks, "90", 70
// blanks, "0", laid out for a system font of about 3 units a character from 8 on; each
// number keeps its place beside its tick as it moves.
struct UnturnedMark {
  const char* label;
  int32_t degrees;
  int32_t column;  // the character it starts at
};
constexpr std::array<UnturnedMark, 5> kUnturned = {
    {{"360", 360, 0}, {"270", 270, 80}, {"180", 180, 160}, {"90", 90, 240}, {"0", 0, 312}}};

DegreeMark Unturned(const UnturnedMark& m) {
  DegreeMark mark;
  mark.label = m.label;
  mark.tickX = m.degrees == 360 ? kFirstTick
               : m.degrees == 0 ? kLastTick
                                : kAreaUnits * (360 - m.degrees) / 360;
  mark.textX = 8 + static_cast<int32_t>(std::lround(3.025 * m.column));
  return mark;
}

}  // namespace

DegreeScale DegreeScaleMarks(int32_t turn, int32_t width) {
  DegreeScale scale;
  const bool turned = width > 0 && turn % width != 0;
  // What showed at column x + turn shows at x: each tick moves left by the turn's share
  // of the area and comes round from the right edge, where the same direction lies.
  const double shift =
      turned ? static_cast<double>(((turn % width) + width) % width) * kAreaUnits / width : 0.0;
  for (const UnturnedMark& m : kUnturned) {
    const DegreeMark mark = Unturned(m);
    if (!turned) {
      scale.marks[static_cast<size_t>(scale.count++)] = mark;
      continue;
    }
    if (m.degrees == 360) continue;
    double at = (m.degrees == 0 ? kAreaUnits : mark.tickX) - shift;
    if (at <= 0) at += kAreaUnits;
    DegreeMark moved = mark;
    moved.tickX = std::clamp(static_cast<int32_t>(std::lround(at)), kFirstTick, kLastTick);
    moved.textX = mark.textX + (moved.tickX - mark.tickX);
    scale.marks[static_cast<size_t>(scale.count++)] = moved;
  }
  // Left to right: the turn only rotates the order, so one pass of swaps settles it.
  for (size_t i = 1; i < scale.marks.size() && i < static_cast<size_t>(scale.count); ++i) {
    for (size_t j = i; j > 0 && scale.marks[j - 1].tickX > scale.marks[j].tickX; --j) {
      std::swap(scale.marks[j - 1], scale.marks[j]);
    }
  }
  return scale;
}

}  // namespace corvinex
