#pragma once
// The program's main window. It asks before it closes and runs the shutdown
// sequence once the user confirms.

#include <QMainWindow>

#include "app/program_state.h"

namespace corvinex {

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(ProgramState& state, QWidget* parent = nullptr);

  // Set while the encoder runs: the window then refuses to close.
  void SetEncoderBusy(bool busy) { encoderBusy_ = busy; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  ProgramState& state_;
  bool encoderBusy_ = false;
  bool shutdownDone_ = false;
};

}  // namespace corvinex
