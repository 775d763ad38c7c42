#include "app/window/window_conversion_ui.h"

#include <QLabel>
#include <QMessageBox>
#include <QThread>

#include "app/window/command_ids.h"
#include "app/window/control_styles.h"
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

WindowConversionUi::WindowConversionUi(MainWindow& window)
    : window_(window), converted_(std::make_shared<PendingFrame>()) {}

void WindowConversionUi::ClearMovieInformation() {
  WindowState& flags = window_.Flags();
  std::lock_guard<std::mutex> hold(flags.textMutex);
  flags.movieInformation.clear();
  flags.probeLines = {};
}

bool WindowConversionUi::WantsConvertedFrame() {
  return !converted_->pending.load() && window_.Flags().panoramaPreviewEnabled != 0;
}

void WindowConversionUi::ShowConvertedFrame(const ConvertedFrameView& frame) {
  std::shared_ptr<PendingFrame> next = converted_;
  if (next->pending.exchange(true)) return;
  // Sized on the first frame of a run; later frames reuse the buffer.
  if (next->panorama.width != frame.panorama.width ||
      next->panorama.height != frame.panorama.height) {
    next->panorama.Reset(frame.panorama.width, frame.panorama.height);
  }
  std::copy(frame.panorama.pixels.begin(), frame.panorama.pixels.end(),
            next->panorama.pixels.begin());
  next->geometry = frame.geometry;
  next->flipVertical = frame.flipVertical;
  next->lines = frame.lines;
  MainWindow* window = &window_;
  QMetaObject::invokeMethod(
      window,
      [window, next] {
        // A frame that arrives after the run has ended must not cover the captions.
        if (window->Flags().conversionRunning != 0) {
          PreviewScene scene;
          scene.panorama = &next->panorama;
          scene.panoramaWidth = next->geometry.W;
          scene.turn = next->geometry.turn;
          scene.panoramaRows = next->geometry.outRows;
          scene.cutRows = next->geometry.cutRows;
          scene.flipVertical = next->flipVertical;
          scene.panoramaEnabled = window->Flags().panoramaPreviewEnabled != 0;
          scene.cutAreaEnabled = false;  // the doughnut area keeps its picture
          scene.conversionRunning = true;
          scene.progressLines = next->lines;
          window->DrawPreview(scene);
        }
        next->pending = false;
      },
      Qt::QueuedConnection);
}

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
    Restyle(*label, QString("QLabel { color: %1; background-color: %2; border: none; }")
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
  earlierOutput_ = output;
  return RunRecompressDialog(window_, output, choice);
}

}  // namespace corvinex
