#pragma once
// The logo canvas around a panorama, made the same way for movies and photos, in the
// window and the batch tool, so that all write the same picture for the same settings.

#include <cstdint>

#include "settings/app_settings.h"
#include "transform/frame_image.h"

namespace corvinex {

// Fills `canvas` with `logo` laid out for the panorama a width x height frame gives
// with this Cut Area and shape, as the conversion unwraps it. False, with `canvas`
// empty, when the panorama is too small to hold the logo; the conversion then refuses
// the empty canvas with its own message.
bool PrepareLogoCanvas(const FrameImage& logo, int32_t width, int32_t height,
                       const AppSettings& settings, const SessionOptions& session,
                       FrameImage& canvas);

}  // namespace corvinex
