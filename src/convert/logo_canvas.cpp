#include "convert/logo_canvas.h"

#include "convert/convert_movie.h"
#include "transform/logo_frame.h"
#include "transform/output_projection.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

bool PrepareLogoCanvas(const FrameImage& logo, int32_t width, int32_t height,
                       const AppSettings& settings, const SessionOptions& session,
                       FrameImage& canvas) {
  const UnwrapGeometry g = ComputeUnwrapGeometry(width, height, RingFromSettings(settings),
                                                 settings.HSIZE, ShapeFromOptions(session));
  return PrepareLogoFrame(logo, g.W, DecoderRoute(settings), canvas);
}

}  // namespace corvinex
