#pragma once
// A button that shows one of the program's own bitmaps (normal "1", pressed "2",
// hover "3"), scaled smoothly into the button when the bitmap is larger.

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

namespace corvinex {

// The bitmap resource `name` (no extension); a null pixmap when there is none.
QPixmap ResourceBitmap(const QString& name);

class BitmapButton : public QAbstractButton {
  Q_OBJECT

 public:
  BitmapButton(const QString& imageName, QWidget* parent);

  // Replaces the image and repaints at once; an unknown name leaves it unchanged.
  void SetButtonImage(const QString& imageName);
  const QString& ImageName() const { return imageName_; }

 signals:
  void hoverChanged(bool inside);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QString imageName_;
  QPixmap image_;
};

}  // namespace corvinex
