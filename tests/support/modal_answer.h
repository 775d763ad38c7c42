#pragma once
// Answers the next modal message box that appears, so that window tests can
// drive confirmations the way a user would.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

namespace corvinex::test {

struct SeenMessage {
  QString title;
  QString text;
  bool seen = false;
};

// Polls for the active modal box, records it, and presses `button`.
inline void AnswerNextMessageBox(QMessageBox::StandardButton button, SeenMessage* seen) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, button, seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (seen) {
      seen->title = box->windowTitle();
      seen->text = box->text();
      seen->seen = true;
    }
    timer->stop();
    timer->deleteLater();
    box->button(button)->click();
  });
  timer->start();
}

}  // namespace corvinex::test
