#include "app/screen_check.h"

namespace corvinex {

ScreenDecision DecideScreen(int32_t width, int32_t height) {
  const std::string resolution = "Current Screen resolution: " + std::to_string(width) + "x" +
                                 std::to_string(height) + " pixels.";
  ScreenDecision decision;
  if (height < 768) {
    decision.form = ScreenForm::Refused;
    decision.caption = "Warning !";
    decision.text = resolution +
                    "\r\nTessaline Corvinex require Screen resolution with height >= 768 "
                    "pixels.\r\nPlease change the Screen resolution. The programm cannot be run.";
  } else if (height < 888) {
    decision.form = ScreenForm::Shortened;
    decision.caption = "Information";
    decision.text = resolution +
                    "\r\nTessaline Corvinex require Screen resolution with height > 888 pixels "
                    "for standard mode. \r\nTessaline Corvinex will work in shortened form.";
  }
  return decision;
}

}  // namespace corvinex
