#include <gtest/gtest.h>

#include <sstream>

#include "convert/decoded_logo.h"
#include "transform/logo_frame.h"

namespace corvinex {
namespace {

constexpr uint32_t kLeft = PackBgrx(200, 40, 10);   // the logo's left half
constexpr uint32_t kRight = PackBgrx(10, 60, 220);  // its right half

FrameImage TwoColourLogo(int32_t width, int32_t height) {
  FrameImage logo(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) logo.Row(y)[x] = x < width / 2 ? kLeft : kRight;
  }
  return logo;
}

bool RowIsBlack(const FrameImage& image, int32_t row) {
  for (int32_t x = 0; x < image.width; ++x) {
    if (image.Row(row)[x] != 0) return false;
  }
  return true;
}

TEST(LogoFormat, SixTimesAsWideAsHighPasses) {
  EXPECT_TRUE(LogoFormatOk(1200, 200));
  EXPECT_FALSE(LogoFormatOk(1199, 200));
  EXPECT_TRUE(LogoFormatOk(6, 1));
  EXPECT_FALSE(LogoFormatOk(0, 0));
  EXPECT_FALSE(LogoFormatOk(600, 0));
  EXPECT_FALSE(LogoFormatOk(-1200, -200));
}

TEST(LogoFormat, ARefusedLogoReplacesTheOldOneWithNone) {
  LogoState logo;
  ASSERT_TRUE(AcceptLogo(logo, TwoColourLogo(1200, 200)));
  EXPECT_TRUE(logo.present);
  EXPECT_EQ(logo.image.width, 1200);

  EXPECT_FALSE(AcceptLogo(logo, TwoColourLogo(1199, 200)));
  EXPECT_FALSE(logo.present);
  EXPECT_EQ(logo.image.width, 10);
  EXPECT_TRUE(logo.image.pixels.empty());

  // An empty picture (a decode that failed) is no logo either.
  ASSERT_TRUE(AcceptLogo(logo, TwoColourLogo(1200, 200)));
  EXPECT_FALSE(AcceptLogo(logo, FrameImage()));
  EXPECT_FALSE(logo.present);
}

// The logo decoder's output is taken only when it is a whole picture of a sane size.
TEST(LogoFormat, DecodedLogoIsTakenOnlyWhole) {
  FrameImage logo(7, 2);
  for (size_t i = 0; i < logo.pixels.size(); ++i) logo.pixels[i] = 0x00102030u + uint32_t(i);
  std::ostringstream out;
  ASSERT_TRUE(WriteDecodedLogo(out, logo));
  const std::string bytes = out.str();
  FrameImage back;
  ASSERT_TRUE(ReadDecodedLogo(bytes, back));
  EXPECT_EQ(back.width, 7);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, logo.pixels);

  EXPECT_FALSE(ReadDecodedLogo(bytes.substr(0, bytes.size() - 1), back));
  EXPECT_TRUE(back.pixels.empty());
  EXPECT_FALSE(ReadDecodedLogo(bytes + "x", back));
  EXPECT_FALSE(ReadDecodedLogo(bytes.substr(0, 5), back));
  std::string huge = bytes;
  huge[2] = '\x7f';  // a width of millions, its pixels missing
  EXPECT_FALSE(ReadDecodedLogo(huge, back));
  std::string empty = bytes;
  empty[0] = 0;  // a width of 0 with pixels that then do not fit
  EXPECT_FALSE(ReadDecodedLogo(empty, back));
}

TEST(LogoFrame, CanvasHeightOfBothRoutes) {
  EXPECT_EQ(LogoFrameHeight(2000, true), 1000);
  EXPECT_EQ(LogoFrameHeight(2000, false), 1000);
  // pw / 2 odd: the graph route takes the even number below.
  EXPECT_EQ(LogoFrameHeight(2006, true), 1003);
  EXPECT_EQ(LogoFrameHeight(2006, false), 1002);
  EXPECT_EQ(LogoFrameHeight(1228, false), 614);
}

