#pragma once
// The output's constant-rate frame slots and which input frame each one shows: slot
// k, at k / rate from the earliest stream's start, shows the frame on screen then,
// the last one stamped at or before that time. A frame is known to leave the screen
// only when the next one comes, so each is placed with the next frame's time. When
// the picture starts after the sound, the first slots hold the first frame.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvinex {

inline int64_t RoundedDivision(int64_t value, int64_t divisor) {
  if (divisor <= 0) return 0;
  return value >= 0 ? (value + divisor / 2) / divisor : -((-value + divisor / 2) / divisor);
}

// Frames of the output from the earliest stream's start to the picture's end; at
// least 1.
inline int64_t OutputFrameCount(int64_t pictureStart, int64_t duration, int64_t timePerFrame) {
  if (timePerFrame <= 0) return 1;
  return std::max<int64_t>(
      1, RoundedDivision(std::max<int64_t>(pictureStart, 0) + std::max<int64_t>(duration, 0),
                         timePerFrame));
}

// A timestamp that jumps back by more than a second, or past `slotLimit`, is a
// break in the timing (pieces joined without new timestamps, a damaged stamp), not
// a rate: from there on the frames continue after the last one instead of being
// dropped or repeated by the thousand.
class FrameSlots {
 public:
  static constexpr int64_t kNoNext = INT64_MIN;  // the frame placed is the last one
  // Matroska rounds its stamps to the millisecond: a frame stamped up to this much
  // after a slot's time (100-ns units) is taken as on screen at it.
  static constexpr int64_t kTolerance = 10'000;

  FrameSlots(int64_t timePerFrame, int64_t pictureStart, int64_t slotLimit = INT64_MAX)
      : timePerFrame_(timePerFrame),
        // The encoder is told the rate with two decimals (RatePiece): the slots follow
        // that rate exactly, not the time per frame rounded to 100 ns, which would
        // drift from it by a frame in a few hours.
        rate100_(timePerFrame > 0 ? std::llround(1e9 / static_cast<double>(timePerFrame)) : 0),
        pictureStart_(std::max<int64_t>(pictureStart, 0)),
        slotLimit_(slotLimit),
        backJump_(timePerFrame > 0 ? std::max<int64_t>(2, 10'000'000 / timePerFrame) : 0) {}

  struct Placement {
    bool drop = false;        // never on screen at a slot's time
    int64_t slot = 0;         // where the frame is processed
    int64_t repeatOf = -1;    // the slot to repeat, -1 when none
    int64_t repeatFirst = 0;  // slots [repeatFirst, repeatLast] repeat it
    int64_t repeatLast = -1;
    int64_t shift = 0;  // a break in the timing moves the later frames by this
    int64_t end = 0;    // the first slot after this frame's
    int64_t time = 0;
    int64_t Repeats() const { return repeatOf < 0 ? 0 : repeatLast - repeatFirst + 1; }
  };

  // The first slot whose time is not before `time` (100-ns units from the first video
  // frame) less the tolerance, before any break; never negative.
  int64_t FirstSlotAt(int64_t time) const {
    if (rate100_ <= 0) return 0;
    const __int128 at = static_cast<__int128>(time) + pictureStart_ - kTolerance;
    if (at <= 0) return 0;
    const __int128 slots = (at * rate100_ + kUnitsPer100Seconds - 1) / kUnitsPer100Seconds;
    return static_cast<int64_t>(std::min<__int128>(slots, INT64_MAX / 2));
  }

  // Where the frame at `time` goes, the next frame coming at `nextTime` (kNoNext for
  // the last frame: it lasts a slot, or the time since the frame before when frames
  // come faster than slots). Commit() it once it has been processed.
  Placement Place(int64_t time, int64_t nextTime) const {
    Placement p;
    p.time = time;
    if (rate100_ <= 0) {  // without a known rate every frame takes the next slot
      p.slot = filled_;
      p.end = filled_ + 1;
      return p;
    }
    int64_t start = FirstSlotAt(time) + shift_;
    if (start > slotLimit_ || (last_ >= 0 && start < filled_ - backJump_)) {
      p.shift = filled_ - start;
      start = filled_;
    }
    start = std::max<int64_t>(start, 0);
    int64_t end = 0;
    if (nextTime == kNoNext) {
      const int64_t since = previousTime_ == kNoNext ? 0 : time - previousTime_;
      const int64_t length = since > 0 && since < timePerFrame_ ? since : timePerFrame_;
      // Not on screen at any slot's time, it is dropped, unless it is the only frame.
      end = std::max<int64_t>(FirstSlotAt(time + length) + shift_ + p.shift, last_ < 0 ? 1 : 0);
    } else {
      end = FirstSlotAt(nextTime) + shift_ + p.shift;
      // The next frame goes back in time or is a break: it follows this one, which
      // keeps a slot of its own.
      if (end < start || end > slotLimit_) end = start + 1;
    }
    const int64_t first = last_ < 0 ? 0 : std::max(start, filled_);
    if (end <= first) {
      p.drop = true;  // the next frame is on screen by the next slot's time
      return p;
    }
    p.slot = first;
    p.end = end;
    if (end > first + 1) {
      p.repeatOf = first;
      p.repeatFirst = first + 1;
      p.repeatLast = end - 1;
    }
    return p;
  }

  void Commit(const Placement& p) {
    previousTime_ = p.time;
    if (p.drop) return;
    shift_ += p.shift;
    last_ = p.slot;
    filled_ = p.end;
  }

  int64_t Filled() const { return filled_; }  // slots written so far
  int64_t LastProcessed() const { return last_; }

 private:
  static constexpr int64_t kUnitsPer100Seconds = 1'000'000'000;
  static int64_t Shifted(int64_t slot, int64_t shift) { return std::max<int64_t>(0, slot + shift); }

  int64_t timePerFrame_;
  int64_t rate100_;  // frames per 100 s
  int64_t pictureStart_;
  int64_t slotLimit_;
  int64_t backJump_;    // slots
  int64_t shift_ = 0;   // slots, from the breaks so far
  int64_t filled_ = 0;  // slots [0, filled_) are taken
  int64_t last_ = -1;   // the slot of the last processed frame
  int64_t previousTime_ = kNoNext;
};

}  // namespace corvinex
