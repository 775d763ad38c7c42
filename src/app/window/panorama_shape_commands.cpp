// The panorama's width and heading from the Options menu and the heading drag.

#include <QAction>
#include <QInputDialog>
#include <QMessageBox>
#include <cmath>

#include "app/window/command_ids.h"
#include "app/window/main_window.h"

namespace corvinex {

void MainWindow::RefreshPanoramaShapeChecks() {
  const int32_t width = state_.options.PANORAMA_WIDTH;
  actions_[cmd::kWidthAsBefore]->setChecked(width == kWidthAsBefore);
  actions_[cmd::kWidthFullDetail]->setChecked(width == kWidthFullDetail);
  actions_[cmd::kWidthPixels]->setChecked(width > 0);
  actions_[cmd::kWidthPixels]->setText(width > 0 ? QString("  Width in pixels (%1)...").arg(width)
                                                 : QString("  Width in pixels..."));
  actions_[cmd::kHeadingDialog]->setText(
      QString("Heading (%1 degrees)...").arg(state_.options.HEADING, 0, 'f', 1));
}

bool MainWindow::SetHeading(double degrees) {
  if (!std::isfinite(degrees) || flags_.conversionRunning != 0) return false;
  double heading = std::remainder(degrees, 360.0);
  if (heading == -180.0) heading = 180.0;
  state_.options.HEADING = heading;
  RefreshPanoramaShapeChecks();
  PublishView();
  return true;
}

bool MainWindow::RunPanoramaShapeCommand(int32_t id) {
  if (flags_.conversionRunning != 0) {
    RefreshPanoramaShapeChecks();
    return false;
  }
  SessionOptions& o = state_.options;
  if (id == cmd::kHeadingDialog) {
    bool ok = false;
    const double heading = QInputDialog::getDouble(
        this, "Heading", "Direction at the panorama's centre, in degrees (-180 to 180):", o.HEADING,
        -180.0, 180.0, 1, &ok);
    return ok && SetHeading(heading);
  }
  int32_t width = kWidthAsBefore;
  if (id == cmd::kWidthFullDetail) width = kWidthFullDetail;
  if (id == cmd::kWidthPixels) {
    bool ok = false;
    width = QInputDialog::getInt(
        this, "Panorama width",
        QString("Width in pixels (even, %1 to %2):").arg(kMinPanoramaWidth).arg(kMaxPanoramaWidth),
        o.PANORAMA_WIDTH > 0 ? o.PANORAMA_WIDTH : 2048, kMinPanoramaWidth, kMaxPanoramaWidth, 2,
        &ok);
    if (!ok) {
      RefreshPanoramaShapeChecks();
      return false;
    }
    width += width % 2;  // typed odd numbers go to the next even one
  }
  // A width this movie's Cut Area cannot reach is told now, not at the conversion.
  const PanoramaShape shape{width, o.HEADING};
  const std::string problem =
      flags_.movieOpen != 0
          ? PanoramaShapeProblem(flags_.frameWidth, flags_.frameHeight, CurrentRing(), shape)
          : std::string();
  if (!problem.empty()) {
    RefreshPanoramaShapeChecks();
    QMessageBox::warning(this, "Panorama width", QString::fromStdString(problem));
    return false;
  }
  o.PANORAMA_WIDTH = width;
  RefreshPanoramaShapeChecks();
  PublishView();
  return true;
}

}  // namespace corvinex
