#pragma once
// The logo overlay's pure arithmetic: the format test, the spherical canvas that a
// conversion writes its panorama strip into, and the small preview picture.

#include <cstdint>
#include <string_view>

#include "transform/frame_image.h"

namespace corvinex {

// The loaded logo. Cleared, it keeps no pixels and the width 10 (so a stale size can
// never pass as a logo).
struct LogoState {
  bool present = false;
  FrameImage image;  // bottom-up BGRX, the decoded logo's own size
};

void ClearLogo(LogoState& logo);

// A logo must be at least six times as wide as high.
bool LogoFormatOk(int32_t width, int32_t height);

// Accepts `decoded` as the logo when it passed the format test; otherwise clears the
// logo. `decoded` is moved from on success.
bool AcceptLogo(LogoState& logo, FrameImage&& decoded);

inline constexpr std::string_view kLogoPresentText = "Logo present, spherical format";
inline constexpr std::string_view kLogoAbsentText = "Logo not present, cylindrical format";
inline constexpr std::string_view kBadLogoText = "Bad Logo format.";
inline constexpr std::string_view kBadLogoCaption = "Logo Image Error";
// Label colours (#RRGGBB): green or black text on grey.
inline constexpr uint32_t kLogoLabelBackground = 0x999999;
inline constexpr uint32_t kLogoPresentColour = 0x00FF00;
inline constexpr uint32_t kLogoAbsentColour = 0x000000;

// The canvas height E for a panorama pw wide: pw / 2 in the decoder route, the
// even number nearest below pw / 2 in the graph route.
int32_t LogoFrameHeight(int32_t pw, bool decoderRoute);

// The sizes PrepareLogoFrame works with.
struct LogoFrameLayout {
  int32_t height = 0;       // E
  int32_t stripHeight = 0;  // ph - cut - 2
  int32_t stripOffset = 0;  // round((E - strip height) / 2), from the bottom row
  float scale = 0;          // k = logo width / pw
  int32_t logoRows = 0;     // L = round(logo height / k)
};

LogoFrameLayout ComputeLogoFrameLayout(int32_t logoWidth, int32_t logoHeight, int32_t pw,
                                       int32_t ph, int32_t cut, bool decoderRoute);

// Builds the pw x E canvas: the logo scaled to pw wide at the bottom, the same logo
// turned by 180 degrees at the top, black between. `scaled` is scratch (pw x L) so a
// caller running many conversions reuses it. Returns false, leaving `canvas` empty,
// for a missing logo or a panorama too small to hold one.
bool PrepareLogoFrame(const FrameImage& logo, int32_t pw, bool decoderRoute, FrameImage& canvas,
                      FrameImage& scaled);
bool PrepareLogoFrame(const FrameImage& logo, int32_t pw, bool decoderRoute, FrameImage& canvas);

// The logo preview area's size.
inline constexpr int32_t kLogoPreviewWidth = 375;
inline constexpr int32_t kLogoPreviewHeight = 52;

// True when the logo is large enough to be previewed (at least 100 pixels wide).
bool LogoPreviewShown(const LogoState& logo);

// The whole logo stretched into `out` (kLogoPreviewWidth x kLogoPreviewHeight) with
// area averaging; black when the logo is not shown.
void LogoPreview(const LogoState& logo, FrameImage& out);

}  // namespace corvinex
