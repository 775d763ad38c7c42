#pragma once
// "Output 360 stream": a separate window that shows the panorama preview when the
// main window is in its shortened form. Closing it destroys it.

#include <QWidget>
#include <mutex>

namespace corvinex {

class PreviewCanvas;

class OutputWindow : public QWidget {
  Q_OBJECT

 public:
  OutputWindow(std::mutex& drawingLock, QWidget* owner);
  PreviewCanvas* Area() const { return area_; }

 private:
  PreviewCanvas* area_;
};

}  // namespace corvinex
