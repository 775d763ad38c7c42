#pragma once
// The 360 viewer's arithmetic: a perspective view into the panorama through a virtual
// camera (yaw, pitch, horizontal field of view), computed per pixel with integers and
// lookup tables only.

#include <array>
#include <cstdint>
#include <vector>

#include "transform/frame_image.h"

namespace corvinex {

// The view bitmap's size: 640 x 388, smaller for panoramas lower than 388 rows.
struct ViewerSize {
  int32_t width = 0;
  int32_t height = 0;
};
ViewerSize ViewerSizeFor(int32_t ph);

// The view direction and the user's motion. Angles in degrees.
struct ViewerState {
  float yaw = -90;
  float pitch = 0;
  float fov = 120;  // horizontal field of view
  float minFov = 24;
  float maxFov = 120;
  float pitchMax = 90;
  float pitchMin = -90;
  int32_t dragStep = 3;
  int32_t mouseX = 0, mouseY = 0;    // last pointer position
  int32_t originX = 0, originY = 0;  // where the drag started
  bool dragging = false;
  bool zoomIn = false;
  bool zoomOut = false;
};

// Lookup tables built when the viewer opens, for a panorama pw wide.
struct ViewTables {
  std::array<int32_t, 4097> atan{};  // 1/256 panorama pixels
  std::array<int32_t, 4097> sqrt{};  // 4096 x sqrt(1 + t^2)
  std::vector<uint16_t> product;     // 256 x 256: a x b
  int32_t quarter = 0;               // q = 64 x pw
};
void BuildViewTables(int32_t pw, ViewTables& tables);

// atan(tan(f x pi / 360) x vh / vw) in degrees.
float HalfVerticalFov(float fov, ViewerSize size);

// Pitch limits from the panorama's aspect and the widest field of view that fits
// between them; resets the direction to yaw -90, pitch 0.
void ApplyViewLimits(int32_t pw, int32_t ph, ViewerSize size, ViewerState& state);

// The angle of (a, b) in 1/256 panorama pixels from the atan table.
int32_t FixedAtan2(const ViewTables& tables, int32_t a, int32_t b);

// One frame's motion: the drag turns the view, the zoom toggles change the field of
// view, and the pitch stays within its limits.
void UpdateMotion(ViewerState& state, ViewerSize size);
void StopMotion(ViewerState& state);

// Arrow keys and the direction buttons simulate a drag of dragStep pixels.
enum class ViewKey { Left, Right, Up, Down, ZoomIn, ZoomOut };
void PressViewKey(ViewerState& state, ViewKey key);

// Everything RenderView needs, prepared once when the viewer opens.
struct ViewProjection {
  int32_t pw = 0, ph = 0;
  ViewerSize size;
  ViewTables tables;
  // The matrix scale and fixed-point factor for `fovUsed`.
  float fovUsed = -1;
  double scale = 0;
  double fixedFactor = 0;
};

// Sets up the projection and the state's limits for a pw x ph panorama. Returns
// false for a panorama too small to view (fewer than 2 columns or 2 rows).
bool OpenViewProjection(int32_t pw, int32_t ph, ViewProjection& projection, ViewerState& state);

// The integer matrix N of one frame, row by row (u, v, w).
using ViewMatrix = std::array<std::array<int32_t, 3>, 3>;
ViewMatrix ViewMatrixFor(ViewProjection& projection, const ViewerState& state);

// One frame of the view into `view` (size.width x size.height, bottom-up): each pixel
// looks up the panorama (pw x ph pixels, stride pw) and blends four neighbours; pixels
// that fall outside the panorama keep their value. The scalar version is the plain
// reference the optimised one must match.
void RenderView(ViewProjection& projection, const ViewerState& state, const uint32_t* panorama,
                FrameImage& view);
void RenderViewScalar(ViewProjection& projection, const ViewerState& state,
                      const uint32_t* panorama, FrameImage& view);

}  // namespace corvinex
