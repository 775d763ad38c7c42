#pragma once
// "Save a Video with another compression": after an export, the user may pick
// another output file, quality and size, and export again.

#include <QDialog>
#include <string>

#include "convert/conversion_ui.h"

class QComboBox;
class QLineEdit;

namespace corvinex {

class MainWindow;

class RecompressDialog : public QDialog {
  Q_OBJECT

 public:
  RecompressDialog(MainWindow& window, const std::string& output, ExportChoice& choice);
  // The output path to export to, or empty text for no further export.
  const std::string& Result() const { return result_; }

 protected:
  void reject() override;

 private:
  void SelectFile();
  MainWindow& window_;
  ExportChoice& choice_;
  std::string result_;
  QLineEdit* path_;
};

// Runs the dialog modally over the main window.
std::string RunRecompressDialog(MainWindow& window, const std::string& output,
                                ExportChoice& choice);

}  // namespace corvinex
