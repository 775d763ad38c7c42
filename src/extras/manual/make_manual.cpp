// Builds the user manual (TLVPUB.pdf) from its Markdown source:
//   corvinex_make_manual SOURCE.md OUTPUT.pdf
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: corvinex_make_manual SOURCE.md OUTPUT.pdf\n");
    return 2;
  }
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "corvinex_make_manual: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument document;
  document.setMarkdown(QString::fromUtf8(source.readAll()));
  const QString output = QString::fromLocal8Bit(argv[2]);
  QPdfWriter writer(output);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setTitle(QStringLiteral("Corvinex user manual"));
  writer.setCreator(QStringLiteral("Corvinex"));
  document.print(&writer);
  if (!QFile::exists(output) || QFile(output).size() == 0) {
    std::fprintf(stderr, "corvinex_make_manual: %s was not written\n", argv[2]);
    return 1;
  }
  return 0;
}
