#include "extras/logo_maker.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <atomic>

namespace corvinex {

namespace {

std::atomic<int32_t> gLogoMakerBusy{0};

void ShowColour(QPushButton& button, const QColor& colour) {
  button.setText(colour.name());
  button.setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
}

}  // namespace

QImage RenderLogoImage(const LogoMakerOptions& o) {
  const int height = std::max(o.height, 8);
  QImage image(8 * height, height, QImage::Format_RGB32);
  image.fill(o.backgroundColour);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QFont font = o.font;
  font.setPixelSize(std::max(1, height * 7 / 10));
  // Narrow the font until the text fits the strip with a margin.
  const int room = image.width() - height / 2;
  while (font.pixelSize() > 4 && QFontMetrics(font).horizontalAdvance(o.text) > room) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  painter.setFont(font);
  painter.setPen(o.textColour);
  painter.drawText(image.rect(), Qt::AlignCenter, o.text);
  return image;
}

bool SaveLogoImage(const LogoMakerOptions& options, const QString& file) {
  return RenderLogoImage(options).save(file, "JPG", 92);
}

bool LogoMakerBusy() {
  return gLogoMakerBusy.load() != 0;
}

bool RunLogoMaker(QWidget* parent) {
  int32_t idle = 0;
  if (!gLogoMakerBusy.compare_exchange_strong(idle, 1)) return false;
  LogoMakerOptions options;
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("logoMaker"));
  dialog.setWindowTitle(QStringLiteral("Logo Maker"));
  auto* form = new QFormLayout(&dialog);
  auto* text = new QLineEdit(options.text, &dialog);
  text->setObjectName(QStringLiteral("logoText"));
  auto* font = new QFontComboBox(&dialog);
  auto* size = new QSpinBox(&dialog);
  size->setRange(16, 512);
  size->setValue(options.height);
  size->setSuffix(QStringLiteral(" px high"));
  auto* textColour = new QPushButton(&dialog);
  auto* backColour = new QPushButton(&dialog);
  ShowColour(*textColour, options.textColour);
  ShowColour(*backColour, options.backgroundColour);
  QObject::connect(textColour, &QPushButton::clicked, &dialog, [&] {
    const QColor c = QColorDialog::getColor(options.textColour, &dialog);
    if (c.isValid()) ShowColour(*textColour, options.textColour = c);
  });
  QObject::connect(backColour, &QPushButton::clicked, &dialog, [&] {
    const QColor c = QColorDialog::getColor(options.backgroundColour, &dialog);
    if (c.isValid()) ShowColour(*backColour, options.backgroundColour = c);
  });
  form->addRow(QStringLiteral("Text"), text);
  form->addRow(QStringLiteral("Font"), font);
  form->addRow(QStringLiteral("Size"), size);
  form->addRow(QStringLiteral("Text colour"), textColour);
  form->addRow(QStringLiteral("Background"), backColour);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Close, &dialog);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    options.text = text->text();
    options.font = font->currentFont();
    options.height = size->value();
    const QString file = QFileDialog::getSaveFileName(&dialog, QStringLiteral("Save Logo"), {},
                                                      QStringLiteral("Logo Images (*.jpg)"));
    if (file.isEmpty()) return;
    if (!SaveLogoImage(options, file)) {
      QMessageBox::critical(&dialog, QStringLiteral("Error"),
                            QStringLiteral("The logo could not be saved."));
      return;
    }
    dialog.accept();
  });
  dialog.exec();
  gLogoMakerBusy = 0;
  return true;
}

}  // namespace corvinex
