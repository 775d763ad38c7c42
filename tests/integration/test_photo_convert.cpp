#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "convert/encoder_command.h"
#include "media/frame_source.h"
#include "media/photo_decode.h"
#include "support/hostile_batch.h"
#include "support/sample_photo.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::HostileBatchTest;
using test::ReadMetadata;
using test::ReadPictureFile;
using test::ToolRun;
using test::WritePictureFile;

using PhotoBatchTest = HostileBatchTest;

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// The one frame that --frames-only wrote into `folder`.
fs::path OnlyFrame(const fs::path& folder) {
  fs::path found;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".bmp") {
      found = entry.path();
      ++count;
    }
  }
  EXPECT_EQ(count, 1) << "frames in " << folder;
  return found;
}

// A photo and a one-frame movie of the very same picture data come out pixel for pixel
// alike: a lossless PNG against a lossless movie, and a JPEG against a movie holding
// that JPEG's own bytes.
TEST_F(PhotoBatchTest, PhotoGivesTheOneFrameMoviesPixels) {
  const FrameImage picture = test::MakeDoughnutPicture(kWidth, kHeight);
  struct Case {
    std::string photo, movie, codec;
  };
  for (const Case& c :
       {Case{"ring.png", "ring.mkv", "ffv1"}, Case{"ring.jpg", "ring.avi", "copy"}}) {
    SCOPED_TRACE(c.photo);
    const fs::path photo = dir / c.photo;
    WritePictureFile(picture, photo, "", c.codec == "copy" ? "yuvj420p" : "");
    const fs::path movie = dir / c.movie;
    test::RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", photo.string(), "-c:v", c.codec,
                   movie.string()},
                  dir / ("make-" + c.movie));

    const fs::path out = dir / (c.photo + "-out.png");
    const ToolRun fromPhoto = Run({photo.string(), "-o", out.string()}, "photo-" + c.photo);
    ASSERT_EQ(fromPhoto.exitCode, 0) << fromPhoto.err;
    EXPECT_NE(fromPhoto.out.find("photo"), std::string::npos) << fromPhoto.out;
    const fs::path frames = dir / (c.movie + "-frames");
    const ToolRun fromMovie =
        Run({movie.string(), "--frames-only", frames.string()}, "movie-" + c.movie);
    ASSERT_EQ(fromMovie.exitCode, 0) << fromMovie.err;

    const FrameImage photoOut = ReadPictureFile(out);
    const FrameImage movieOut = ReadPictureFile(OnlyFrame(frames));
    ASSERT_GT(photoOut.width, 100);
    EXPECT_EQ(test::PixelsApart(photoOut, movieOut), 0u);
  }
}

// A photo decodes to the pixels a one-frame movie holding the same JPEG bytes shows,
// for every plane layout the decoder hands over (halved colour both ways, across only,
// none, grey) and for sizes that are no whole blocks.
TEST_F(PhotoBatchTest, PhotoDecodesAsTheMovieOfItsBytes) {
  for (const auto& [width, height] : {std::pair{640, 480}, std::pair{97, 65}}) {
    const FrameImage picture = test::MakeDoughnutPicture(width, height);
    for (const std::string format : {"yuvj420p", "yuvj422p", "yuvj444p", "gray"}) {
      SCOPED_TRACE(format + " " + std::to_string(width));
      const fs::path photo = dir / (format + ".jpg");
      WritePictureFile(picture, photo, "", format);
      const fs::path movie = dir / (format + ".avi");
      test::RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", photo.string(), "-c:v",
                     "copy", movie.string()},
                    dir / ("make-" + format));
      const DecodedPhoto decoded = DecodePhoto(photo);
      ASSERT_TRUE(decoded.ok()) << decoded.error;
      FrameSource source;
      MovieInfo info;
      ASSERT_TRUE(source.Open(movie, info).ok());
      FrameImage shown;
      ASSERT_TRUE(source.CopyCurrentFrame(shown));
      EXPECT_EQ(test::PixelsApart(shown, decoded.image), 0u);
    }
  }
}

