#include "app/window/window_conversion_ui.h"

#include <QLabel>
#include <QMessageBox>
#include <QThread>

#include "app/window/command_ids.h"
#include "app/window/export_progress_dialog.h"
#include "app/window/main_window.h"
#include "app/window/output_window.h"
#include "app/window/qt_shutdown_hooks.h"
#include "app/window/recompress_dialog.h"
#include "view/preview_canvas.h"

namespace corvinex {
namespace {

QString Hex(uint32_t rgb) {
  return QString("#%1").arg(rgb, 6, 16, QChar('0')).toUpper();
}

}  // namespace

bool WindowConversionUi::Message(std::string_view caption, std::string_view text, MessageIcon icon,
                                 bool okCancel) {
  const QMessageBox::Icon shown = icon == MessageIcon::Information ? QMessageBox::Information
                                  : icon == MessageIcon::Stop      ? QMessageBox::Critical
                                                                   : QMessageBox::Warning;
  QMessageBox box(shown, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, &window_);
  return box.exec() == QMessageBox::Ok;
}

void WindowConversionUi::SetLabel(int32_t id, std::string_view text) {
  window_.SetLabelText(id, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void WindowConversionUi::ShowProgress(const ProgressState& progress) {
  if (auto* label = window_.ControlAs<QLabel>(cmd::kOperationLabel)) {
    label->setText(QString::fromStdString(progress.label.text));
    label->setStyleSheet(QString("QLabel { color: %1; background-color: %2; border: none; }")
                             .arg(Hex(progress.label.textRgb), Hex(progress.label.backRgb)));
  }
  window_.SetLabelText(cmd::kFrameValue, QString::fromStdString(progress.frameLabel));
  window_.SetPositionBarWidth(progress.barWidth);
  window_.Flags().progressBarWidth = std::max(1, progress.barWidth);
}

void WindowConversionUi::SetCutAreaEnabled(bool enabled) {
  window_.Flags().cutAreaAdjustable = enabled ? 1 : 0;
}

void WindowConversionUi::ClearTransformPreview() {
  if (OutputWindow* output = window_.OutputWindowIfOpen()) {
    output->Area()->ShowCaption();
  } else {
    window_.TransformArea()->ShowCaption();
  }
}

bool WindowConversionUi::PreviewRefreshBusy() {
  return window_.Flags().previewRefreshBusy != 0;
}

int32_t WindowConversionUi::WindowHeight() {
  return window_.height();
}

void WindowConversionUi::Pump(int32_t ms) {
  QtShutdownHooks().Pump(ms);
}

void WindowConversionUi::Sleep(int32_t ms) {
  QThread::msleep(static_cast<unsigned long>(ms));
}

ExportResult WindowConversionUi::ExportMovie(std::string_view caption,
                                             const std::function<ExportResult()>& encode) {
  // While the encoder runs the window cannot be closed.
  window_.Flags().encoderBusy = 1;
  const ExportResult result = RunWithExportProgress<ExportResult>(
      &window_, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())), encode);
  window_.Flags().encoderBusy = 0;
  return result;
}

std::string WindowConversionUi::RecompressDialog(const std::string& output, ExportChoice& choice) {
  return RunRecompressDialog(window_, output, choice);
}

}  // namespace corvinex
