#include "view/preview_canvas.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>

#include "view/preview_draw.h"

namespace corvinex {

PreviewCanvas::PreviewCanvas(std::mutex& drawingLock, QSize size, const QString& caption,
                             QWidget* parent)
    : QWidget(parent), lock_(drawingLock), buffer_(size, QImage::Format_RGB32), caption_(caption) {
  setFixedSize(size);
  setAttribute(Qt::WA_OpaquePaintEvent);
  DrawCaption(buffer_, caption_);
}

void PreviewCanvas::ShowCaption() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    DrawCaption(buffer_, caption_);
  }
  RequestRepaint();
}

void PreviewCanvas::RequestRepaint() {
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

QImage PreviewCanvas::Snapshot() {
  std::lock_guard<std::mutex> hold(lock_);
  return buffer_.copy();
}

void PreviewCanvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  std::lock_guard<std::mutex> hold(lock_);
  painter.drawImage(event->rect(), buffer_, event->rect());
  // A sunken edge around the area.
  painter.setPen(QColor(0x40, 0x40, 0x40));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.drawLine(0, 0, 0, height() - 1);
  painter.setPen(QColor(0xE0, 0xE0, 0xE0));
  painter.drawLine(0, height() - 1, width() - 1, height() - 1);
  painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
}

}  // namespace corvinex
