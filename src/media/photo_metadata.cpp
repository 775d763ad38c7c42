#include "media/photo_metadata.h"

#include <array>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <string_view>

namespace corvinex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGPanoNamespace = "http://ns.google.com/photos/1.0/panorama/";

// Exiv2 tells damage it reads past through its log: collected per thread for the
// call that is reading.
thread_local std::string* tCollected = nullptr;

void CollectExivMessage(int level, const char* text) {
  if (tCollected == nullptr || level < Exiv2::LogMsg::warn || text == nullptr) return;
  if (tCollected->empty()) *tCollected = text;
  while (!tCollected->empty() && (tCollected->back() == '\n' || tCollected->back() == ' ')) {
    tCollected->pop_back();
  }
}

void PrepareExiv() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::XmpParser::initialize();
    Exiv2::LogMsg::setHandler(CollectExivMessage);
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
    try {
      Exiv2::XmpProperties::registerNs(kGPanoNamespace, "GPano");
    } catch (const Exiv2::AnyError&) {
      // Known already under that prefix.
    }
  });
}

struct CollectMessages {
  std::string text;
  CollectMessages() { tCollected = &text; }
  ~CollectMessages() { tCollected = nullptr; }
  CollectMessages(const CollectMessages&) = delete;
  CollectMessages& operator=(const CollectMessages&) = delete;
};

// Tags that describe how the input stored its picture, or that no longer hold for
// the output: never carried over.
constexpr std::array<std::string_view, 29> kNotCarried = {"Exif.Image.ImageWidth",
                                                          "Exif.Image.ImageLength",
                                                          "Exif.Image.BitsPerSample",
                                                          "Exif.Image.Compression",
                                                          "Exif.Image.PhotometricInterpretation",
                                                          "Exif.Image.StripOffsets",
                                                          "Exif.Image.SamplesPerPixel",
                                                          "Exif.Image.RowsPerStrip",
                                                          "Exif.Image.StripByteCounts",
                                                          "Exif.Image.PlanarConfiguration",
                                                          "Exif.Image.TileWidth",
                                                          "Exif.Image.TileLength",
                                                          "Exif.Image.TileOffsets",
                                                          "Exif.Image.TileByteCounts",
                                                          "Exif.Image.JPEGInterchangeFormat",
                                                          "Exif.Image.JPEGInterchangeFormatLength",
                                                          "Exif.Image.YCbCrSubSampling",
                                                          "Exif.Image.NewSubfileType",
                                                          "Exif.Image.SubIFDs",
                                                          "Exif.Image.ExifTag",
                                                          "Exif.Image.GPSTag",
                                                          "Exif.Image.Orientation",
                                                          "Exif.Image.PrintImageMatching",
                                                          "Exif.Image.ExtraSamples",
                                                          "Exif.Image.SampleFormat",
                                                          "Exif.Photo.MakerNote",
                                                          "Exif.Photo.PixelXDimension",
                                                          "Exif.Photo.PixelYDimension",
                                                          "Exif.Photo.InteroperabilityTag"};

bool Carried(const Exiv2::Exifdatum& datum) {
  const std::string group = datum.groupName();
  if (group != "Image" && group != "Photo" && group != "GPSInfo") return false;
  const std::string key = datum.key();
  for (std::string_view no : kNotCarried) {
    if (key == no) return false;
  }
  return true;
}

}  // namespace

int32_t ReadPhotoOrientation(const fs::path& path, std::string& warning) {
  PrepareExiv();
  CollectMessages messages;
  try {
    auto image = Exiv2::ImageFactory::open(path.string());
    image->readMetadata();
    warning = messages.text;
    const Exiv2::ExifData& exif = image->exifData();
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == exif.end() || it->count() == 0) return 1;
    const long value = it->toLong();
    return value >= 1 && value <= 8 ? static_cast<int32_t>(value) : 1;
  } catch (const Exiv2::AnyError& error) {
    warning = error.what();
    return 1;
  }
}

PanoramaMarks PanoramaMarksFor(int32_t width, int32_t height) {
  PanoramaMarks marks;
  if (width <= 0 || height <= 0 || height > width / 2) return marks;
  marks.mark = true;
  marks.fullWidth = width;
  marks.fullHeight = width / 2;
  marks.croppedWidth = width;
  marks.croppedHeight = height;
  marks.croppedLeft = 0;
  marks.croppedTop = (marks.fullHeight - height) / 2;
  return marks;
}