// The camera's EXIF reaches the JPEG and TIFF outputs, the orientation reads normal,
// the sizes are the output's, and the strip is marked as the horizon's band of a 2:1
// panorama as wide as it.
TEST_F(PhotoBatchTest, CameraExifAndPanoramaTagsReadBack) {
  const fs::path photo = dir / "camera shot ü.jpg";
  WritePictureFile(test::MakeDoughnutPicture(kWidth, kHeight), photo, "", "yuvj420p");
  const std::map<std::string, std::string> camera = {
      {"Exif.Image.Make", "Vistrel"},
      {"Exif.Image.Model", "Ring 360"},
      {"Exif.Photo.DateTimeOriginal", "2026:07:14 10:31:05"},
      {"Exif.Photo.ExposureTime", "1/250"},
      {"Exif.Photo.FNumber", "28/10"},
      {"Exif.Photo.LensModel", "Mirror 1"},
      {"Exif.GPSInfo.GPSLatitudeRef", "N"},
      {"Exif.GPSInfo.GPSLatitude", "48/1 51/1 2964/100"},
      {"Exif.GPSInfo.GPSLongitudeRef", "E"},
      {"Exif.GPSInfo.GPSLongitude", "2/1 17/1 4020/100"},
      {"Exif.Image.Orientation", "1"}};
  test::SetExif(photo, camera);

  for (const std::string type : {".jpg", ".tif"}) {
    SCOPED_TRACE(type);
    const fs::path out = dir / ("panorama" + type);
    const ToolRun run = Run({photo.string(), "-o", out.string(), "--jpeg-quality", "80"}, type);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("360-degree panorama"), std::string::npos) << run.out;
    const FrameImage pixels = ReadPictureFile(out);
    const auto tags = ReadMetadata(out);
    for (const auto& [key, value] : camera) {
      if (key == "Exif.Image.Orientation") continue;
      const auto it = tags.find(key);
      ASSERT_NE(it, tags.end()) << key;
      EXPECT_EQ(it->second, value) << key;
    }
    EXPECT_EQ(tags.at("Exif.Image.Orientation"), "1");
    EXPECT_EQ(tags.at("Exif.Photo.PixelXDimension"), std::to_string(pixels.width));
    EXPECT_EQ(tags.at("Exif.Photo.PixelYDimension"), std::to_string(pixels.height));
    ASSERT_LT(pixels.height, pixels.width / 2);
    EXPECT_EQ(tags.at("Xmp.GPano.ProjectionType"), "equirectangular");
    EXPECT_EQ(tags.at("Xmp.GPano.FullPanoWidthPixels"), std::to_string(pixels.width));
    EXPECT_EQ(tags.at("Xmp.GPano.FullPanoHeightPixels"), std::to_string(pixels.width / 2));
    EXPECT_EQ(tags.at("Xmp.GPano.CroppedAreaImageWidthPixels"), std::to_string(pixels.width));
    EXPECT_EQ(tags.at("Xmp.GPano.CroppedAreaImageHeightPixels"), std::to_string(pixels.height));
    EXPECT_EQ(tags.at("Xmp.GPano.CroppedAreaLeftPixels"), "0");
    EXPECT_EQ(tags.at("Xmp.GPano.CroppedAreaTopPixels"),
              std::to_string((pixels.width / 2 - pixels.height) / 2));
  }
}

// A photo stored turned, with the orientation that turns it back, unwraps exactly
// as the upright photo does.
TEST_F(PhotoBatchTest, TurnedPhotosComeOutUpright) {
  const FrameImage picture = test::MakeDoughnutPicture(kWidth, kHeight);
  const fs::path upright = dir / "upright.tif";
  WritePictureFile(picture, upright);
  const fs::path uprightOut = dir / "upright-out.png";
  ASSERT_EQ(Run({upright.string(), "-o", uprightOut.string()}, "upright").exitCode, 0);
  const FrameImage expected = ReadPictureFile(uprightOut);

  // Orientation 6: the camera's top is on the right, so the stored picture is the
  // upright one turned a quarter anticlockwise (transpose=2); 8 the other way.
  for (const auto& [orientation, filter] :
       std::map<std::string, std::string>{{"6", "transpose=2"}, {"8", "transpose=1"}}) {
    SCOPED_TRACE(orientation);
    const fs::path turned = dir / ("turned" + orientation + ".tif");
    WritePictureFile(picture, turned, filter);
    ASSERT_EQ(ReadPictureFile(turned).width, kHeight);  // stored on its side
    test::SetExif(turned, {{"Exif.Image.Orientation", orientation}});
    const fs::path out = dir / ("turned" + orientation + "-out.png");
    const ToolRun run = Run({turned.string(), "-o", out.string()}, "turned" + orientation);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(test::PixelsApart(ReadPictureFile(out), expected), 0u);
  }
}

