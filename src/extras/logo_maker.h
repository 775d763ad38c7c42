#pragma once
// The built-in logo maker: a line of text in a chosen font and colours, drawn into a
// wide strip and saved as a JPEG that the logo chooser loads like any other logo.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

class QWidget;

namespace corvinex {

struct LogoMakerOptions {
  QString text = QStringLiteral("Corvinex");
  QFont font;
  QColor textColour = Qt::white;
  QColor backgroundColour = Qt::black;
  int height = 128;  // pixels; the strip is eight times as wide
};

// The strip: 8 x height wide, the text centred and scaled to fit.
QImage RenderLogoImage(const LogoMakerOptions& options);

// Saves the strip as a JPEG; false when it cannot be written.
bool SaveLogoImage(const LogoMakerOptions& options, const QString& file);

// Runs the logo maker dialog modally. A second call while one runs does nothing and
// returns false.
bool RunLogoMaker(QWidget* parent);
bool LogoMakerBusy();

}  // namespace corvinex
