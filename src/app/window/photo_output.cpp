#include "app/window/photo_output.h"

#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <filesystem>

#include "app/program_state.h"
#include "app/window/file_choosers.h"
#include "app/window/main_window.h"
#include "convert/logo_canvas.h"
#include "media/photo_decode.h"
#include "media/photo_write.h"
#include "transform/logo_frame.h"

namespace corvinex {

QStringList PhotoOutputFilters() {
  return {"JPEG photo (*.jpg *.JPG)", "PNG photo (*.png *.PNG)", "TIFF photo (*.tif *.TIF)"};
}

std::string ChoosePhotoOutput(MainWindow& window, const std::string& photoPath,
                              int32_t& jpegQuality) {
  ProgramState& state = window.State();
  const QString chosen =
      FileDialog(&window, {.title = "Save Unwrapped Photo",
                           .fileName = ProposedOutputName(photoPath) + ".jpg",
                           .initialFolder = QString::fromStdString(state.settings.OPATH),
                           .filters = PhotoOutputFilters(),
                           .save = true,
                           .fileMustExist = false,
                           .filterIndex = 0});
  if (chosen.trimmed().isEmpty()) return {};
  if (PhotoTypeOf(chosen.toStdString()) == PhotoType::Jpeg) {
    bool ok = false;
    const int quality =
        QInputDialog::getInt(&window, "JPEG Quality",
                             "Quality of the JPEG photo (1 .. 100):", jpegQuality, 1, 100, 1, &ok);
    if (!ok) return {};
    jpegQuality = quality;
  }
  state.settings.OPATH = QFileInfo(chosen).absolutePath().toStdString();
  return chosen.toStdString();
}

PhotoOutcome ConvertWindowPhoto(ProgramState& state, const std::string& input,
                                const std::string& output, int32_t jpegQuality,
                                const LogoState* logo) {
  DecodedPhoto photo = DecodePhoto(input);
  if (!photo.ok()) {
    PhotoOutcome failed;
    failed.error = photo.error;
    return failed;
  }
  FrameImage logoCanvas;
  const bool withLogo = logo != nullptr && logo->present;
  if (withLogo) {
    PrepareLogoCanvas(logo->image, photo.image.width, photo.image.height, state.settings,
                      state.options, logoCanvas);
  }
  PhotoOutcome outcome =
      ConvertPhoto({.input = input,
                    .output = output,
                    .jpegQuality = jpegQuality,
                    .overwrite = true,
                    .logoCanvas = withLogo ? &logoCanvas : nullptr},
                   std::move(photo.image), state.settings, state.options, state.log);
  if (!photo.note.empty()) outcome.notes.insert(outcome.notes.begin(), photo.note);
  return outcome;
}

void ConvertPhotoInWindow(MainWindow& window, const std::string& input) {
  // The quality chosen last is proposed again, also after a restart.
  int32_t& jpegQuality = window.State().options.JPEG_QUALITY;
  const std::string output = ChoosePhotoOutput(window, input, jpegQuality);
  if (output.empty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const LogoState* logo =
      window.Services().currentLogo ? window.Services().currentLogo(window) : nullptr;
  const PhotoOutcome outcome = ConvertWindowPhoto(window.State(), input, output, jpegQuality, logo);
  QApplication::restoreOverrideCursor();
  if (!outcome.ok()) {
    QMessageBox::critical(
        &window, "Error Monitoring",
        QString("The photo was not written:\n%1").arg(QString::fromStdString(outcome.error)));
    return;
  }
  QString text = QString("%1\n%2 x %3%4")
                     .arg(QString::fromStdString(outcome.output.string()))
                     .arg(outcome.width)
                     .arg(outcome.height)
                     .arg(outcome.panoramaMarked ? ", marked as a 360-degree panorama" : "");
  for (const std::string& note : outcome.notes) text += "\nNote: " + QString::fromStdString(note);
  QMessageBox::information(&window, "Photo Saved", text);
}

}  // namespace corvinex
