// AdjustFrame: option ranges, the processor-usage pause, and the order of its steps.
#include <gtest/gtest.h>

#include "settings/app_settings.h"
#include "support/pixel_images.h"
#include "transform/adjust_frame.h"
#include "transform/brightness_contrast.h"
#include "transform/noise_filter.h"

namespace corvinex {
namespace {

TEST(CpuPause, LengthFollowsUsageAndStaysWithinOneSecond) {
  AppSettings s;
  s.CPU_CH = 1;
  const std::pair<int, int> cases[] = {{100, 0},  {50, 500},   {73, 270},
                                       {0, 1000}, {-40, 1000}, {250, 0}};
  for (auto [usage, ms] : cases) {
    s.CPU = usage;
    EXPECT_EQ(CpuPauseMilliseconds(AdjustOptionsFrom(s)), ms) << usage;
  }
  s.CPU_CH = 0;
  s.CPU = 50;
  EXPECT_EQ(CpuPauseMilliseconds(AdjustOptionsFrom(s)), 0);
}

TEST(AdjustOptions, SettingsValuesAreBroughtIntoKernelRanges) {
  AppSettings s;
  s.NOISE = 1000000;
  s.BRIGHTNESS = -5;
  s.CONTRAST = 70000;
  const AdjustOptions o = AdjustOptionsFrom(s);
  EXPECT_EQ(o.noisePasses, 5);
  EXPECT_EQ(o.brightness, 0);
  EXPECT_EQ(o.contrast, 255);
  // Zero (no settings file yet) is kept: brightness 0 is an offset of -127.
  s.NOISE = 0;
  s.BRIGHTNESS = 0;
  s.CONTRAST = 0;
  const AdjustOptions z = AdjustOptionsFrom(s);
  EXPECT_EQ(z.noisePasses, 0);
  EXPECT_EQ(z.brightness, 0);
  EXPECT_EQ(z.contrast, 0);
}

TEST(AdjustFrame, NoisePassesRunBeforeBrightnessThenContrast) {
  AdjustOptions o;
  o.noiseOn = true;
  o.noisePasses = 5;
  o.brightnessOn = true;
  o.brightness = 180;
  o.contrastOn = true;
  o.contrast = 60;
  FrameImage img = test::RandomImage(33, 21, 5);
  FrameImage expected = img;
  for (int i = 0; i < 5; ++i) NoiseFilterPassReference(expected);
  ApplyBrightnessContrastReference(expected, {true, 180 - 127, true, 61});

  int hookCalls = 0;
  AdjustFrame(img, o, [&](const FrameImage& adjusted) {
    ++hookCalls;
    EXPECT_EQ(adjusted.pixels, expected.pixels) << "the hook sees the adjusted frame";
  });
  EXPECT_EQ(hookCalls, 1);
  EXPECT_EQ(img.pixels, expected.pixels);
}

TEST(AdjustFrame, NothingChangesWhenEverythingIsOffOrZeroPasses) {
  const FrameImage original = test::RandomImage(20, 10, 6);
  FrameImage img = original;
  AdjustOptions o;
  o.noisePasses = 3;  // filter off
  o.brightness = 255;
  o.contrast = 20;
  AdjustFrame(img, o);
  EXPECT_EQ(img.pixels, original.pixels);
  o = {};
  o.noiseOn = true;
  o.noisePasses = 0;
  AdjustFrame(img, o);
  EXPECT_EQ(img.pixels, original.pixels);
}

}  // namespace
}  // namespace corvinex
