#include "extras/logo_ui.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <cstring>

#include "extras/logo_decode.h"

namespace corvinex {

bool LoadLogoWithMessage(QWidget* parent, const std::filesystem::path& file, LogoState& logo) {
  if (LoadLogo(file, logo)) return true;
  QMessageBox::critical(parent, QString::fromUtf8(kBadLogoCaption.data(), kBadLogoCaption.size()),
                        QString::fromUtf8(kBadLogoText.data(), kBadLogoText.size()));
  return false;
}

bool ChooseLogo(QWidget* parent, LogoState& logo, const QString& folder,
                const std::function<void()>& afterDialog, std::string* chosenFile) {
  ClearLogo(logo);
  if (chosenFile) chosenFile->clear();
  const QString file = QFileDialog::getOpenFileName(parent, QStringLiteral("Load Video"), folder,
                                                    QStringLiteral("Logo Images (*.jpg)"));
  if (afterDialog) afterDialog();
  if (file.isEmpty()) return false;
  const bool present = LoadLogoWithMessage(parent, std::filesystem::path(file.toStdString()), logo);
  if (present && chosenFile) *chosenFile = file.toStdString();
  return present;
}

void ShowLogoState(QLabel& label, const LogoState& logo) {
  const std::string_view text = logo.present ? kLogoPresentText : kLogoAbsentText;
  const uint32_t colour = logo.present ? kLogoPresentColour : kLogoAbsentColour;
  label.setText(QString::fromUtf8(text.data(), text.size()));
  label.setAutoFillBackground(true);
  // A new style sheet re-polishes the label with the default font: keep its own.
  const QFont font = label.font();
  label.setStyleSheet(QStringLiteral("color: #%1; background-color: #%2;")
                          .arg(colour, 6, 16, QLatin1Char('0'))
                          .arg(kLogoLabelBackground, 6, 16, QLatin1Char('0')));
  label.setFont(font);
}

QImage LogoPreviewImage(const LogoState& logo) {
  FrameImage preview;
  LogoPreview(logo, preview);
  QImage image(preview.width, preview.height, QImage::Format_RGB32);
  for (int32_t y = 0; y < preview.height; ++y) {
    const uint32_t* row = preview.Row(preview.height - 1 - y);
    auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int32_t x = 0; x < preview.width; ++x) line[x] = row[x] | 0xFF000000u;
  }
  return image;
}

}  // namespace corvinex
