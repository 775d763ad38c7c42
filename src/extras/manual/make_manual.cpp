// Builds the user manual (TLVPUB.pdf) from its Markdown source:
//   corvinex_make_manual SOURCE.md OUTPUT.pdf [IMAGE_FOLDER]
// Pictures referenced as ![caption](name.png) are read from IMAGE_FOLDER (the
// source's folder when not given) and scaled down to the width of the text.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>
#include <vector>

namespace {

// Text width of an A4 page, in the 96-dpi units of image formats: 210 mm less
// the writer's 10 mm margins and the 20 mm frame margins the printing adds.
constexpr double kTextWidth = (210.0 - 2 * 10.0 - 2 * 20.0) / 25.4 * 96.0;

// Loads every picture the document refers to and fits it to the text width.
// Returns the number of pictures that could not be read.
int PlacePictures(QTextDocument& document, const QDir& images) {
  struct Placement {
    int position;
    int length;
    QTextImageFormat format;
  };
  std::vector<Placement> placements;
  int missing = 0;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid() || !fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat format = fragment.charFormat().toImageFormat();
      const QString name = format.name();
      const QImage image(images.filePath(name));
      if (image.isNull()) {
        std::fprintf(stderr, "corvinex_make_manual: cannot read the picture %s\n",
                     qPrintable(images.filePath(name)));
        ++missing;
        continue;
      }
      document.addResource(QTextDocument::ImageResource, QUrl(name), image);
      const double scale = image.width() > kTextWidth ? kTextWidth / image.width() : 1.0;
      format.setWidth(image.width() * scale);
      format.setHeight(image.height() * scale);
      placements.push_back({fragment.position(), fragment.length(), format});
    }
  }
  for (const Placement& p : placements) {
    QTextCursor cursor(&document);
    cursor.setPosition(p.position);
    cursor.setPosition(p.position + p.length, QTextCursor::KeepAnchor);
    cursor.setCharFormat(p.format);
  }
  return missing;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: corvinex_make_manual SOURCE.md OUTPUT.pdf [IMAGE_FOLDER]\n");
    return 2;
  }
  const QString sourcePath = QString::fromLocal8Bit(argv[1]);
  QFile source(sourcePath);
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "corvinex_make_manual: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument document;
  document.setMarkdown(QString::fromUtf8(source.readAll()));
  const QDir images(argc == 4 ? QString::fromLocal8Bit(argv[3])
                              : QFileInfo(sourcePath).absolutePath());
  // A manual with a missing picture is a broken build, not a smaller manual.
  if (PlacePictures(document, images) != 0) return 1;

  const QString output = QString::fromLocal8Bit(argv[2]);
  QPdfWriter writer(output);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
  writer.setTitle(QStringLiteral("Corvinex user manual"));
  writer.setCreator(QStringLiteral("Corvinex"));
  document.print(&writer);
  if (!QFile::exists(output) || QFile(output).size() == 0) {
    std::fprintf(stderr, "corvinex_make_manual: %s was not written\n", argv[2]);
    return 1;
  }
  return 0;
}
