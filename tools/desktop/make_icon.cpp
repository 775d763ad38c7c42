// Draws the program's desktop icon: a doughnut ring unrolled into a panorama strip.
//   corvinex_make_icon OUTPUT_FOLDER SIZE...
// Writes OUTPUT_FOLDER/SIZExSIZE/corvinex.png for every size.
#include <QColor>
#include <QConicalGradient>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdlib>

namespace {

// The colours around the ring, repeated along the strip so the two read as one scene.
const QColor kScene[] = {QColor(245, 166, 35), QColor(222, 74, 57), QColor(82, 120, 201),
                         QColor(76, 175, 96), QColor(245, 166, 35)};

QImage DrawIcon(int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  QLinearGradient back(0, 0, 0, 256);
  back.setColorAt(0, QColor(58, 63, 74));
  back.setColorAt(1, QColor(28, 30, 36));
  p.setPen(Qt::NoPen);
  p.setBrush(back);
  p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);

  QConicalGradient around(128, 100, 90);
  const int stops = static_cast<int>(std::size(kScene));
  for (int i = 0; i < stops; ++i) around.setColorAt(i / double(stops - 1), kScene[i]);
  QPainterPath ring;
  ring.addEllipse(QPointF(128, 100), 76, 76);
  ring.addEllipse(QPointF(128, 100), 30, 30);
  p.setBrush(around);
  p.drawPath(ring);

  QLinearGradient along(32, 0, 224, 0);
  for (int i = 0; i < stops; ++i) along.setColorAt(i / double(stops - 1), kScene[i]);
  p.setBrush(along);
  p.drawRoundedRect(QRectF(32, 192, 192, 36), 6, 6);
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: corvinex_make_icon OUTPUT_FOLDER SIZE...\n");
    return 2;
  }
  const QDir output(QString::fromLocal8Bit(argv[1]));
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 16 || size > 1024) {
      std::fprintf(stderr, "corvinex_make_icon: bad size %s\n", argv[i]);
      return 2;
    }
    const QString folder = QStringLiteral("%1x%1").arg(size);
    if (!output.mkpath(folder) ||
        !DrawIcon(size).save(output.filePath(folder + "/corvinex.png"), "PNG")) {
      std::fprintf(stderr, "corvinex_make_icon: cannot write the %s icon\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
