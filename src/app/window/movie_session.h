#pragma once
// The open movie behind the main window: the movie stream (frame source and the
// stream loop that refreshes the previews) on a load thread of its own, and the
// conversion run. It supplies the window's movie services and is the stream's host.

#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/window/qt_audio_output.h"
#include "app/window/window_services.h"
#include "media/frame_source.h"
#include "media/media_probe.h"
#include "media/movie_info.h"
#include "media/movie_stream.h"
#include "transform/logo_frame.h"
#include "transform/output_projection.h"
#include "transform/preview_output.h"
#include "transform/unwrap_geometry.h"
#include "view/viewer_window.h"

namespace corvinex {

class MainWindow;

class MovieSession : private StreamHost {
 public:
  explicit MovieSession(MainWindow& window);
  ~MovieSession() override;
  MovieSession(const MovieSession&) = delete;
  MovieSession& operator=(const MovieSession&) = delete;

  // Fills the movie members of `services` (open, play/pause, stop, convert).
  void Provide(WindowServices& services);

  // Opens `path` and starts the stream loop; a loop still running ends first. With
  // `startAt` (100-ns units) the movie rests paused there instead of playing.
  void OpenMovie(const std::string& path, int64_t startAt = -1);
  // Ends the stream loop and closes the movie. Events are served meanwhile, since the
  // load thread may be waiting for the window (a transcoding dialog, a message).
  void CloseMovie();
  void PlayPause(bool play);
  // Remembers the movie and its place, then stops it at the start for a conversion.
  void StopForConversion();
  void Convert(const std::string& output);
  // The movie StopForConversion remembered, back at its place (reopened if closed).
  void ResumeMovie();
  // The logo the user chose (owned by the caller); its canvas goes under the
  // panorama of every converted frame. GUI thread; call again whenever it changes
  // (Provide's logo chooser does), since the preview works on its own copy.
  void SetLogo(const LogoState* logo);
  // Opens the 360 viewer on the preview's panorama.
  void StartViewer(MainWindow& w);

  FrameSource& Source() { return stream_.source(); }
  QtAudioOutput& Audio() { return *audio_; }
  MovieInfo Info() const;

 private:
  void Load(const std::string& path);
  // StreamHost: called on the load thread.
  void ShowStreamError(const std::string& text) override;
  void ShowFatalMovieError(const std::string& text) override;
  std::optional<std::filesystem::path> TranscodeToTempAvi(
      const std::filesystem::path& movie) override;
  void ShowMovieLabels(const MovieLabels& labels) override;
  void SetPositionBar(int32_t width) override;
  void PreviewRefresh() override;
  void RestorePreviewCaptions() override;
  void EnableMovieControls() override;
  void InvalidateUnwrapCache() override { geometryChanged_ = true; }

  // Rests the open movie paused at `position`, from any thread.
  void PauseAt(int64_t position);
  // The logo canvas for a preview panorama `width` wide, or null without a logo; load
  // thread.
  FrameImage* PreviewLogoCanvas(int32_t width, bool decoderRoute);

  MainWindow& window_;
  std::unique_ptr<QtAudioOutput> audio_;  // outlives the stream, which plays into it
  MovieStream stream_;
  mutable std::mutex infoMutex_;
  MovieInfo info_;
  std::thread loader_;
  std::atomic<bool> loaderDone_{true};
  // Owned by the load thread while it runs.
  ProbeTexts probe_;
  UnwrapBuffers buffers_;
  FrameImage shownFrame_;  // the grabbed doughnut with the output's adjustments
  const LogoState* logo_ = nullptr;
  // The preview's copy of the logo: the chooser changes the user's on the GUI thread
  // while the load thread draws.
  std::mutex logoMutex_;
  FrameImage logoImage_;
  bool logoPresent_ = false;
  std::atomic<uint64_t> logoGeneration_{0};
  // The preview's output picture and the logo canvas it was made with (load thread).
  PreviewOutput previewOutput_;
  FrameImage previewCanvas_;
  FrameImage previewScaled_;
  uint64_t canvasGeneration_ = ~uint64_t{0};
  int32_t canvasWidth_ = -1;
  bool canvasRoute_ = false;
  bool CopyPanorama(FrameImage& into);
  std::mutex panoramaMutex_;  // geometry_ and buffers_.P1, shared with the viewer
  QPointer<ViewerWindow> viewer_;
  UnwrapGeometry geometry_;
  int32_t panoramaFlipMode_ = 0;  // the flips P1 was unwrapped with
  // The viewer's picture: the strip rows, or the 2:1 frame the output would have.
  OutputLayout viewerLayout_;
  RingGeometry cachedRing_{};
  PanoramaShape cachedShape_{};
  bool geometryChanged_ = true;
  // Where a movie opened by ResumeMovie rests once open; -1 for a plain open.
  std::atomic<int64_t> startAt_{-1};
  // What StopForConversion remembered (GUI thread).
  std::string resumePath_;
  int64_t resumePosition_ = -1;
};

}  // namespace corvinex
