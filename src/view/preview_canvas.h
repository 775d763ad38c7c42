#pragma once
// A drawing area that keeps its picture in a retained back buffer and repaints
// from it. Threads that draw hold the drawing lock while they paint into the
// buffer and then ask for a repaint, which the widget does on the GUI thread.

#include <QImage>
#include <QWidget>
#include <mutex>

namespace corvinex {

class PreviewCanvas : public QWidget {
  Q_OBJECT

 public:
  PreviewCanvas(std::mutex& drawingLock, QSize size, const QString& caption, QWidget* parent);

  // The back buffer; touch it only while holding DrawingLock().
  QImage& BackBuffer() { return buffer_; }
  std::mutex& DrawingLock() { return lock_; }
  const QString& Caption() const { return caption_; }

  // Clears to #333333 with the caption, under the lock, and repaints.
  void ShowCaption();
  // Safe from any thread: queues a repaint on the GUI thread.
  void RequestRepaint();
  // A copy of the back buffer, taken under the lock.
  QImage Snapshot();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::mutex& lock_;
  QImage buffer_;
  QString caption_;
};

}  // namespace corvinex
