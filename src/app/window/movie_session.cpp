#include "app/window/movie_session.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <utility>

#include "app/window/command_ids.h"
#include "app/window/main_window.h"
#include "app/window/window_conversion_ui.h"
#include "convert/convert_movie.h"
#include "convert/encoder_command.h"
#include "convert/frame_source_feed.h"
#include "convert/hardware_probe.h"
#include "convert/logo_canvas.h"
#include "convert/movie_convert.h"
#include "media/media_probe.h"
#include "transform/cut_area.h"
#include "transform/lens_profile.h"
#include "transform/preview_refresh.h"
#include "transform/sharpen.h"

namespace corvinex {
MovieSession::MovieSession(MainWindow& window)
    : window_(window),
      audio_(std::make_unique<QtAudioOutput>()),
      stream_(*this, window.State().log, &window.State().StreamState) {
  stream_.source().SetAudioOutput(audio_.get());
}

MovieSession::~MovieSession() {
  CloseMovie();
  stream_.source().SetAudioOutput(nullptr);
}

void MovieSession::Provide(WindowServices& services) {
  services.openMovie = [this](MainWindow&, const std::string& path) { OpenMovie(path); };
  services.playPause = [this](MainWindow&, bool play) { PlayPause(play); };
  services.closeMovie = [this](MainWindow&) { CloseMovie(); };
  services.movieAtEnd = [this](MainWindow&) {
    FrameSource& source = stream_.source();
    return source.Duration() > 0 && source.Position() >= source.Duration();
  };
  services.stopForConversion = [this](MainWindow&) { StopForConversion(); };
  services.resumeMovie = [this](MainWindow&) { ResumeMovie(); };
  services.convertMovie = [this](MainWindow&, const std::string& output) { Convert(output); };
  services.refreshPreview = [this](MainWindow&) { stream_.RequestRefresh(); };
  if (services.chooseLogo) {
    // The preview shows the logo chosen as soon as the chooser closes.
    services.chooseLogo = [this, choose = services.chooseLogo](MainWindow& w) {
      choose(w);
      SetLogo(logo_);
      stream_.RequestRefresh();
    };
  }
  services.currentLogo = [this](MainWindow&) { return logo_; };
  services.shownPicture = [this](MainWindow&, FrameImage& picture) {
    return stream_.source().CopyCurrentFrame(picture);
  };
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

void MovieSession::SetLogo(const LogoState* logo) {
  logo_ = logo;
  {
    std::lock_guard<std::mutex> hold(logoMutex_);
    logoPresent_ = logo != nullptr && logo->present;
    if (logoPresent_) {
      logoImage_ = logo->image;
    } else {
      logoImage_.Reset(0, 0);
    }
  }
  ++logoGeneration_;
}

FrameImage* MovieSession::PreviewLogoCanvas(int32_t width, bool decoderRoute) {
  const uint64_t generation = logoGeneration_.load();
  if (generation != canvasGeneration_ || width != canvasWidth_ || decoderRoute != canvasRoute_) {
    canvasGeneration_ = generation;
    canvasWidth_ = width;
    canvasRoute_ = decoderRoute;
    std::lock_guard<std::mutex> hold(logoMutex_);
    if (!logoPresent_ ||
        !PrepareLogoFrame(logoImage_, width, decoderRoute, previewCanvas_, previewScaled_)) {
      previewCanvas_.Reset(0, 0);
    }
  }
  return previewCanvas_.width > 0 ? &previewCanvas_ : nullptr;
}

MovieInfo MovieSession::Info() const {
  std::lock_guard<std::mutex> hold(infoMutex_);
  return info_;
}

void MovieSession::CloseMovie() {
  stream_.RequestClose();
  // The load thread may be waiting for the window (a transcoding dialog or a message
  // box), so events are served while it ends; the request is repeated because a
  // finished transcoding leaves StreamState at 1.
  while (!loaderDone_) {
    stream_.RequestClose();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (loader_.joinable()) loader_.join();
  stream_.source().Close();
  window_.Flags().movieOpen = 0;
}

void MovieSession::OpenMovie(const std::string& path, int64_t startAt) {
  CloseMovie();
  // The closed stream's caption request must not land on the new movie's frame.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  startAt_ = startAt;
  window_.State().StreamState = 2;
  loaderDone_ = false;
  loader_ = std::thread([this, path] {
    Load(path);
    loaderDone_ = true;
  });
}

void MovieSession::Load(const std::string& path) {
  ProgramState& state = window_.State();
  // Kept settings that may lead the conversion to hardware: the encoders' test encodes
  // run meanwhile, so the conversion does not wait for them.
  if (WantsHardwareProbe(state.options.CODEC, state.options.ENCODER)) {
    StartHardwareProbe(EncoderToolPath(state.paths.programFolder));
  }
  probe_ = {};
  ProbeMovie(EncoderToolPath(state.paths.programFolder), path,
             std::filesystem::path(state.settings.APATH) / "probe.txt", probe_);
  stream_.OS_ASPECT = state.settings.ASPECT;
  stream_.paused = 0;
  window_.Flags().paused = 0;
  stream_.OpenMovie(path, probe_.probeText);
  window_.Flags().movieOpen = 0;
}

void MovieSession::ShowStreamError(const std::string& text) {
  window_.State().log.LogLine("Movie cannot be opened: " + text);
  QMetaObject::invokeMethod(&window_, [this, text] {
    QMessageBox::information(&window_, "Error Monitoring", QString::fromStdString(text));
  });
}

void MovieSession::ShowFatalMovieError(const std::string& text) {
  QMetaObject::invokeMethod(&window_, [this, text] {
    QMessageBox::critical(&window_, "Error", QString::fromStdString(text));
  });
}

std::optional<std::filesystem::path> MovieSession::TranscodeToTempAvi(
    const std::filesystem::path& movie) {
  // The "Movie Conversion" dialog belongs to the window's thread; CloseMovie serves
  // events while it waits for this thread, so the blocking call cannot deadlock.
  std::optional<std::filesystem::path> copy;
  QMetaObject::invokeMethod(
      &window_,
      [this, &movie, &copy] {
        ProgramState& state = window_.State();
        WindowConversionUi ui(window_);
        const std::string output = corvinex::TranscodeToTempAvi(
            movie.string(), state.settings.APATH, EncoderToolPath(state.paths.programFolder), ui,
            state.StreamState);
        std::error_code ec;
        if (!output.empty() && std::filesystem::file_size(output, ec) > 0 && !ec) copy = output;
      },
      Qt::BlockingQueuedConnection);
  return copy;
}

void MovieSession::ShowMovieLabels(const MovieLabels& labels) {
  ProgramState& state = window_.State();
  WindowState& flags = window_.Flags();
  const MovieInfo info = stream_.info();
  {
    std::lock_guard<std::mutex> hold(infoMutex_);
    info_ = info;
  }
  {
    std::lock_guard<std::mutex> hold(flags.textMutex);
    flags.moviePath = stream_.currentMovie();
    flags.movieInformation = probe_.probeText;
    flags.probeLines = {probe_.probeText, probe_.fileLine, probe_.videoLine, probe_.soundLine};
  }
  flags.frameWidth = info.width;
  flags.frameHeight = info.height;
  flags.movieOpen = 1;
  state.movieLoaded = 1;
  window_.SetLabelText(303, QString::fromStdString(labels.videoFile));
  window_.SetLabelText(304, QString::fromStdString(labels.frameSize));
  window_.SetLabelText(305, QString::fromStdString(labels.frameRate));
  window_.SetLabelText(306, QString::fromStdString(labels.frameCount));
  window_.SetLabelText(409, QString::fromStdString(labels.duration));
  geometryChanged_ = true;
  if (const int64_t at = startAt_.exchange(-1); at >= 0) PauseAt(at);
}

void MovieSession::PauseAt(int64_t position) {
  FrameSource& source = stream_.source();
  source.Pause();
  source.Seek(position);
  stream_.paused = 1;
  window_.Flags().paused = 1;
  stream_.RequestRefresh();
}

void MovieSession::SetPositionBar(int32_t width) {
  window_.SetPositionBarWidth(width);
}

void MovieSession::EnableMovieControls() {
  window_.Flags().cutAreaAdjustable = 1;
}

void MovieSession::RestorePreviewCaptions() {
  window_.Flags().movieOpen = 0;
  window_.Flags().viewerReady = 0;
  QMetaObject::invokeMethod(&window_, [this] { window_.ClearPreviews(); });
}

void MovieSession::PreviewRefresh() {
  WindowState& flags = window_.Flags();
  flags.previewRefreshBusy = 1;
  const ViewState view = window_.PublishedView();
  if (view.ring.X1 != cachedRing_.X1 || view.ring.Y1 != cachedRing_.Y1 ||
      view.ring.RSIZE != cachedRing_.RSIZE || view.shape != cachedShape_ || geometryChanged_ ||
      flags.cutAreaRedraw) {
    geometryChanged_ = false;
    flags.cutAreaRedraw = 0;
    const MovieInfo info = Info();
    std::lock_guard<std::mutex> hold(panoramaMutex_);
    geometry_ =
        PrepareUnwrapGeometry(info.width, info.height, view.ring, view.HSIZE,
                              GeometryVariant::Preview, buffers_, window_.State().log, view.shape);
    window_.SetLabelText(cmd::kGeometryValue, QString::fromStdString(GeometryLabelText(geometry_)));
    cachedRing_ = view.ring;
    cachedShape_ = view.shape;
  }
  stream_.OS_ASPECT = view.aspect;  // a tick of "Fix aspect ratio" shows at the next grab
  stream_.GrabCurrentFrame();
  const FrameImage& frame = stream_.currentFrame();
  if (frame.width > 0 && geometry_.W > 0) {
    FrameOptions options = view.frameOptions;
    options.flipMode = view.flipMode;
    bool adjusted = false;
    {
      // The viewer copies the panorama from its own thread.
      std::lock_guard<std::mutex> hold(panoramaMutex_);
      adjusted = RefreshPreviewFrame(frame, shownFrame_, geometry_, options, buffers_);
      panoramaFlipMode_ = options.flipMode;
    }
    flags.viewerReady = buffers_.tableValid ? 1 : 0;
    // The output as a run would write it, from this thread's own panorama (the viewer
    // only reads it). A paused movie has no previous frame of its own for the anaglyph.
    const bool layout = adjusted && view.showLayout &&
                        AssemblePreviewOutput(geometry_, buffers_.P1, options, stream_.paused != 0,
                                              PreviewLogoCanvas(geometry_.W, view.decoderRoute),
                                              previewOutput_, view.projection);
    PreviewScene scene;
    scene.output = layout ? &previewOutput_.picture : nullptr;
    // A frame that did not fit the geometry shows as grabbed, not an older adjusted one.
    scene.frame = adjusted ? &shownFrame_ : &frame;
    scene.panorama = &buffers_.P1;
    scene.panoramaWidth = geometry_.W;
    scene.turn = geometry_.turn;
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
  FrameSource& source = stream_.source();
  stream_.paused = play ? 0 : 1;
  if (!play) {
    source.Pause();
    return;
  }
  // At the end of the movie a new run starts from the beginning.
  if (source.Duration() > 0 && source.Position() >= source.Duration()) {
    source.Seek(0);
    window_.SetPositionBarWidth(1);
  }
  source.Play();
}

void MovieSession::StopForConversion() {
  // The run closes the movie at its end; the window brings it back here afterwards.
  const std::string current = stream_.currentMovie();
  std::error_code ec;
  resumePath_ = std::filesystem::is_regular_file(current, ec) ? current : Info().path;
  resumePosition_ = stream_.source().Position();
  stream_.source().Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stream_.source().Seek(0);
}

void MovieSession::Convert(const std::string& output) {
  ProgramState& state = window_.State();
  WindowState& flags = window_.Flags();
  const MovieInfo info = Info();
  WindowConversionUi ui(window_);
  FrameSourceFeed feed(stream_.source());
  state.stopFlag = 0;
  // The logo canvas is as wide as the run's panorama.
  FrameImage logoCanvas;
  const bool withLogo = logo_ != nullptr && logo_->present;
  if (withLogo) {
    PrepareLogoCanvas(logo_->image, info.width, info.height, state.settings, state.options,
                      logoCanvas);
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
                                      .canStep = info.canStep != 0,
                                      .pictureStart = info.pictureStart},
                            .graph = &feed,
                            .stopRequest = state.stopFlag,
                            .StreamState = state.StreamState,
                            .lensName = state.lensName,
                            .logoCanvas = withLogo ? &logoCanvas : nullptr};
  flags.conversionRunning = 1;
  stream_.conversionRunning = 1;
  const ConversionOutcome outcome = ConvertMovie(context, output);
  stream_.conversionRunning = 0;
  flags.conversionRunning = 0;
  state.stopFlag = 0;
  // A stopped run ends without a word otherwise; a user quitting needs none.
  if (outcome.status == ConversionStatus::Stopped && !window_.ClosePending()) {
    const std::string earlier = ui.EarlierOutput();
    std::error_code ec;
    const bool kept = !earlier.empty() && std::filesystem::is_regular_file(earlier, ec);
    ui.Message("Conversion stopped",
               kept ? "The conversion was stopped; this export was not written.\r\nThe movie "
                      "written before stays:\r\n" +
                          earlier
                    : std::string("The conversion was stopped. No movie was written."),
               MessageIcon::Information, false);
  }
}

void MovieSession::ResumeMovie() {
  if (resumePath_.empty()) return;
  const std::string path = std::exchange(resumePath_, {});
  const int64_t position = std::max<int64_t>(resumePosition_, 0);
  if (window_.State().StreamState == 1 && window_.Flags().movieOpen == 1 && !loaderDone_) {
    PauseAt(position);
  } else {
    OpenMovie(path, position);
  }
}

}  // namespace corvinex

namespace corvinex {

bool MovieSession::CopyPanorama(FrameImage& into) {
  std::lock_guard<std::mutex> hold(panoramaMutex_);
  const UnwrapGeometry& g = geometry_;
  if (buffers_.P1.width != g.W || into.width != g.W) return false;
  if (viewerLayout_.plan.equirect) {
    // The frame the conversion would write, so the viewer shows the sphere it gets.
    if (viewerLayout_.plan.view.height != into.height || viewerLayout_.plan.rows != g.outRows ||
        buffers_.P1.PixelCount() < static_cast<size_t>(g.W) * static_cast<size_t>(g.H + 1)) {
      return false;
    }
    AssembleProjectedView(g, buffers_.P1, panoramaFlipMode_, viewerLayout_, into.Bytes());
    return true;
  }
  if (g.outRows != into.height) return false;
  // The output's rows of P1, bottom-up like the viewer's.
  const int32_t first = FirstPanoramaRow(g, panoramaFlipMode_);
  for (int32_t row = 0; row < g.outRows; ++row) {
    const uint32_t* from = buffers_.P1.Row(first + row);
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
    // A horizon this Cut Area cannot follow shows the strip; the conversion refuses it.
    ProjectionOptions options = ProjectionOptionsFrom(window_.State().options);
    if (!PlanProjection(geometry_, options, nullptr).problem.empty()) options.horizon = 0;
    PrepareOutputLayout(geometry_, options, nullptr, viewerLayout_);
    if (viewerLayout_.plan.equirect) ph = viewerLayout_.plan.view.height;
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
  // The viewer shows the panorama of the current Cut Area: the Cut Area stays put
  // and the main window's previews rest while it is open.
  WindowState& flags = w.Flags();
  flags.viewerOpen = 1;
  flags.cutAreaAdjustable = 0;
  flags.panoramaPreviewEnabled = 0;
  w.SetCutAreaButtonsEnabled(false);
  QObject::connect(viewer, &ViewerWindow::closed, &w, [&w] {
    WindowState& closedFlags = w.Flags();
    closedFlags.viewerOpen = 0;
    closedFlags.panoramaPreviewEnabled = 1;
    if (closedFlags.conversionRunning == 0) closedFlags.cutAreaAdjustable = 1;
    w.SetCutAreaButtonsEnabled(true);
    w.PublishView();  // redraw both previews now
  });
}

}  // namespace corvinex
