#include "app/window/movie_session.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <chrono>
#include <cmath>

#include "app/window/command_ids.h"
#include "app/window/main_window.h"
#include "app/window/window_conversion_ui.h"
#include "convert/convert_movie.h"
#include "convert/encoder_command.h"
#include "convert/frame_source_feed.h"
#include "convert/movie_convert.h"
#include "media/media_probe.h"
#include "transform/cut_area.h"
#include "transform/lens_profile.h"
#include "transform/sharpen.h"

namespace corvinex {
namespace {

constexpr auto kStreamPass = std::chrono::milliseconds(40);

}  // namespace

MovieSession::MovieSession(MainWindow& window) : window_(window) {}

MovieSession::~MovieSession() {
  CloseMovie();
}

void MovieSession::Provide(WindowServices& services) {
  services.openMovie = [this](MainWindow&, const std::string& path) { OpenMovie(path); };
  services.playPause = [this](MainWindow&, bool play) { PlayPause(play); };
  services.stopForConversion = [this](MainWindow&) { StopForConversion(); };
  services.convertMovie = [this](MainWindow&, const std::string& output) { Convert(output); };
  services.startViewer = [this](MainWindow& w) { StartViewer(w); };
  services.closeViewer = [this](MainWindow&) {
    if (viewer_) viewer_->close();
  };
  services.transcodeMovie = [this](MainWindow& w, const std::string& input,
                                   const std::string& output) {
    WindowConversionUi ui(w);
    const MovieConvertResult result = MovieConvert(
        {EncoderToolPath(w.State().paths.programFolder), input, output}, ui, w.State().StreamState);
    // The tool's failure used to pass without a word.
    if (!result.outputWritten) {
      const std::string reason = result.encoder.errorLine.empty()
                                     ? std::string("The encoder wrote no output movie.")
                                     : result.encoder.errorLine;
      ui.Message("Error Monitoring", "The movie could not be converted:\r\n" + reason,
                 MessageIcon::Stop, false);
    }
  };
}

MovieInfo MovieSession::Info() const {
  std::lock_guard<std::mutex> hold(infoMutex_);
  return info_;
}

void MovieSession::CloseMovie() {
  window_.State().StreamState = 0;
  if (stream_.joinable()) stream_.join();
  source_.Close();
  window_.Flags().movieOpen = 0;
}

void MovieSession::OpenMovie(const std::string& path) {
  CloseMovie();
  window_.State().StreamState = 2;
  stream_ = std::thread([this, path] { StreamLoop(path); });
}

bool MovieSession::OpenOnStreamThread(const std::string& path) {
  ProgramState& state = window_.State();
  WindowState& flags = window_.Flags();
  ProbeTexts probe;
  const std::filesystem::path tool = EncoderToolPath(state.paths.programFolder);
  ProbeMovie(tool, path, std::filesystem::path(state.settings.APATH) / "probe.txt", probe);
  MovieInfo info;
  const OpenResult opened = source_.Open(path, info);
  if (!opened.ok()) {
    state.log.LogLine("Movie cannot be opened: " + path + " " + opened.detail);
    QMetaObject::invokeMethod(&window_, [this] {
      QMessageBox::warning(&window_, "Error", "The movie cannot be opened.");
    });
    return false;
  }
  info.timePerFrame = TimePerFrameFrom(probe.probeText, source_.AverageTimePerFrame());
  info.frameCount = FrameCountFrom(info.duration, info.timePerFrame);
  {
    std::lock_guard<std::mutex> hold(infoMutex_);
    info_ = info;
  }
  {
    std::lock_guard<std::mutex> hold(flags.textMutex);
    flags.moviePath = path;
    flags.movieInformation = probe.probeText;
    flags.probeLines = {probe.probeText, probe.fileLine, probe.videoLine, probe.soundLine};
  }
  flags.frameWidth = info.width;
  flags.frameHeight = info.height;
  flags.movieOpen = 1;
  flags.cutAreaAdjustable = 1;
  state.movieLoaded = 1;
  window_.SetLabelText(303, QString::fromStdString(VideoFileLabel(path)));
  window_.SetLabelText(304, QString::fromStdString(FrameSizeLabel(info)));
  window_.SetLabelText(305, QString::fromStdString(FrameRateLabel(info)));
  window_.SetLabelText(306, QString::fromStdString(FrameCountLabel(info)));
  window_.SetLabelText(409, QString::fromStdString(DurationText(info.durationSeconds)));
  geometryChanged_ = true;
  return true;
}

void MovieSession::StreamLoop(std::string path) {
  ProgramState& state = window_.State();
  if (!OpenOnStreamThread(path)) {
    state.StreamState = 0;
    window_.Flags().movieOpen = 0;
    return;
  }
  state.StreamState = 1;
  while (state.StreamState != 0) {
    const int64_t duration = source_.Duration();
    if (duration > 0) {
      window_.SetPositionBarWidth(static_cast<int32_t>(
          std::lround(598.0 * static_cast<double>(source_.Position()) / duration)));
    }
    if (!window_.Flags().conversionRunning) PreviewRefresh();
    std::this_thread::sleep_for(kStreamPass);
  }
  window_.Flags().movieOpen = 0;
}

void MovieSession::PreviewRefresh() {
  WindowState& flags = window_.Flags();
  flags.previewRefreshBusy = 1;
  const ViewState view = window_.PublishedView();
  if (view.ring.X1 != cachedRing_.X1 || view.ring.Y1 != cachedRing_.Y1 ||
      view.ring.RSIZE != cachedRing_.RSIZE || geometryChanged_ || flags.cutAreaRedraw) {
    geometryChanged_ = false;
    flags.cutAreaRedraw = 0;
    const MovieInfo info = Info();
    std::lock_guard<std::mutex> hold(panoramaMutex_);
    geometry_ = PrepareUnwrapGeometry(info.width, info.height, view.ring, view.HSIZE,
                                      GeometryVariant::Preview, buffers_, window_.State().log);
    window_.SetLabelText(cmd::kGeometryValue, QString::fromStdString(GeometryLabelText(geometry_)));
    cachedRing_ = view.ring;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (source_.CopyCurrentFrame(frame_) && geometry_.W > 0) {
    {
      // The viewer copies the panorama from its own thread.
      std::lock_guard<std::mutex> hold(panoramaMutex_);
      UnwrapFast(geometry_, view.flipMode, frame_, buffers_);
    }
    flags.viewerReady = buffers_.tableValid ? 1 : 0;
    PreviewScene scene;
    scene.frame = &frame_;
    scene.panorama = &buffers_.P1;
    scene.panoramaWidth = geometry_.W;
    scene.panoramaRows = geometry_.outRows;
    scene.cutRows = geometry_.cutRows;
    scene.flipVertical = (view.flipMode & 2) != 0;
    scene.ring = view.ring;
    {
      std::lock_guard<std::mutex> hold(flags.textMutex);
      scene.probeLines = flags.probeLines;
    }
    scene.panoramaEnabled = flags.panoramaPreviewEnabled != 0;
    scene.cutAreaEnabled = flags.cutAreaAdjustable != 0;
    window_.DrawPreview(scene);
  }
  flags.previewRefreshBusy = 0;
}

void MovieSession::PlayPause(bool play) {
  if (!play) {
    source_.Pause();
    return;
  }
  // At the end of the movie a new run starts from the beginning.
  if (source_.Duration() > 0 && source_.Position() >= source_.Duration()) {
    source_.Seek(0);
    window_.SetPositionBarWidth(1);
  }
  source_.Play();
}

void MovieSession::StopForConversion() {
  source_.Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  source_.Seek(0);
}

void MovieSession::Convert(const std::string& output) {
  ProgramState& state = window_.State();
  WindowState& flags = window_.Flags();
  const MovieInfo info = Info();
  WindowConversionUi ui(window_);
  FrameSourceFeed feed(source_);
  state.stopFlag = 0;
  // The logo canvas is as wide as the run's panorama.
  FrameImage logoCanvas;
  const bool withLogo = logo_ != nullptr && logo_->present;
  if (withLogo) {
    const UnwrapGeometry g = ComputeUnwrapGeometry(
        info.width, info.height, RingFromSettings(state.settings), state.settings.HSIZE);
    PrepareLogoFrame(logo_->image, g.W, DecoderRoute(state.settings), logoCanvas);
  }
  ConversionContext context{.settings = state.settings,
                            .options = state.options,
                            .log = state.log,
                            .ui = ui,
                            .tempFolder = state.settings.APATH,
                            .encoderTool = EncoderToolPath(state.paths.programFolder),
                            .input = {.moviePath = info.path,
                                      .width = info.width,
                                      .height = info.height,
                                      .timePerFrame = info.timePerFrame,
                                      .frameCount = info.frameCount,
                                      .durationText = DurationText(info.durationSeconds),
                                      .movieOpen = flags.movieOpen != 0,
                                      .canStep = info.canStep != 0},
                            .graph = &feed,
                            .stopRequest = state.stopFlag,
                            .StreamState = state.StreamState,
                            .lensName = state.lensName,
                            .logoCanvas = withLogo ? &logoCanvas : nullptr};
  flags.conversionRunning = 1;
  ConvertMovie(context, output);
  flags.conversionRunning = 0;
  state.stopFlag = 0;
}

}  // namespace corvinex

namespace corvinex {

bool MovieSession::CopyPanorama(FrameImage& into) {
  std::lock_guard<std::mutex> hold(panoramaMutex_);
  const UnwrapGeometry& g = geometry_;
  if (g.W != into.width || g.outRows != into.height || buffers_.P1.width != g.W) return false;
  // The panorama's rows are cutRows .. H - 1 of P1, bottom-up like the viewer's.
  for (int32_t row = 0; row < g.outRows; ++row) {
    const uint32_t* from = buffers_.P1.Row(g.cutRows + row);
    std::copy(from, from + g.W, into.Row(row));
  }
  return true;
}

void MovieSession::StartViewer(MainWindow& w) {
  int32_t pw = 0;
  int32_t ph = 0;
  {
    std::lock_guard<std::mutex> hold(panoramaMutex_);
    pw = geometry_.W;
    ph = geometry_.outRows;
  }
  ViewerWindow* viewer = OpenViewerWindow(
      &w, pw, ph, [this](FrameImage& into) { return CopyPanorama(into); },
      [this, &w] {
        // The viewer's Play/Pause acts like the main window's.
        WindowState& flags = w.Flags();
        flags.paused = flags.paused != 0 ? 0 : 1;
        PlayPause(flags.paused == 0);
      });
  if (viewer == nullptr) return;
  viewer_ = viewer;
  w.Flags().viewerOpen = 1;
  QObject::connect(viewer, &ViewerWindow::closed, &w, [&w] { w.Flags().viewerOpen = 0; });
}

}  // namespace corvinex
