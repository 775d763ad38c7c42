#include "app/window/export_progress_dialog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/window/bitmap_button.h"

namespace corvinex {

std::string ProcessingTimeText(double elapsedSeconds) {
  // Negative time (a clock that went back) shows as zero rather than garbage.
  const auto total = static_cast<int64_t>(elapsedSeconds < 0 ? 0 : elapsedSeconds);
  const int64_t hours = total / 3600;
  const int64_t minutes = (total - 3600 * hours) / 60;
  const int64_t seconds = total - 3600 * hours - 60 * minutes;
  char text[64];
  std::snprintf(text, sizeof text, "Processing time: %02lld:%02lld:%02lld",
                static_cast<long long>(hours), static_cast<long long>(minutes),
                static_cast<long long>(seconds));
  return text;
}

void AdvanceSquareLevels(std::array<int32_t, 5>& levels) {
  levels[0] += 5;
  for (size_t i = 0; i < levels.size(); ++i) {
    if (levels[i] <= 255) break;
    levels[i] = 255;
    if (i + 1 < levels.size()) {
      levels[i + 1] += 5;
    } else {
      levels.fill(20);
    }
  }
}

ExportProgressDialog::ExportProgressDialog(QWidget* owner, const QString& caption)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(caption);
  setModal(false);
  setFixedSize(375, 98);
  setStyleSheet("QDialog { background-color: rgb(119,119,119); }");
  picture_ = new QLabel(this);
  picture_->setObjectName("101");
  picture_->setGeometry(8, 9, 39, 47);
  picture_->setPixmap(ResourceBitmap("load1"));
  auto* wait = new QLabel("Please wait...", this);
  wait->setObjectName("207");
  wait->setGeometry(97, 9, 225, 56);
  wait->setAlignment(Qt::AlignCenter);
  QFont font("DejaVu Serif");
  font.setPixelSize(26);
  wait->setFont(font);
  wait->setStyleSheet("color: white;");
  auto* band = new QLabel(this);
  band->setGeometry(0, 64, 375, 34);
  band->setStyleSheet("background-color: rgb(85,85,85);");
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setGeometry(1, 63, 372, 2);
  for (size_t k = 0; k < squares_.size(); ++k) {
    squares_[k] = new QLabel(this);
    squares_[k]->setObjectName(QString::number(201 + k));
    squares_[k]->setGeometry(static_cast<int>(8 + 18 * k), 75, 14, 15);
    squares_[k]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  }
  time_ = new QLabel(QString::fromStdString(ProcessingTimeText(0)), this);
  time_->setObjectName("320");
  // Wide enough for "Processing time: 00:00:00" in any of our fonts.
  time_->setGeometry(110, 75, 258, 18);
  time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  time_->setStyleSheet("color: rgb(192,192,192); background-color: rgb(85,85,85);");
  Step(0);
}

void ExportProgressDialog::Step(double elapsedSeconds) {
  AdvanceSquareLevels(levels_);
  if (++passCounter_ >= 2) {
    passCounter_ = 0;
    pictureCounter_ = pictureCounter_ % 4 + 1;
    picture_->setPixmap(ResourceBitmap(QString("load%1").arg(pictureCounter_)));
    time_->setText(QString::fromStdString(ProcessingTimeText(elapsedSeconds)));
  }
  for (size_t k = 0; k < squares_.size(); ++k) {
    squares_[k]->setStyleSheet(
        QString("background-color: rgb(20,%1,195); color: black;").arg(levels_[k]));
  }
}

QString ExportProgressDialog::TimeLabel() const {
  return time_->text();
}

void RunExportProgress(QWidget* owner, const QString& caption, const std::function<void()>& work) {
  QThread::msleep(100);
  ExportProgressDialog dialog(owner, caption);
  // Over the owner's top left corner, not its middle, where a question asked during
  // the run (stop and quit?) waits for an answer; such a question stays on top.
  if (owner != nullptr) dialog.move(owner->mapToGlobal(QPoint(20, 20)));
  dialog.show();
  if (owner != nullptr) {
    for (QMessageBox* question : owner->findChildren<QMessageBox*>()) {
      if (question->isVisible()) question->raise();
    }
  }
  QElapsedTimer clock;
  clock.start();
  std::atomic<int32_t> running{1};
  std::thread worker([&] {
    work();
    running = 0;
  });
  while (running) {
    dialog.Step(static_cast<double>(clock.elapsed()) / 1000.0);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 32);
    if (running) QThread::msleep(32);
  }
  worker.join();
  dialog.close();
}

void ExportProgressDialog::keyPressEvent(QKeyEvent* event) {
  // Escape would hide the only sign that the encoder is still working.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace corvinex