TEST(LogoFrame, LayoutForA1200By200LogoOnA2000WidePanorama) {
  const LogoFrameLayout l = ComputeLogoFrameLayout(1200, 200, 2000, 500, 100, false);
  EXPECT_EQ(l.height, 1000);
  EXPECT_FLOAT_EQ(l.scale, 0.6f);
  EXPECT_EQ(l.logoRows, 333);
  EXPECT_EQ(l.stripHeight, 398);
  EXPECT_EQ(l.stripOffset, 301);
}

TEST(LogoFrame, CapsAtBottomAndTurnedAtTopWithBlackBetween) {
  FrameImage canvas;
  ASSERT_TRUE(PrepareLogoFrame(TwoColourLogo(1200, 200), 2000, false, canvas));
  ASSERT_EQ(canvas.width, 2000);
  ASSERT_EQ(canvas.height, 1000);
  // Bottom cap rows 0..331: left stays left. (The resampler leaves the scaled logo's
  // two outermost rows at each edge black.)
  for (int32_t r : {5, 100, 329}) {
    EXPECT_EQ(canvas.Row(r)[300], kLeft) << r;
    EXPECT_EQ(canvas.Row(r)[1700], kRight) << r;
    EXPECT_EQ(canvas.Row(r)[1999], canvas.Row(r)[1998]) << r;
  }
  // Top cap rows 669..999: turned by 180 degrees.
  for (int32_t r : {671, 800, 995}) {
    EXPECT_EQ(canvas.Row(r)[300], kRight) << r;
    EXPECT_EQ(canvas.Row(r)[1700], kLeft) << r;
  }
  for (int32_t r = 332; r <= 668; ++r) ASSERT_TRUE(RowIsBlack(canvas, r)) << r;
}

TEST(LogoFrame, TopCapMirrorsTheBottomCapRows) {
  // A logo with a different colour per row shows that the top cap takes the
  // scaled rows in reverse order.
  FrameImage logo(600, 100);
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 600; ++x) logo.Row(y)[x] = PackBgrx(static_cast<uint8_t>(2 * y), 0, 0);
  }
  FrameImage canvas;
  ASSERT_TRUE(PrepareLogoFrame(logo, 600, true, canvas));
  const int32_t L = ComputeLogoFrameLayout(600, 100, 600, 0, 0, true).logoRows;
  ASSERT_EQ(L, 100);
  const int32_t E = canvas.height;
  for (int32_t r = 2; r <= L - 1; r += 7) {
    EXPECT_EQ(canvas.Row(E - L + r)[300], canvas.Row(L - r)[299]) << r;
  }
}

TEST(LogoFrame, RefusesWhatCannotHoldALogo) {
  FrameImage canvas(4, 4);
  EXPECT_FALSE(PrepareLogoFrame(FrameImage(), 2000, false, canvas));
  EXPECT_EQ(canvas.PixelCount(), 0u);
  EXPECT_FALSE(PrepareLogoFrame(TwoColourLogo(1200, 200), 1, false, canvas));
}

TEST(LogoPreview, StretchesTheWholeLogoAndSkipsNarrowOnes) {
  LogoState logo;
  ASSERT_TRUE(AcceptLogo(logo, TwoColourLogo(1200, 200)));
  FrameImage preview;
  LogoPreview(logo, preview);
  ASSERT_EQ(preview.width, 375);
  ASSERT_EQ(preview.height, 52);
  EXPECT_EQ(preview.Row(0)[0], kLeft);
  EXPECT_EQ(preview.Row(51)[374], kRight);
  EXPECT_EQ(preview.Row(26)[100], kLeft);

  // Narrower than 100 pixels: accepted, not previewed.
  ASSERT_TRUE(AcceptLogo(logo, TwoColourLogo(96, 16)));
  EXPECT_TRUE(logo.present);
  EXPECT_FALSE(LogoPreviewShown(logo));
  LogoPreview(logo, preview);
  for (int32_t r = 0; r < preview.height; ++r) ASSERT_TRUE(RowIsBlack(preview, r));
}

}  // namespace
}  // namespace corvinex
