#include "view/preview_draw.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace corvinex {
namespace {

const QColor kCaptionGrey(0x33, 0x33, 0x33);
const QColor kLabelGrey(0x80, 0x80, 0x80);

QFont PreviewFont() {
  QFont font("DejaVu Sans");
  font.setPixelSize(12);
  // Plain pixels, as the colours are given: no blending with what lies beneath.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// Draws a frame held bottom-up straight from its buffer: the flip is a painter
// transform, so no copy or conversion is made per frame.
void DrawBottomUp(QPainter& painter, const FrameImage& image, int32_t firstRow, int32_t rows,
                  const QRectF& target) {
  if (image.width <= 0 || rows <= 0) return;
  const QImage view(reinterpret_cast<const uchar*>(image.Row(firstRow)), image.width, rows,
                    static_cast<qsizetype>(image.width) * 4, QImage::Format_RGB32);
  painter.save();
  painter.translate(target.left(), target.top() + target.height());
  painter.scale(1.0, -1.0);
  painter.drawImage(QRectF(0, 0, target.width(), target.height()), view);
  painter.restore();
}

// Text at a top-left position, as a text-out call places it.
void TextAt(QPainter& painter, int32_t x, int32_t y, const QString& text, const QColor& ink,
            const QColor* background) {
  const QFontMetrics metrics(painter.font());
  const QRect box(x, y, metrics.horizontalAdvance(text), metrics.height());
  if (background) painter.fillRect(box, *background);
  painter.setPen(ink);
  painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
}

// An ellipse in the bounding box (left, top)-(right, bottom), right and bottom
// excluded, as a GDI ellipse.
QRect EllipseBox(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return QRect(left, top, right - left - 1, bottom - top - 1);
}

void DrawPanorama(const PreviewScene& scene, QImage& area) {
  QPainter painter(&area);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setFont(PreviewFont());
  // The scale spans the panorama's columns: the whole area for the plain strip, the
  // fitted picture's width for the output layout.
  int32_t scaleLeft = 0;
  int32_t scaleWidth = kPanoramaAreaWidth;
  if (scene.output != nullptr && scene.output->width > 0 && scene.output->height > 0) {
    const FrameImage& output = *scene.output;
    const QRect place = FitInPanoramaArea(output.width, output.height);
    // The area around the picture keeps the caption grey, so the output's own black
    // edges (lens rows, the frame) stay visible as part of it.
    painter.fillRect(QRect(0, 0, kPanoramaAreaWidth, kPanoramaAreaHeight), kCaptionGrey);
    DrawBottomUp(painter, output, 0, output.height, QRectF(place));
    scaleLeft = place.left();
    scaleWidth = place.width();
  } else {
    const FrameImage& panorama = *scene.panorama;
    const int32_t rows = std::min(scene.panoramaRows, panorama.height);
    // Unflipped, the picture starts above the rows cut for the internal circle.
    const int32_t firstRow =
        scene.flipVertical ? 0 : std::min(scene.cutRows, panorama.height - rows);
    DrawBottomUp(painter, panorama, firstRow, rows,
                 QRectF(0, 0, kPanoramaAreaWidth, kPanoramaAreaHeight));
  }
  const auto along = [&](double x) {
    return scaleLeft + static_cast<int32_t>(std::lround(x * scaleWidth / kPanoramaAreaWidth));
  };

  const QColor blue(0, 0, 0xFF);
  // The numbers name the directions their columns show, so they move with the heading.
  const DegreeScale scale = DegreeScaleMarks(scene.turn, scene.panoramaWidth);
  const QFontMetrics metrics(painter.font());
  for (int32_t i = 0; i < scale.count; ++i) {
    const DegreeMark& mark = scale.marks[static_cast<size_t>(i)];
    const QString label = QString::fromLatin1(mark.label);
    // A number moved to an edge stays whole beside its tick.
    const int32_t last = scaleLeft + scaleWidth - metrics.horizontalAdvance(label);
    TextAt(painter, std::clamp(along(mark.textX), scaleLeft, std::max(scaleLeft, last)), 167, label,
           blue, nullptr);
  }
  painter.setPen(QPen(blue, 2));
  painter.drawLine(along(1), 182, along(1000), 182);
  for (int32_t i = 0; i < scale.count; ++i) {
    const int32_t x = along(scale.marks[static_cast<size_t>(i)].tickX);
    painter.drawLine(x, 182, x, 170);
  }

  if (scene.conversionRunning) {
    for (const OverlayLine& line : scene.progressLines) {
      TextAt(painter, line.x, line.y, QString::fromStdString(line.text), Qt::white, &kLabelGrey);
    }
  }
}

void DrawDoughnut(const PreviewScene& scene, QImage& area) {
  const FrameImage& frame = *scene.frame;
  const PreviewPlacement place = PlacePreview(frame.width, frame.height);
  const int32_t oy = place.oy;
  QPainter painter(&area);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setFont(PreviewFont());
  DrawBottomUp(painter, frame, 0, frame.height, QRectF(0, oy, kDoughnutAreaSize, place.PH));
  // The bars reach the area's edges so that no caption or older frame shows there.
  painter.fillRect(QRect(0, 0, kDoughnutAreaSize, oy + 1), Qt::black);
  painter.fillRect(QRect(0, kDoughnutAreaSize - oy, kDoughnutAreaSize, oy), Qt::black);

  const std::string first = scene.probeLines[0];
  if (first.find_first_not_of(' ') != std::string::npos) {
    // Long stream descriptions end in an ellipsis rather than at the area's edge.
    const QFontMetrics metrics(painter.font());
    const auto line = [&](const std::string& text) {
      return metrics.elidedText(QString::fromStdString(text), Qt::ElideRight,
                                kDoughnutAreaSize - 2 * 10);
    };
    TextAt(painter, 10, 10, line(scene.probeLines[1]), Qt::white, &kLabelGrey);
    TextAt(painter, 10, 30, line(scene.probeLines[2]), Qt::white, &kLabelGrey);
    if (!scene.probeLines[3].empty()) {
      TextAt(painter, 10, 50, line(scene.probeLines[3]), Qt::white, &kLabelGrey);
    }
  }

  const RingGeometry& r = scene.ring;
  const int32_t cx = (2 * r.X1 + r.X2) / 2;
  const int32_t cy = (2 * r.Y1 + r.Y2) / 2;
  const QColor red(0xFF, 0, 0), blue(0, 0, 0xFF), green(0, 0xFF, 0);

  painter.setPen(QPen(blue, 2));
  painter.setBrush(QColor(0x22, 0x22, 0x77));
  painter.drawEllipse(EllipseBox(cx - r.RSIZE, cy - r.RSIZE + oy, cx + r.RSIZE, cy + r.RSIZE + oy));
  painter.setBrush(Qt::NoBrush);

  // Dotted pens fill their gaps with the opaque background, white for the circles.
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(Qt::white);
  painter.setPen(QPen(red, 1, Qt::DotLine));
  painter.drawEllipse(EllipseBox(r.X1 + 5, r.Y1 + oy, r.X1 + r.X2 - 1, r.Y1 + r.Y2 + oy));
  painter.setPen(QPen(blue, 1, Qt::DotLine));
  painter.drawEllipse(EllipseBox(r.X1 + 11, r.Y1 + oy + 6, r.X1 + r.X2 - 7, r.Y1 + r.Y2 + oy - 6));

  const int32_t px = static_cast<int32_t>(std::nearbyint(0.5 * (1 + r.X2) + r.X1 + 1));
  const int32_t py = static_cast<int32_t>(std::nearbyint(0.5 * (1 + r.Y2) + r.Y1 + 1));
  painter.setBackground(Qt::black);
  painter.setPen(QPen(green, 1, Qt::DotLine));
  painter.drawLine(px, r.Y1 - 20 + oy, px, r.Y1 + r.Y2 + 20 + oy);
  painter.drawLine(r.X1 - 20, oy + py, r.X1 + r.X2 + 20, oy + py);
  painter.setPen(QPen(red, 2));
  painter.drawLine(px, oy + py, r.X1 + r.X2 + 20, oy + py);

  painter.setBackgroundMode(Qt::TransparentMode);
  const QColor labelGrey(0x55, 0x55, 0x55);
  TextAt(painter, r.X1 + r.X2 + 9, oy + py - 18, "360", labelGrey, nullptr);
  TextAt(painter, r.X1 - 27, oy + py - 18, "180", labelGrey, nullptr);
  TextAt(painter, px + 5, r.Y1 - 24 + oy, "270", labelGrey, nullptr);
  TextAt(painter, px - 16, r.Y1 + r.Y2 + 4 + oy, "90", labelGrey, nullptr);
  TextAt(painter, r.X1 + r.X2 + 15, oy + py + 5, "0", labelGrey, nullptr);
}

}  // namespace

PreviewPlacement PlacePreview(int32_t frameWidth, int32_t frameHeight) {
  PreviewPlacement place;
  if (frameWidth <= 0 || frameHeight <= 0) return place;
  place.PH = static_cast<int32_t>(std::nearbyint(600.0 * frameHeight / frameWidth));
  place.oy = static_cast<int32_t>(std::nearbyint(0.5 * (600 - place.PH)));
  return place;
}

QRect FitInPanoramaArea(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return QRect(0, 0, kPanoramaAreaWidth, kPanoramaAreaHeight);
  const double scale = std::min(static_cast<double>(kPanoramaAreaWidth) / width,
                                static_cast<double>(kPanoramaAreaHeight) / height);
  const int32_t w =
      std::clamp<int32_t>(static_cast<int32_t>(std::lround(width * scale)), 1, kPanoramaAreaWidth);
  const int32_t h = std::clamp<int32_t>(static_cast<int32_t>(std::lround(height * scale)), 1,
                                        kPanoramaAreaHeight);
  return QRect((kPanoramaAreaWidth - w) / 2, (kPanoramaAreaHeight - h) / 2, w, h);
}

int32_t PreviewDraw(const PreviewScene& scene, QImage* panoramaArea, QImage* doughnutArea) {
  int32_t changed = 0;
  if (scene.panoramaEnabled && panoramaArea && scene.panorama && scene.panorama->width > 0) {
    DrawPanorama(scene, *panoramaArea);
    changed |= 1;
  }
  if (scene.cutAreaEnabled && doughnutArea && scene.frame && scene.frame->width > 0) {
    DrawDoughnut(scene, *doughnutArea);
    changed |= 2;
  }
  return changed;
}

void DrawCaption(QImage& area, const QString& caption) {
  area.fill(kCaptionGrey);
  QPainter painter(&area);
  painter.setFont(PreviewFont());
  TextAt(painter, 10, 10, caption, Qt::white, &kCaptionGrey);
}

}  // namespace corvinex
