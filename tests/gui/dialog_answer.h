#pragma once
// Answers the next modal dialog the way a user would, and makes sure the answer
// took: a dialog still open a few seconds after its answer fails the test with a
// message and is closed, so a test can never wait on a dialog nobody answers.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace corvinex::test {

// How long an answered dialog may take to close before the test fails.
inline constexpr int kAnswerCloseLimitMs = 3000;

// Answers still waiting for their dialog; the test main drops them at the end of
// each test so that one test's answer never meets the next test's dialog.
inline std::vector<QPointer<QTimer>>& PendingAnswers() {
  static std::vector<QPointer<QTimer>> pending;
  return pending;
}

inline void DropPendingAnswers() {
  for (auto& timer : PendingAnswers()) delete timer.data();
  PendingAnswers().clear();
}

// Closes `dialog` and whatever modal widget was opened on top of it.
inline void ForceClose(QWidget* dialog) {
  for (int guard = 0; guard < 8; ++guard) {
    QWidget* top = QApplication::activeModalWidget();
    if (!top || top == dialog) break;
    if (auto* d = qobject_cast<QDialog*>(top)) {
      d->reject();
    } else {
      top->close();
    }
  }
  if (auto* d = qobject_cast<QDialog*>(dialog)) {
    d->reject();
  } else if (dialog) {
    dialog->close();
  }
}

// Fails the test when `dialog` is still open kAnswerCloseLimitMs after its answer,
// and closes it. A timer of its own: the answer may itself block in a nested box.
inline void WatchAnswerCloses(QWidget* dialog, const std::string& what) {
  auto* watch = new QTimer;
  watch->setInterval(50);
  PendingAnswers().emplace_back(watch);
  QPointer<QWidget> target(dialog);
  QElapsedTimer clock;
  clock.start();
  bool failed = false;
  QObject::connect(watch, &QTimer::timeout, [=]() mutable {
    if (!target || !target->isVisible()) {
      watch->stop();
      watch->deleteLater();
      return;
    }
    if (clock.elapsed() < kAnswerCloseLimitMs) return;
    if (!failed) {
      failed = true;
      ADD_FAILURE() << "The " << what << " \"" << target->windowTitle().toStdString()
                    << "\" stayed open " << kAnswerCloseLimitMs
                    << " ms after the test answered it; closing it.";
    }
    ForceClose(target);
  });
  watch->start();
}

// Polls for the active modal widget of type T and runs `act` on it once; `what`
// names the dialog in a failure.
template <class T>
void AnswerNextModal(const std::string& what, std::function<void(T&)> act) {
  auto* poll = new QTimer;
  poll->setInterval(20);
  PendingAnswers().emplace_back(poll);
  QObject::connect(poll, &QTimer::timeout, [poll, what, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->stop();
    poll->deleteLater();
    WatchAnswerCloses(dialog, what);
    act(*dialog);
  });
  poll->start();
}

struct SeenMessage {
  QString title;
  QString text;
  bool seen = false;
};

// Records the next message box and presses `button`.
inline void AnswerNextMessageBox(QMessageBox::StandardButton button, SeenMessage* seen) {
  AnswerNextModal<QMessageBox>("message box", [button, seen](QMessageBox& box) {
    if (seen) {
      seen->title = box.windowTitle();
      seen->text = box.text();
      seen->seen = true;
    }
    if (QAbstractButton* pressed = box.button(button)) {
      pressed->click();
    } else {
      ADD_FAILURE() << "The message box \"" << box.text().toStdString()
                    << "\" has no button the test was told to press.";
    }
  });
}

struct SeenFileDialog {
  QString title;
  QString proposedName;
  QString folder;
  QStringList filters;
  bool detailView = false;
  bool seen = false;
};

// Records the next file dialog, then picks `path` (or cancels when `path` is
// empty). `then` runs once the dialog is answered (to answer the next one, say).
inline void AnswerNextFileDialog(const QString& path, SeenFileDialog* seen,
                                 std::function<void()> then = {}) {
  AnswerNextModal<QFileDialog>("file dialog", [path, seen, then](QFileDialog& dialog) {
    auto* nameEdit = dialog.findChild<QLineEdit*>("fileNameEdit");
    if (seen) {
      seen->seen = true;
      seen->title = dialog.windowTitle();
      seen->folder = dialog.directory().absolutePath();
      seen->filters = dialog.nameFilters();
      seen->detailView = dialog.viewMode() == QFileDialog::Detail;
      if (nameEdit) seen->proposedName = nameEdit->text();
    }
    if (path.isEmpty()) {
      dialog.reject();
    } else if (dialog.fileMode() == QFileDialog::Directory) {
      // A folder browser answers with the folder it shows.
      dialog.setDirectory(path);
      static_cast<QDialog&>(dialog).accept();
    } else {
      dialog.selectFile(path);
      // selectFile leaves the name field alone while it has the focus, as it does
      // when the dialog is the active window; type the path as a user would.
      if (nameEdit) nameEdit->setText(path);
      static_cast<QDialog&>(dialog).accept();
    }
    if (then) then();
  });
}

}  // namespace corvinex::test
