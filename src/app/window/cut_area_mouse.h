#pragma once
// Placing the Cut Area on the doughnut preview: drag inside the ring to move it,
// drag the external circle's edge to resize it about its centre, drag the internal
// circle's edge to change its radius; the wheel grows or shrinks the ring (with
// Shift the internal circle); arrow keys move it (with Shift ten units at a time).
// The cursor tells what a drag would do.

#include <QObject>
#include <QPointF>

#include "transform/cut_area_drag.h"

class QWidget;

namespace corvinex {

class MainWindow;

class CutAreaMouse : public QObject {
  Q_OBJECT

 public:
  // Watches `canvas` (the doughnut preview) for `window`.
  CutAreaMouse(MainWindow& window, QWidget& canvas);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Preview units of a point of the canvas (the picture is centred vertically).
  QPointF ToUnits(QPointF canvasPoint) const;
  void ShowCursorFor(QPointF units);

  MainWindow& window_;
  QWidget& canvas_;
  CutAreaGrip grip_ = CutAreaGrip::None;
  QPointF pressAt_;
  RingGeometry start_;
  int wheelRest_ = 0;  // eighths of a degree not yet turned into a step
};

}  // namespace corvinex
