#include "view/viewer_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <chrono>

namespace corvinex {

namespace {

std::atomic<int32_t> gViewOpen{0};

constexpr auto kFramePause = std::chrono::milliseconds(25);

}  // namespace

// The 640 x 388 drawing area: paints the last frame and turns pointer and keys into
// motion.
class ViewArea : public QWidget {
 public:
  explicit ViewArea(ViewerWindow* viewer) : QWidget(viewer), viewer_(viewer) {
    setCursor(Qt::SizeAllCursor);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QImage frame = viewer_->LastFrame();
    if (frame.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), frame);
  }

  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Shift:
        viewer_->PressKey(ViewKey::ZoomIn);
        break;
      case Qt::Key_Control:
        viewer_->PressKey(ViewKey::ZoomOut);
        break;
      case Qt::Key_Left:
        viewer_->PressKey(ViewKey::Left);
        break;
      case Qt::Key_Right:
        viewer_->PressKey(ViewKey::Right);
        break;
      case Qt::Key_Up:
        viewer_->PressKey(ViewKey::Up);
        break;
      case Qt::Key_Down:
        viewer_->PressKey(ViewKey::Down);
        break;
      default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
  }

  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    setFocus();
    const QPoint at = event->position().toPoint();
    viewer_->PointerPressed(at.x(), at.y());
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    const QPoint at = event->position().toPoint();
    viewer_->PointerMoved(at.x(), at.y(), event->buttons() == Qt::LeftButton);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) viewer_->PointerReleased();
  }

 private:
  ViewerWindow* viewer_;
};

ViewerWindow::ViewerWindow(QWidget* owner, int32_t pw, int32_t ph, PanoramaCopy panorama,
                           std::function<void()> playPause)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      panorama_(std::move(panorama)),
      playPause_(std::move(playPause)) {
  gViewOpen = 1;
  setWindowTitle(QStringLiteral("360 Video Viewer"));
  setFixedSize(642, 424);
  setAutoFillBackground(true);
  setStyleSheet(QStringLiteral("ViewerWindow { background-color: #777777; color: black; }"));

  OpenViewProjection(pw, ph, projection_, state_);
  source_.Reset(pw, ph);
  view_.Reset(projection_.size.width, projection_.size.height);
  shown_ = QImage(view_.width, view_.height, QImage::Format_RGB32);
  shown_.fill(Qt::black);

  area_ = new ViewArea(this);
  area_->setGeometry(1, 1, 640, 388);

  struct Button {
    const char* name;
    int id;
    int x;
    Qt::ArrowType arrow;
    const char* text;
  };
  const Button buttons[] = {
      {"left", 3900, 7, Qt::LeftArrow, ""},  {"right", 3901, 29, Qt::RightArrow, ""},
      {"stop", 3904, 51, Qt::NoArrow, "■"},  {"up", 3902, 73, Qt::UpArrow, ""},
      {"down", 3903, 95, Qt::DownArrow, ""}, {"lup", 3907, 119, Qt::NoArrow, "+"},
      {"rup", 3908, 141, Qt::NoArrow, "−"},
  };
  for (const Button& b : buttons) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(b.name));
    button->setProperty("commandId", b.id);
    button->setGeometry(b.x, 396, 22, 22);
    button->setFocusPolicy(Qt::NoFocus);
    if (b.arrow != Qt::NoArrow) {
      button->setArrowType(b.arrow);
    } else {
      button->setText(QString::fromUtf8(b.text));
    }
    const int id = b.id;
    connect(button, &QToolButton::clicked, this, [this, id] {
      switch (id) {
        case 3900:
          PressKey(ViewKey::Left);
          break;
        case 3901:
          PressKey(ViewKey::Right);
          break;
        case 3902:
          PressKey(ViewKey::Up);
          break;
        case 3903:
          PressKey(ViewKey::Down);
          break;
        case 3907:
          PressKey(ViewKey::ZoomIn);
          break;
        case 3908:
          PressKey(ViewKey::ZoomOut);
          break;
        default:
          StopMotionNow();
          break;
      }
    });
  }
  auto* play = new QPushButton(QStringLiteral("Play/Pause"), this);
  play->setObjectName(QStringLiteral("playPause"));
  play->setProperty("commandId", 101);
  play->setGeometry(555, 398, 70, 18);
  play->setFocusPolicy(Qt::NoFocus);
  connect(play, &QPushButton::clicked, this, [this] { PlayPause(); });

  area_->setFocus();
  thread_ = std::thread([this] { RenderLoop(); });
}

