#pragma once
// Splits one frame's work in two halves: one on a helper thread, one on the caller's,
// so that the unwrap of a frame takes both cores while an encoder waits for it. One
// helper serves the whole process; a caller that finds it busy does both halves
// itself. Nothing is allocated per call.

namespace corvinex {

// Calls work(context, 0) and work(context, 1), at once where a second core and the
// helper are free, and returns when both have ended.
void RunInTwoHalves(void (*work)(void* context, int half), void* context);

}  // namespace corvinex
