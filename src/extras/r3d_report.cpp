#include "extras/r3d_report.h"

#include <QMessageBox>

namespace corvinex {

void ReportR3DStart(QWidget* owner, R3DStart started, const std::filesystem::path& programFolder) {
  const QString title = QStringLiteral("Convert R3D to MOV");
  const QString tool = QString::fromStdString((programFolder / "PLUG-IN" / "TL_R3D").string());
  switch (started) {
    case R3DStart::Started:
      return;
    case R3DStart::Missing:
      QMessageBox::warning(owner, title,
                           "The R3D converter is not installed, so R3D movies cannot be "
                           "converted here.\nIt is looked for as:\n" +
                               tool);
      return;
    case R3DStart::Failed:
      QMessageBox::warning(owner, title, "The R3D converter could not be started:\n" + tool);
      return;
    case R3DStart::AlreadyRunning:
      QMessageBox::information(owner, title,
                               "The R3D converter is already running in a window of its own.");
      return;
  }
}

}  // namespace corvinex