// The frame source the window's previews read shows every orientation as the photo
// is converted, so the Cut Area placed on them is the one the conversion uses.
TEST_F(PhotoBatchTest, FrameSourceShowsEveryOrientationAsConverted) {
  const FrameImage picture = test::MakeDoughnutPicture(64, 48);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const fs::path photo = dir / ("turned " + std::to_string(orientation) + ".png");
    WritePictureFile(picture, photo);
    test::SetExif(photo, {{"Exif.Image.Orientation", std::to_string(orientation)}});
    const DecodedPhoto decoded = DecodePhoto(photo);
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    ASSERT_EQ(decoded.orientation, orientation);
    FrameSource source;
    MovieInfo info;
    ASSERT_TRUE(source.Open(photo, info).ok());
    FrameImage shown;
    ASSERT_TRUE(source.CopyCurrentFrame(shown));
    EXPECT_EQ(test::PixelsApart(shown, decoded.image), 0u);
  }
}

// --resize scales a photo as it scales a movie: to the export's size for the step with
// the bicubic filter the encoder uses, and the smaller picture is still marked as the
// panorama it is.
TEST_F(PhotoBatchTest, ResizeScalesAPhotoAsTheEncoderScalesAMovie) {
  const fs::path photo = dir / "resized shot.jpg";
  WritePictureFile(test::MakeDoughnutPicture(kWidth, kHeight), photo, "", "yuvj420p");
  const fs::path natural = dir / "natural.png";
  ASSERT_EQ(Run({photo.string(), "-o", natural.string()}, "natural").exitCode, 0);
  const FrameImage full = ReadPictureFile(natural);
  for (const int32_t step : {1, 5}) {
    SCOPED_TRACE(step);
    const fs::path out = dir / ("step" + std::to_string(step) + ".tif");
    const ToolRun run = Run({photo.string(), "--resize", std::to_string(step), "-o", out.string()},
                            "step" + std::to_string(step));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const FrameImage small = ReadPictureFile(out);
    const PictureSize size = ExportPictureSize(step, full.width, full.height);
    ASSERT_EQ(small.width, size.width);
    ASSERT_EQ(small.height, size.height);
    EXPECT_NE(run.out.find(std::to_string(size.width) + "x" + std::to_string(size.height)),
              std::string::npos)
        << run.out;
    // The full-size output scaled by ffmpeg itself, as a movie's export is.
    const fs::path scaled = dir / ("ffmpeg" + std::to_string(step) + ".png");
    test::RunTool({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", natural.string(), "-vf",
                   "scale=" + std::to_string(size.width) + ":" + std::to_string(size.height) +
                       ":flags=bicubic+full_chroma_int+full_chroma_inp+accurate_rnd",
                   scaled.string()},
                  dir / ("scale" + std::to_string(step)));
    const size_t apart = test::PixelsApart(small, ReadPictureFile(scaled), 12);
    EXPECT_LT(apart, small.PixelCount() / 100) << apart << " pixels differ";
    const auto tags = ReadMetadata(out);
    EXPECT_EQ(tags.at("Exif.Photo.PixelXDimension"), std::to_string(size.width));
    EXPECT_EQ(tags.at("Xmp.GPano.FullPanoWidthPixels"), std::to_string(size.width));
    EXPECT_EQ(tags.at("Xmp.GPano.CroppedAreaImageHeightPixels"), std::to_string(size.height));
  }
}

// Photos and movies in one run, each with its own default name: a photo's is a JPEG.
TEST_F(PhotoBatchTest, PhotosAndMoviesMixInOneRun) {
  const fs::path photo = dir / "clip.png";
  // The movie's size, so both outputs come out alike.
  WritePictureFile(test::MakeDoughnutPicture(Small().width, Small().height), photo);
  const fs::path movie = Movie("clip.mp4");
  const ToolRun run = Run({photo.string(), movie.string(), "--progress", "none"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadPictureFile(dir / "clip_Unwrapped.jpg").width,
            ReadPictureFile(dir / "clip_Unwrapped.mp4").width);
}

}  // namespace
}  // namespace corvinex
