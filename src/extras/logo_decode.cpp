#include "extras/logo_decode.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <optional>
#include <string>

#include "extras/jpeg_whole.h"
#include "settings/whole_file.h"

namespace corvinex {

bool DecodeLogoFile(const std::filesystem::path& file, FrameImage& out) {
  out.Reset(0, 0);
  const std::optional<std::string> bytes = ReadWholeFile(file);
  if (!bytes || bytes->empty()) return false;
  QByteArray data(bytes->data(), static_cast<qsizetype>(bytes->size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return false;
  QImageReader reader(&buffer);
  QImage image = reader.read();
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return false;
  // A JPEG cut short still decodes, its missing rows grey: refused as a bad logo.
  if (bytes->starts_with("\xFF\xD8\xFF") && !JpegIsWhole(*bytes)) return false;
  image.convertTo(QImage::Format_RGB32);
  out.Reset(image.width(), image.height());
  for (int32_t y = 0; y < out.height; ++y) {
    // Picture row y is buffer row height - 1 - y; the spare byte stays zero.
    const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    uint32_t* row = out.Row(out.height - 1 - y);
    for (int32_t x = 0; x < out.width; ++x) row[x] = line[x] & 0x00FFFFFFu;
  }
  return true;
}

bool LoadLogo(const std::filesystem::path& file, LogoState& logo) {
  ClearLogo(logo);
  FrameImage decoded;
  if (!DecodeLogoFile(file, decoded)) return false;
  return AcceptLogo(logo, std::move(decoded));
}

}  // namespace corvinex
