#include "app/window/qt_shutdown_hooks.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace corvinex {

void QtShutdownHooks::Pump(int32_t milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents,
                                    static_cast<int>(deadline.remainingTime()));
    if (!deadline.hasExpired()) QThread::msleep(5);
  } while (!deadline.hasExpired());
}

void QtShutdownHooks::Sleep(int32_t milliseconds) {
  QThread::msleep(static_cast<unsigned long>(milliseconds));
}

}  // namespace corvinex
