#pragma once
// Answers the next modal file dialog: records its title and proposed name, then
// picks `path` (or cancels when `path` is empty).

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <functional>

namespace corvinex::test {

struct SeenFileDialog {
  QString title;
  QString proposedName;
  QString folder;
  QStringList filters;
  bool detailView = false;
  bool seen = false;
};

// `then` runs once the dialog is answered (to answer the next one, say).
inline void AnswerNextFileDialog(const QString& path, SeenFileDialog* seen,
                                 std::function<void()> then = {}) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, path, seen, then] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer->stop();
    timer->deleteLater();
    if (seen) {
      seen->seen = true;
      seen->title = dialog->windowTitle();
      seen->folder = dialog->directory().absolutePath();
      seen->filters = dialog->nameFilters();
      seen->detailView = dialog->viewMode() == QFileDialog::Detail;
      if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) {
        seen->proposedName = edit->text();
      }
    }
    if (path.isEmpty()) {
      dialog->reject();
    } else if (dialog->fileMode() == QFileDialog::Directory) {
      // A folder browser answers with the folder it shows.
      dialog->setDirectory(path);
      static_cast<QDialog*>(dialog)->accept();
    } else {
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();
    }
    if (then) then();
  });
  timer->start();
}

}  // namespace corvinex::test
