// Frames sampled from real movies (our generator's, ffmpeg's) and the ring found in
// them: the circle the sample movie's Cut Area puts on the frame comes back, odd
// names open, a movie without a ring or a broken file says so.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "convert/child_process.h"
#include "media/frame_sampler.h"
#include "media/movie_ring.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "transform/ring_cut_area.h"

namespace corvinex::test {
namespace {

TEST(FrameSampler, TakesDistinctShrunkFramesSpreadOverTheMovie) {
  TempDir dir;
  const auto movie = dir / "sample.mp4";
  MakeSampleMovie(movie, {.width = 640, .height = 480, .frames = 20, .sound = false});
  const SampledFrames sampled = SampleMovieFrames(movie, 6, 320);
  ASSERT_TRUE(sampled.ok()) << sampled.error;
  ASSERT_EQ(sampled.frames.size(), 6u);
  EXPECT_EQ(sampled.frameWidth, 640);
  EXPECT_EQ(sampled.frameHeight, 480);
  EXPECT_DOUBLE_EQ(sampled.scaleX, 2.0);
  EXPECT_DOUBLE_EQ(sampled.scaleY, 2.0);
  for (const GreyImage& g : sampled.frames) {
    EXPECT_EQ(g.width, 320);
    EXPECT_EQ(g.height, 240);
  }
  // One key frame for the whole movie: every seek lands on it, yet no frame is
  // taken twice (the moving block differs between them).
  for (size_t i = 1; i < sampled.frames.size(); ++i) {
    EXPECT_NE(sampled.frames[i].pixels, sampled.frames[i - 1].pixels) << i;
  }
  // Small movies keep their size.
  const SampledFrames full = SampleMovieFrames(movie, 2, 640);
  ASSERT_TRUE(full.ok());
  EXPECT_EQ(full.frames[0].width, 640);
  EXPECT_DOUBLE_EQ(full.scaleX, 1.0);
}

TEST(FrameSampler, FindsTheSampleMoviesRingAndItsCutArea) {
  TempDir dir;
  // Names that ffmpeg would take for options or protocols.
  const auto movie = dir / "-ring:1.mp4";
  const RingGeometry ring{60, 10, 400, 400, 60};
  MakeSampleMovie(movie, {.width = 800, .height = 600, .frames = 16, .sound = false, .ring = ring});
  const MovieRing found = FindRingInMovie(movie, 6);
  ASSERT_TRUE(found.error.empty()) << found.error;
  ASSERT_TRUE(found.ring.found) << found.ring.reason;
  EXPECT_EQ(found.framesSearched, 6);
  EXPECT_DOUBLE_EQ(found.sampleScale, 800.0 / 640.0);
  const CutAreaCircle truth = CircleOfCutArea(800, 600, ring);
  const double r = truth.outerRadius;
  EXPECT_LE(std::hypot(found.ring.centreX - truth.centreX, found.ring.centreY - truth.centreY),
            0.01 * r);
  EXPECT_LE(std::abs(found.ring.outerRadius - r), 0.02 * r);
  // The Cut Area reads the ring found.
  const CutAreaCircle area = CircleOfCutArea(800, 600, found.cutArea);
  EXPECT_LE(std::abs(area.centreX - truth.centreX), 0.01 * r + 1);
  EXPECT_LE(std::abs(area.centreY - truth.centreY), 0.01 * r + 1);
  EXPECT_LE(std::abs(area.outerRadius - r), 0.02 * r + 1);

  // A camcorder's MPEG-TS with one key frame: every seek lands where nothing decodes
  // yet, so the frames come from the start, and the same ring is found.
  const auto ts = dir / "camcorder take.ts";
  ASSERT_EQ(RunProcess({"ffmpeg", "-v", "error", "-i", movie.string(), "-c:v", "libx264", "-g",
                        "300", "-y", ts.string()})
                .exitCode,
            0);
  const MovieRing fromTs = FindRingInMovie(ts, 6);
  ASSERT_TRUE(fromTs.ring.found) << fromTs.error << fromTs.ring.reason;
  EXPECT_LE(std::abs(fromTs.ring.outerRadius - found.ring.outerRadius), 0.02 * r);
}

TEST(FrameSampler, MoviesWithoutARingOrWithoutPicturesSaySo) {
  TempDir dir;
  const auto grey = dir / "grey.mp4";
  const ChildExit made =
      RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                  "color=c=gray:s=320x240:d=1", "-pix_fmt", "yuv420p", "file:" + grey.string()});
  ASSERT_TRUE(made.exited && made.exitCode == 0);
  const MovieRing plain = FindRingInMovie(grey);
  EXPECT_TRUE(plain.error.empty()) << plain.error;
  EXPECT_GT(plain.framesSearched, 0);
  EXPECT_FALSE(plain.ring.found);
  EXPECT_FALSE(plain.ring.reason.empty());
  EXPECT_EQ(plain.cutArea, RingGeometry{});

  const MovieRing missing = FindRingInMovie(dir / "no such movie.mp4");
  EXPECT_FALSE(missing.ring.found);
  EXPECT_NE(missing.error.find("cannot open"), std::string::npos) << missing.error;

  const auto text = dir / "not a movie.mp4";
  WriteFileBytes(text, "this is no movie at all\n");
  const MovieRing junk = FindRingInMovie(text);
  EXPECT_FALSE(junk.ring.found);
  EXPECT_FALSE(junk.error.empty());
  EXPECT_FALSE(SampleMovieFrames(grey, 0).ok());
}

}  // namespace
}  // namespace corvinex::test
