#pragma once
// The open movie behind the main window: the frame source, the stream loop that
// refreshes the previews on a thread of its own, and the conversion run. It
// supplies the window's movie services.

#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/window/window_services.h"
#include "media/frame_source.h"
#include "media/movie_info.h"
#include "transform/logo_frame.h"
#include "transform/unwrap_geometry.h"
#include "view/viewer_window.h"

namespace corvinex {

class MainWindow;

class MovieSession {
 public:
  explicit MovieSession(MainWindow& window);
  ~MovieSession();
  MovieSession(const MovieSession&) = delete;
  MovieSession& operator=(const MovieSession&) = delete;

  // Fills the movie members of `services` (open, play/pause, stop, convert).
  void Provide(WindowServices& services);

  // Opens `path` and starts the stream loop; a loop still running ends first.
  void OpenMovie(const std::string& path);
  // Ends the stream loop and closes the movie.
  void CloseMovie();
  void PlayPause(bool play);
  void StopForConversion();
  void Convert(const std::string& output);
  // The logo the user chose (owned by the caller); its canvas goes under the
  // panorama of every converted frame.
  void SetLogo(const LogoState* logo) { logo_ = logo; }
  // Opens the 360 viewer on the preview's panorama.
  void StartViewer(MainWindow& w);

  FrameSource& Source() { return source_; }
  MovieInfo Info() const;

 private:
  void StreamLoop(std::string path);
  bool OpenOnStreamThread(const std::string& path);
  void PreviewRefresh();

  MainWindow& window_;
  FrameSource source_;
  mutable std::mutex infoMutex_;
  MovieInfo info_;
  std::thread stream_;
  // Owned by the stream thread while it runs.
  FrameImage frame_;
  UnwrapBuffers buffers_;
  const LogoState* logo_ = nullptr;
  bool CopyPanorama(FrameImage& into);
  std::mutex panoramaMutex_;  // geometry_ and buffers_.P1, shared with the viewer
  QPointer<ViewerWindow> viewer_;
  UnwrapGeometry geometry_;
  RingGeometry cachedRing_{};
  bool geometryChanged_ = true;
};

}  // namespace corvinex
