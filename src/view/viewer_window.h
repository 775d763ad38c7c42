#pragma once
// The "360 Video Viewer": a window of its own that shows the panorama through a
// perspective view the user turns by dragging, with the arrow keys or the buttons,
// and zooms with Shift and Ctrl. A render thread draws the frames.

#include <QImage>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "transform/frame_image.h"
#include "transform/view_projection.h"

namespace corvinex {

// Copies the current panorama (the size the viewer was opened with) into `into`;
// false when none is available. Called on the render thread: the owner of the
// panorama guards its own buffer.
using PanoramaCopy = std::function<bool(FrameImage& into)>;

class ViewArea;

class ViewerWindow : public QWidget {
  Q_OBJECT

 public:
  // Use OpenViewerWindow, which keeps to one viewer at a time.
  ViewerWindow(QWidget* owner, int32_t pw, int32_t ph, PanoramaCopy panorama,
               std::function<void()> playPause);
  ~ViewerWindow() override;

  // The state the next frame is drawn with (a copy).
  ViewerState State() const;
  // Frames drawn since the window opened.
  int64_t FramesDrawn() const { return framesDrawn_.load(); }
  // The last frame as shown (640 x 388 or the reduced size).
  QImage LastFrame() const;

  // Input, as the view area and the buttons deliver it.
  void PressKey(ViewKey key);
  void StopMotionNow();
  void PointerPressed(int x, int y);
  void PointerMoved(int x, int y, bool leftButtonOnly);
  void PointerReleased();

  // The window is open while an instance exists and has not been closed.
  static bool IsOpen();

 signals:
  // After the window closed and its thread ended.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void RenderLoop();
  void StopThread();
  void PlayPause();

  ViewArea* area_ = nullptr;
  PanoramaCopy panorama_;
  std::function<void()> playPause_;
  ViewProjection projection_;
  FrameImage source_;
  FrameImage view_;

  mutable std::mutex stateMutex_;
  ViewerState state_;

  mutable std::mutex imageMutex_;
  QImage shown_;

  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<int64_t> framesDrawn_{0};
  std::thread thread_;
};

// Opens the viewer for a pw x ph panorama, owned by `owner` and deleted when closed.
// Returns nullptr, doing nothing, when a viewer is already open or the panorama is
// too small to view.
ViewerWindow* OpenViewerWindow(QWidget* owner, int32_t pw, int32_t ph, PanoramaCopy panorama,
                               std::function<void()> playPause);

}  // namespace corvinex
