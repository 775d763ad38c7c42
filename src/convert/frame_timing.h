#pragma once
// The output's constant-rate frame slots and where the input's frames go in them,
// as a constant-rate muxer places them: an input frame at time t (100-ns units
// from the first video frame) belongs to slot round((t + pictureStart) /
// timePerFrame). Slots an input frame skips are filled with the frame before; a
// frame whose slot is already filled is dropped. When the picture starts after the
// sound, the first slots hold the first frame.

#include <algorithm>
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
  FrameSlots(int64_t timePerFrame, int64_t pictureStart, int64_t slotLimit = INT64_MAX)
      : timePerFrame_(timePerFrame),
        pictureStart_(std::max<int64_t>(pictureStart, 0)),
        slotLimit_(slotLimit),
        backJump_(timePerFrame > 0 ? std::max<int64_t>(2, 10'000'000 / timePerFrame) : 0) {}

  struct Placement {
    bool drop = false;        // its slot is already filled
    int64_t slot = 0;         // where the frame is processed
    int64_t repeatOf = -1;    // the slot to repeat, -1 when none
    int64_t repeatFirst = 0;  // slots [repeatFirst, repeatLast] repeat it
    int64_t repeatLast = -1;
    int64_t shift = 0;  // a break in the timing moves the later frames by this
    int64_t Repeats() const { return repeatOf < 0 ? 0 : repeatLast - repeatFirst + 1; }
  };

  // The slot an input frame at `time` belongs to (never negative). Without a known
  // rate every frame takes the next slot.
  int64_t SlotOf(int64_t time) const {
    if (timePerFrame_ <= 0) return filled_;
    return std::max<int64_t>(0, RoundedDivision(time + pictureStart_, timePerFrame_) + shift_);
  }

  // Where the frame at `time` goes; Commit() it once it has been processed.
  Placement Place(int64_t time) const {
    Placement p;
    int64_t slot = SlotOf(time);
    if (slot > slotLimit_ || (last_ >= 0 && slot < filled_ - backJump_)) {
      p.shift = filled_ - slot;
      slot = filled_;
    }
    if (last_ < 0) {
      // The first frame: processed into slot 0 and repeated up to its own slot.
      p.slot = 0;
      if (slot > 0) {
        p.repeatOf = 0;
        p.repeatFirst = 1;
        p.repeatLast = slot;
      }
      return p;
    }
    if (slot < filled_) {
      p.drop = true;
      return p;
    }
    p.slot = slot;
    if (slot > filled_) {
      p.repeatOf = last_;
      p.repeatFirst = filled_;
      p.repeatLast = slot - 1;
    }
    return p;
  }

  void Commit(const Placement& p) {
    if (p.drop) return;
    shift_ += p.shift;
    last_ = p.slot;
    filled_ = std::max(p.slot, p.repeatLast) + 1;
  }

  // The repeats of the last frame that fill the output up to `total` slots.
  Placement FillTo(int64_t total) const {
    Placement p;
    p.drop = true;  // nothing to process
    if (last_ >= 0 && total > filled_) {
      p.repeatOf = last_;
      p.repeatFirst = filled_;
      p.repeatLast = total - 1;
    }
    return p;
  }
  void CommitFill(const Placement& p) {
    if (p.repeatOf >= 0) filled_ = p.repeatLast + 1;
  }

  int64_t Filled() const { return filled_; }  // slots written so far
  int64_t LastProcessed() const { return last_; }

 private:
  int64_t timePerFrame_;
  int64_t pictureStart_;
  int64_t slotLimit_;
  int64_t backJump_;    // slots
  int64_t shift_ = 0;   // slots, from the breaks so far
  int64_t filled_ = 0;  // slots [0, filled_) are taken
  int64_t last_ = -1;   // the slot of the last processed frame
};

}  // namespace corvinex
