#include "app/window/bitmap_button.h"

#include <QPainter>

namespace corvinex {

QPixmap ResourceBitmap(const QString& name) {
  QPixmap pixmap;
  pixmap.load(":/images/" + name + ".bmp");
  return pixmap;
}

BitmapButton::BitmapButton(const QString& imageName, QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::TabFocus);
  SetButtonImage(imageName);
}

void BitmapButton::SetButtonImage(const QString& imageName) {
  QPixmap image = ResourceBitmap(imageName);
  if (image.isNull()) return;
  imageName_ = imageName;
  image_ = image;
  repaint();
}

void BitmapButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(rect(), image_);
  if (!isEnabled()) painter.fillRect(rect(), QColor(0x77, 0x77, 0x77, 150));
}

void BitmapButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  emit hoverChanged(true);
}

void BitmapButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  emit hoverChanged(false);
}

}  // namespace corvinex
