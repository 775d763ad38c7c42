#include "app/window/window_snapshot.h"

#include <QPixmap>
#include <QWidget>

namespace corvinex {

bool SaveWindowPng(QWidget& window, const QString& path) {
  window.ensurePolished();
  const QPixmap picture = window.grab();
  return !picture.isNull() && picture.save(path, "PNG");
}

}  // namespace corvinex
