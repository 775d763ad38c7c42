#include "app/window/main_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>

#include "app/window/qt_shutdown_hooks.h"

namespace corvinex {

MainWindow::MainWindow(ProgramState& state, QWidget* parent) : QMainWindow(parent), state_(state) {
  setWindowTitle("Tessaline Corvinex");
  if (state.shortenedForm) {
    setFixedSize(1010, 650);
  } else {
    setFixedSize(1024, 849);
  }
  setStyleSheet("QMainWindow { background: #777777; color: black; }");
  auto* placeholder = new QLabel("Main Window", this);
  placeholder->setAlignment(Qt::AlignCenter);
  setCentralWidget(placeholder);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (shutdownDone_) {
    event->accept();
    return;
  }
  if (encoderBusy_) {
    event->ignore();
    return;
  }
  const auto answer = QMessageBox::warning(this, "Exit IDE", "Are you sure?",
                                           QMessageBox::Ok | QMessageBox::Cancel);
  if (answer != QMessageBox::Ok) {
    event->ignore();
    return;
  }
  QtShutdownHooks hooks;
  RunShutdown(state_, hooks);
  shutdownDone_ = true;
  event->accept();
}

}  // namespace corvinex
