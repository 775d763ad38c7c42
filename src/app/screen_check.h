#pragma once
// The start-up decision on the screen size: refuse, shortened form, or standard.

#include <cstdint>
#include <string>

namespace corvinex {

enum class ScreenForm { Refused, Shortened, Standard };

struct ScreenDecision {
  ScreenForm form = ScreenForm::Standard;
  // The message to show first; empty caption means none.
  std::string caption;  // "Warning !" (warning icon) or "Information" (information icon)
  std::string text;     // lines joined by CR LF
};

ScreenDecision DecideScreen(int32_t width, int32_t height);

}  // namespace corvinex
