#pragma once
// The user's option set. Field names are the tags of the settings file, so the
// file, the menus and the log all speak of the same names.

#include <cmath>
#include <cstdint>
#include <string>

namespace corvinex {

// The 25 values that the settings file keeps, in file order, with their built-in
// defaults (the state before any settings file is read).
struct AppSettings {
  int32_t X1 = -8;
  int32_t Y1 = -8;
  int32_t X2 = 616;
  int32_t Y2 = 606;
  int32_t SHARPEN_CH = 1;
  int32_t BRIGHTNESS_CH = 0;
  int32_t CONTRAST_CH = 0;
  int32_t CPU_CH = 0;
  int32_t NOISE_CH = 0;
  int32_t ASPECT = 0;  // OS_ASPECT
  int32_t SHARPEN = 0;
  int32_t RADIUS = 0;
  int32_t BRIGHTNESS = 0;
  int32_t CONTRAST = 0;
  int32_t CPU = 0;
  int32_t NOISE = 0;
  // The internal circle follows the external one: round((X2 - X1) / 7.85714f) = 79.
  int32_t RSIZE = static_cast<int32_t>(std::nearbyint((616 - -8) / 7.85714f));
  std::string APATH;   // temporary folder
  std::string OPATH;   // folder last used in a file chooser
  float HSIZE = 0.0f;  // lens coefficient
  int32_t DSSETUP = 0;
  int32_t BITRATE = 0;
  int32_t CODECMODE = 0;
  int32_t AUTOSAVE = 1;
  int32_t STEREO_OUT_TYPE = 0;  // 0 off, 8 vertical stereo pair

  bool operator==(const AppSettings&) const = default;
};

// Options outside the 25 original values. Those that change the output are kept
// in lines of their own after them (kept_choices.h); the logo starts empty each run.
struct SessionOptions {
  int32_t OS_PREVIEW = 0;      // "Fast conversion, draft quality"
  int32_t FLIP_MODE = 0;       // 1 horizontal | 2 vertical
  int32_t RESIZE = 0;          // 0 natural size, 1..5 = 90%..50%
  int32_t QUALITY = 0;         // quality list: 0 "Default", 1..21
  int32_t AUDIO_CHANNELS = 0;  // index into the audio channel menu
  int32_t AUDIO_RATE = 0;      // index into the sampling rate menu
  int32_t STEREO_3DP = 0;      // "3ZU Reduze Vezoro" on
  int32_t STEREO_TYPE = 0;     // 0 dynamic, 1 static
  int32_t DEPTH_CH = 0;        // depth displacement on
  int32_t DEPTH = 30;          // 20..90 in steps of 5
  int32_t GLASSES = 6;         // glasses shift, -10..10
  std::string LOGO;            // logo image path, empty when none
  int32_t OUTPUT_TYPE = 0;     // the save chooser's type: 0 FLV .. 7 WEBM
  int32_t SHOW_LAYOUT = 1;     // the panorama preview shows the output's layout
  int32_t JPEG_QUALITY = 92;   // a photo saved as JPEG: 1 .. 100
  int32_t PANORAMA_WIDTH = 0;  // 0 as before, -1 full detail, or even pixels 64..16384
  double HEADING = 0.0;        // degrees shown at the panorama's centre, -360..360
  int32_t PROJECTION = 0;      // 0 panorama strip, 1 equirectangular 2:1 frame
  int32_t FILL = 0;            // rows around the strip in the 2:1 frame: 0 black, 1 soft
  int32_t HORIZON = 0;         // degrees the strip moves up in the 2:1 frame, -45..45
  int32_t CODEC = 0;           // 0 the container's own, 1 H.264, 2 H.265, 3 AV1, 4 VP9
  int32_t ENCODER = 0;         // 0 auto, 1 software, 2 + a hardware encoder's table row

  bool operator==(const SessionOptions&) const = default;
};

}  // namespace corvinex
