#include "app/window/heading_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <cmath>

#include "app/window/main_window.h"

namespace corvinex {

HeadingDrag::HeadingDrag(MainWindow& window, QWidget& canvas)
    : QObject(&canvas), window_(window), canvas_(canvas) {
  canvas.installEventFilter(this);
}

double HeadingDrag::HeadingAfter(double start, double dx, int canvasWidth) {
  if (canvasWidth <= 0 || !std::isfinite(dx)) return start;
  // Dragging right brings into view what lay to the left: the heading goes down.
  const double turned = std::remainder(start - dx * 360.0 / canvasWidth, 360.0);
  return turned == -180.0 ? 180.0 : turned;
}

bool HeadingDrag::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &canvas_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || window_.Flags().movieOpen == 0) return false;
      dragging_ = true;
      pressX_ = mouse->position().x();
      startHeading_ = window_.Heading();
      canvas_.setCursor(Qt::ClosedHandCursor);
      return true;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!dragging_ || !(mouse->buttons() & Qt::LeftButton)) return false;
      window_.SetHeading(
          HeadingAfter(startHeading_, mouse->position().x() - pressX_, canvas_.width()));
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (!dragging_) return false;
      dragging_ = false;
      canvas_.unsetCursor();
      return true;
    default:
      return false;
  }
}

}  // namespace corvinex
