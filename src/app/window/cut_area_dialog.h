#pragma once
// "Cut Area...": the Cut Area typed in, applied as each value changes, beside the
// limits and the ring in movie pixels. Modeless, so the ring can still be dragged
// on the preview; the fields follow every change from anywhere.

#include <QDialog>
#include <array>

class QLabel;
class QSpinBox;

namespace corvinex {

class MainWindow;

class CutAreaDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CutAreaDialog(MainWindow& window);

  // The fields, in the order X1, Y1, width, height, inner radius (for tests).
  QSpinBox* Field(int index) const { return fields_[static_cast<size_t>(index)]; }
  QString Problem() const;

 private:
  void ShowCurrent();
  void TryTyped();

  MainWindow& window_;
  std::array<QSpinBox*, 5> fields_{};
  QLabel* pixels_ = nullptr;
  QLabel* limits_ = nullptr;
  QLabel* problem_ = nullptr;
};

}  // namespace corvinex
