#pragma once
// Turning the panorama by dragging its preview sideways: the picture follows the
// pointer, a drag across the whole preview being one full turn.

#include <QObject>

class QWidget;

namespace corvinex {

class MainWindow;

class HeadingDrag : public QObject {
  Q_OBJECT

 public:
  // Watches `canvas` (the panorama preview) for `window`; owned by the canvas.
  HeadingDrag(MainWindow& window, QWidget& canvas);

  // The heading a drag of `dx` canvas pixels across a canvas `canvasWidth` wide gives,
  // from `start`, within -180 .. 180.
  static double HeadingAfter(double start, double dx, int canvasWidth);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  MainWindow& window_;
  QWidget& canvas_;
  bool dragging_ = false;
  double pressX_ = 0;
  double startHeading_ = 0;
};

}  // namespace corvinex
