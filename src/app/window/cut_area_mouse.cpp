#include "app/window/cut_area_mouse.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>

#include "app/window/main_window.h"

namespace corvinex {
namespace {

// A resize cursor along the direction from the centre to the pointer.
Qt::CursorShape RadialCursor(double dx, double dy) {
  const double angle = std::atan2(-dy, dx) * 180.0 / 3.14159265358979;
  const double a = std::fmod(angle + 360.0 + 22.5, 180.0);
  if (a < 45) return Qt::SizeHorCursor;
  if (a < 90) return Qt::SizeBDiagCursor;
  if (a < 135) return Qt::SizeVerCursor;
  return Qt::SizeFDiagCursor;
}

}  // namespace

CutAreaMouse::CutAreaMouse(MainWindow& window, QWidget& canvas)
    : QObject(&canvas), window_(window), canvas_(canvas) {
  canvas.setMouseTracking(true);
  canvas.setFocusPolicy(Qt::StrongFocus);
  canvas.installEventFilter(this);
}

QPointF CutAreaMouse::ToUnits(QPointF canvasPoint) const {
  const QSize frame = window_.FrameSize();
  const PreviewPlacement place = PlacePreview(frame.width(), frame.height());
  return {canvasPoint.x(), canvasPoint.y() - place.oy};
}

void CutAreaMouse::ShowCursorFor(QPointF units) {
  if (!window_.CutAreaPlaceable()) {
    canvas_.unsetCursor();
    return;
  }
  const RingGeometry ring = window_.CurrentRing();
  switch (GripAt(ring, units.x(), units.y())) {
    case CutAreaGrip::Move:
      canvas_.setCursor(grip_ == CutAreaGrip::Move ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
      break;
    case CutAreaGrip::Outer:
    case CutAreaGrip::Inner:
      canvas_.setCursor(RadialCursor(units.x() - (ring.X1 + ring.X2 / 2.0),
                                     units.y() - (ring.Y1 + ring.Y2 / 2.0)));
      break;
    case CutAreaGrip::None:
      canvas_.unsetCursor();
      break;
  }
}

bool CutAreaMouse::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &canvas_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || !window_.CutAreaPlaceable()) return false;
      const QPointF at = ToUnits(mouse->position());
      start_ = window_.CurrentRing();
      grip_ = GripAt(start_, at.x(), at.y());
      pressAt_ = at;
      canvas_.setFocus(Qt::MouseFocusReason);
      ShowCursorFor(at);
      return grip_ != CutAreaGrip::None;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPointF at = ToUnits(mouse->position());
      if (grip_ != CutAreaGrip::None && (mouse->buttons() & Qt::LeftButton)) {
        // A step past a limit is refused; the ring stays at the last allowed place
        // and follows again once the pointer comes back.
        window_.ApplyCutArea(
            DragCutArea(start_, grip_, pressAt_.x(), pressAt_.y(), at.x(), at.y()));
        return true;
      }
      ShowCursorFor(at);
      return false;
    }
    case QEvent::MouseButtonRelease: {
      if (grip_ == CutAreaGrip::None) return false;
      grip_ = CutAreaGrip::None;
      ShowCursorFor(ToUnits(static_cast<QMouseEvent*>(event)->position()));
      return true;
    }
    case QEvent::Wheel: {
      auto* wheel = static_cast<QWheelEvent*>(event);
      if (!window_.CutAreaPlaceable()) return false;
      // Some systems turn Shift+wheel into a sideways turn.
      const QPoint turn = wheel->angleDelta();
      wheelRest_ += turn.y() != 0 ? turn.y() : turn.x();
      const int steps = wheelRest_ / 120;
      wheelRest_ -= steps * 120;
      if (steps != 0) {
        const bool inner = wheel->modifiers() & Qt::ShiftModifier;
        window_.ApplyCutArea(ResizeCutArea(window_.CurrentRing(), steps, inner));
      }
      return true;
    }
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!window_.CutAreaPlaceable()) return false;
      const int32_t step = (key->modifiers() & Qt::ShiftModifier) ? 10 : 1;
      int32_t dx = 0, dy = 0;
      switch (key->key()) {
        case Qt::Key_Left:
          dx = -step;
          break;
        case Qt::Key_Right:
          dx = step;
          break;
        case Qt::Key_Up:
          dy = -step;
          break;
        case Qt::Key_Down:
          dy = step;
          break;
        default:
          return false;
      }
      window_.ApplyCutArea(MoveCutArea(window_.CurrentRing(), dx, dy));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace corvinex
