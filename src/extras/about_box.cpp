#include "extras/about_box.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>

#include "extras/external_links.h"
#include "version.h"

namespace corvinex {

namespace {

// A sunken label that acts on a click, shown with the busy cursor as a link.
class ClickLabel : public QLabel {
 public:
  ClickLabel(const QString& text, void (*onClick)(), QWidget* parent)
      : QLabel(text, parent), onClick_(onClick) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("color: #DCD278; background-color: #00007F;"));
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      onClick_();
    }
  }

 private:
  void (*onClick_)();
};

void MailClicked() {
  OpenSupportMail();
}
void WebClicked() {
  OpenWebPage();
}

// Dialog units to pixels for the default font (4 x 8 units per average character).
int UnitsX(const QWidget& w, int units) {
  return units * w.fontMetrics().averageCharWidth() / 4;
}
int UnitsY(const QWidget& w, int units) {
  return units * w.fontMetrics().height() / 8;
}

}  // namespace

QDialog* CreateAboutBox(QWidget* parent) {
  auto* box = new QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                      Qt::WindowCloseButtonHint);
  box->setWindowTitle(QStringLiteral("About"));
  box->setModal(true);
  box->setObjectName(QStringLiteral("aboutBox"));
  box->setStyleSheet(QStringLiteral("QDialog#aboutBox { background-color: #1432C3; }"));
  box->setFixedSize(UnitsX(*box, 220), UnitsY(*box, 210));
  const QIcon icon = QApplication::windowIcon().isNull()
                         ? box->style()->standardIcon(QStyle::SP_MediaPlay)
                         : QApplication::windowIcon();
  box->setWindowIcon(icon);

  auto* image = new QLabel(box);
  image->setPixmap(icon.pixmap(32, 32));
  image->move(UnitsX(*box, 10), UnitsY(*box, 5));
  image->adjustSize();

  auto* line = new QFrame(box);
  line->setFrameShape(QFrame::HLine);
  line->setGeometry(UnitsX(*box, 10), UnitsY(*box, 40), UnitsX(*box, 190), 2);

  auto* version = new QLabel(QStringLiteral(" v") + QString::fromLatin1(kVersion), box);
  version->setObjectName(QStringLiteral("label101"));
  version->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
  // Right-aligned to the line's end: wider fonts than the box was laid out for
  // would otherwise cut the build number off.
  version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  version->setGeometry(UnitsX(*box, 100), UnitsY(*box, 48), UnitsX(*box, 100), UnitsY(*box, 10));

  auto* mail = new ClickLabel(QStringLiteral("email: TL Inc."), &MailClicked, box);
  mail->setObjectName(QStringLiteral("label2002"));
  mail->setGeometry(0, UnitsY(*box, 169), UnitsX(*box, 70), UnitsY(*box, 11));

  auto* web = new ClickLabel(
      QString::fromUtf8(kWebPageText.data(), static_cast<qsizetype>(kWebPageText.size())),
      &WebClicked, box);
  web->setObjectName(QStringLiteral("label2004"));
  web->setGeometry(UnitsX(*box, 70), UnitsY(*box, 169), UnitsX(*box, 141), UnitsY(*box, 11));
  return box;
}

void ShowAboutBox(QWidget* parent) {
  QDialog* box = CreateAboutBox(parent);
  box->exec();
  delete box;
}

}  // namespace corvinex
