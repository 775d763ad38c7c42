#include "app/window/output_window.h"

#include <QIcon>

#include "view/preview_canvas.h"

namespace corvinex {

OutputWindow::OutputWindow(std::mutex& drawingLock, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Output 360 stream");
  setWindowIcon(QIcon(":/icons/VIDEO1.png"));
  area_ = new PreviewCanvas(drawingLock, QSize(1000, 200), "Transform Window", this);
  area_->setObjectName("100");
  area_->move(0, 0);
  setFixedSize(1000, 200);
  move(5, 300);
}

}  // namespace corvinex