ViewerWindow::~ViewerWindow() {
  StopThread();
  gViewOpen = 0;
}

bool ViewerWindow::IsOpen() {
  return gViewOpen.load() != 0;
}

ViewerState ViewerWindow::State() const {
  std::lock_guard lock(stateMutex_);
  return state_;
}

QImage ViewerWindow::LastFrame() const {
  std::lock_guard lock(imageMutex_);
  return shown_.copy();
}

void ViewerWindow::PressKey(ViewKey key) {
  std::lock_guard lock(stateMutex_);
  PressViewKey(state_, key);
}

void ViewerWindow::StopMotionNow() {
  std::lock_guard lock(stateMutex_);
  StopMotion(state_);
}

void ViewerWindow::PointerPressed(int x, int y) {
  std::lock_guard lock(stateMutex_);
  StopMotion(state_);
  state_.mouseX = state_.originX = x;
  state_.mouseY = state_.originY = y;
}

void ViewerWindow::PointerMoved(int x, int y, bool leftButtonOnly) {
  std::lock_guard lock(stateMutex_);
  if (!state_.dragging || leftButtonOnly) {
    state_.mouseX = x;
    state_.mouseY = y;
  }
  if (leftButtonOnly) state_.dragging = true;
}

void ViewerWindow::PointerReleased() {
  std::lock_guard lock(stateMutex_);
  state_.dragging = false;
}

void ViewerWindow::PlayPause() {
  StopMotionNow();
  if (playPause_) playPause_();
}

void ViewerWindow::RenderLoop() {
  for (;;) {
    ViewerState state;
    {
      std::lock_guard lock(stateMutex_);
      state = state_;
    }
    if (panorama_ && panorama_(source_)) {
      RenderView(projection_, state, source_.pixels.data(), view_);
      std::lock_guard lock(imageMutex_);
      for (int32_t y = 0; y < view_.height; ++y) {
        // The view is stored bottom-up; the picture's top row is its last.
        const uint32_t* row = view_.Row(view_.height - 1 - y);
        auto* line = reinterpret_cast<uint32_t*>(shown_.scanLine(y));
        for (int32_t x = 0; x < view_.width; ++x) line[x] = row[x] | 0xFF000000u;
      }
    }
    ++framesDrawn_;
    QMetaObject::invokeMethod(
        area_, [area = area_] { area->update(); }, Qt::QueuedConnection);
    {
      std::lock_guard lock(stateMutex_);
      UpdateMotion(state_, projection_.size);
    }
    std::unique_lock lock(wakeMutex_);
    if (wake_.wait_for(lock, kFramePause, [this] { return stop_; })) return;
  }
}

void ViewerWindow::StopThread() {
  {
    std::lock_guard lock(wakeMutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
  StopThread();
  gViewOpen = 0;
  event->accept();
  emit closed();
}

ViewerWindow* OpenViewerWindow(QWidget* owner, int32_t pw, int32_t ph, PanoramaCopy panorama,
                               std::function<void()> playPause) {
  if (ViewerWindow::IsOpen() || pw < 2 || ph < 2) return nullptr;
  auto* viewer = new ViewerWindow(owner, pw, ph, std::move(panorama), std::move(playPause));
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->show();
  return viewer;
}

}  // namespace corvinex
