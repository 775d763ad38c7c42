#include "app/window/qt_shutdown_hooks.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "app/window/main_window.h"

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

bool WindowShutdownHooks::ViewerOpen() {
  return window_.Flags().viewerOpen != 0;
}

void WindowShutdownHooks::CloseViewer() {
  if (window_.Services().closeViewer) window_.Services().closeViewer(window_);
  window_.Flags().viewerOpen = 0;
}

bool WindowShutdownHooks::MovieOpen() {
  return window_.Flags().movieOpen != 0;
}

void WindowShutdownHooks::StopMovie() {
  if (window_.Services().playPause) window_.Services().playPause(window_, false);
  window_.Flags().paused = 1;
}

bool WindowShutdownHooks::MoviePlaying() {
  return window_.Flags().movieOpen != 0 && window_.Flags().paused == 0;
}

bool WindowShutdownHooks::StreamLoopRunning() {
  return window_.Flags().movieOpen != 0 || window_.State().StreamState.load() != 0;
}

void WindowShutdownHooks::EndStreamLoop() {
  if (window_.Services().closeMovie) window_.Services().closeMovie(window_);
}

}  // namespace corvinex
