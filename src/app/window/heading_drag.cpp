#include "app/window/heading_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <cmath>

#include "app/window/main_window.h"
#include "view/preview_draw.h"

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
      // The picture follows the pointer: one turn is the shown picture's width, which
      // is less than the canvas when the output picture is fitted in.
      const int shown = canvas_.width() * window_.ShownPanoramaColumns() / kPanoramaAreaWidth;
      window_.SetHeading(HeadingAfter(startHeading_, mouse->position().x() - pressX_, shown));
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