MetadataWrite WritePhotoMetadata(const fs::path& source, const fs::path& target, int32_t width,
                                 int32_t height, const PanoramaMarks& marks) {
  PrepareExiv();
  MetadataWrite result;
  Exiv2::ExifData carried;
  {
    CollectMessages messages;
    try {
      auto input = Exiv2::ImageFactory::open(source.string());
      input->readMetadata();
      for (const Exiv2::Exifdatum& datum : input->exifData()) {
        if (Carried(datum)) carried.add(datum);
      }
      if (!messages.text.empty()) {
        result.warning = "the photo's metadata is partly damaged (" + messages.text +
                         "); what could be read is kept";
      }
    } catch (const Exiv2::AnyError& error) {
      result.warning = "the photo's metadata cannot be read (" + std::string(error.what()) +
                       "); the output is written without the camera's data";
      carried.clear();
    }
  }
  carried["Exif.Image.Orientation"] = uint16_t{1};
  carried["Exif.Photo.PixelXDimension"] = static_cast<uint32_t>(width);
  carried["Exif.Photo.PixelYDimension"] = static_cast<uint32_t>(height);
  CollectMessages messages;
  try {
    auto output = Exiv2::ImageFactory::open(target.string());
    output->readMetadata();  // a TIFF keeps its own picture tags
    Exiv2::ExifData exif = output->exifData();
    for (const Exiv2::Exifdatum& datum : carried) {
      exif[datum.key()].setValue(&datum.value());
    }
    output->setExifData(exif);
    Exiv2::XmpData xmp;
    if (marks.mark) {
      xmp["Xmp.GPano.UsePanoramaViewer"] = "True";
      xmp["Xmp.GPano.ProjectionType"] = "equirectangular";
      xmp["Xmp.GPano.FullPanoWidthPixels"] = std::to_string(marks.fullWidth);
      xmp["Xmp.GPano.FullPanoHeightPixels"] = std::to_string(marks.fullHeight);
      xmp["Xmp.GPano.CroppedAreaImageWidthPixels"] = std::to_string(marks.croppedWidth);
      xmp["Xmp.GPano.CroppedAreaImageHeightPixels"] = std::to_string(marks.croppedHeight);
      xmp["Xmp.GPano.CroppedAreaLeftPixels"] = std::to_string(marks.croppedLeft);
      xmp["Xmp.GPano.CroppedAreaTopPixels"] = std::to_string(marks.croppedTop);
    }
    output->setXmpData(xmp);
    output->writeMetadata();
  } catch (const Exiv2::AnyError& error) {
    result.error = "the metadata could not be written: " + std::string(error.what());
  }
  return result;
}

std::string CheckPhotoMetadata(const fs::path& target, int32_t width, int32_t height,
                               const PanoramaMarks& marks) {
  PrepareExiv();
  CollectMessages messages;
  try {
    auto image = Exiv2::ImageFactory::open(target.string());
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    auto number = [&exif](const char* key) -> long {
      const auto it = exif.findKey(Exiv2::ExifKey(key));
      return it == exif.end() || it->count() == 0 ? -1 : it->toLong();
    };
    if (number("Exif.Image.Orientation") != 1) return "the orientation did not read back";
    if (number("Exif.Photo.PixelXDimension") != width ||
        number("Exif.Photo.PixelYDimension") != height) {
      return "the picture's size did not read back from its EXIF";
    }
    if (!marks.mark) return {};
    const Exiv2::XmpData& xmp = image->xmpData();
    auto text = [&xmp](const char* key) -> std::string {
      const auto it = xmp.findKey(Exiv2::XmpKey(key));
      return it == xmp.end() ? std::string() : it->toString();
    };
    if (text("Xmp.GPano.ProjectionType") != "equirectangular" ||
        text("Xmp.GPano.FullPanoWidthPixels") != std::to_string(marks.fullWidth) ||
        text("Xmp.GPano.FullPanoHeightPixels") != std::to_string(marks.fullHeight) ||
        text("Xmp.GPano.CroppedAreaImageHeightPixels") != std::to_string(marks.croppedHeight) ||
        text("Xmp.GPano.CroppedAreaTopPixels") != std::to_string(marks.croppedTop)) {
      return "the panorama tags did not read back";
    }
    return {};
  } catch (const Exiv2::AnyError& error) {
    return "the metadata cannot be read back: " + std::string(error.what());
  }
}

}  // namespace corvinex
