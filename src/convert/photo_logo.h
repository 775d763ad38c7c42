#pragma once
// The logo canvas under a photo's panorama, made the same way for the window and the
// batch tool so that both write the same picture for the same settings.

#include <cstdint>

#include "settings/app_settings.h"
#include "transform/frame_image.h"

namespace corvinex {

// Fills `canvas` with `logo` laid out for the panorama a width x height photo gives
// with this Cut Area and shape, as a movie's conversion does. False, with `canvas`
// empty, when the panorama is too small to hold the logo; the conversion then refuses
// the empty canvas with its own message.
bool PreparePhotoLogo(const FrameImage& logo, int32_t width, int32_t height,
                      const AppSettings& settings, const SessionOptions& session,
                      FrameImage& canvas);

}  // namespace corvinex
