#include "media/movie_stream.h"

#include <cmath>

#include "settings/diagnostic_log.h"
#include "transform/pixel_ratio_fix.h"

namespace corvinex {

namespace {
constexpr auto kPlayingPass = std::chrono::milliseconds(50);
constexpr auto kConvertingPass = std::chrono::milliseconds(100);
constexpr int kPausedPassesPerRefresh = 100;
constexpr auto kConversionGrace = std::chrono::milliseconds(500);
constexpr auto kCloseWait = std::chrono::seconds(10);
}  // namespace

MovieStream::MovieStream(StreamHost& host, DiagnosticLog& log,
                         std::atomic<int32_t>* sharedStreamState)
    : StreamState(sharedStreamState != nullptr ? *sharedStreamState : ownStreamState_),
      host_(host),
      log_(log) {}

MovieStream::~MovieStream() {
  RequestClose();
  source_.Close();
}

void MovieStream::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++wakeups_;
  }
  changed_.notify_all();
}

void MovieStream::Rest(std::chrono::milliseconds ms) {
  std::unique_lock lock(mutex_);
  const uint64_t seen = wakeups_;
  changed_.wait_for(lock, ms, [&] { return wakeups_ != seen; });
}

void MovieStream::RequestClose() {
  StreamState = 0;
  Wake();
}

void MovieStream::RequestRefresh() {
  refreshRequest = 1;
  Wake();
}

bool MovieStream::WaitUntilClosed(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return graphBusy == 0; });
}

int32_t MovieStream::PositionBarWidth() {
  if (info_.duration <= 0) return 1;
  const double width =
      std::nearbyint(598.0 * static_cast<double>(currentPosition_.load()) / info_.duration);
  return static_cast<int32_t>(std::clamp(width, 1.0, 598.0));
}

void MovieStream::TogglePlayPause() {
  paused = paused == 0 ? 1 : 0;
  if (paused == 0) {
    if (source_.IsOpen() && source_.Position() >= source_.Duration()) {
      currentPosition_ = 0;
      host_.SetPositionBar(1);
      source_.Seek(0);
    }
    source_.Play();
  } else {
    source_.Pause();
  }
  Wake();
}

void MovieStream::GrabCurrentFrame() {
  if (OS_ASPECT == 0) {
    source_.CopyCurrentFrame(currentFrame_);  // a failed copy leaves the frame as it was
    return;
  }
  if (!source_.CopyCurrentFrame(grab_)) return;
  if (currentFrame_.width != grab_.width || currentFrame_.height != grab_.height) {
    currentFrame_.Reset(grab_.width, grab_.height);
  }
  FixAspect(grab_.pixels.data(), grab_.PixelCount(), currentFrame_, kAspectPreviewFactor);
}

void MovieStream::OpenMovie(const std::filesystem::path& path, const std::string& probeText) {
  host_.EnableMovieControls();
  StreamState = 2;
  movieLoaded = 1;
  // Ends the loop of a movie still open; its load thread releases the decoder. Waiting
  // for that (rather than sleeping a second and hoping) makes sure the new movie is
  // not refused because the old one still held the decoder.
  RequestClose();
  WaitUntilClosed(kCloseWait);
  currentMovie_ = path.string();
  movieOpen = 1;
  int32_t rc = RunStream(path, probeText);
  if (rc == kStreamNeedsTranscode) {
    const auto copy = host_.TranscodeToTempAvi(path);
    if (copy) {
      currentMovie_ = copy->string();
      rc = RunStream(*copy, probeText);
    }
    if (!copy || rc == kStreamNeedsTranscode)
      host_.ShowFatalMovieError(kNoSupportAfterTranscodeText);
  }
  StreamState = 1;
  StreamState = 0;
}

void MovieStream::Fail(const std::string& text) {
  host_.ShowStreamError(text);
  CloseStream();
}

void MovieStream::CloseStream() {
  // A conversion still pushing frames gets a moment to notice the end.
  const auto until = std::chrono::steady_clock::now() + kConversionGrace;
  while (conversionRunning != 0 && std::chrono::steady_clock::now() < until) {
    Rest(std::chrono::milliseconds(10));
  }
  source_.Close();
  graphBusy = 0;
  movieOpen = 0;
  host_.RestorePreviewCaptions();
  log_.LogLine("File exit Ok");
  host_.ShowStatus(StreamStatus::StreamOff);
  host_.SetPositionBar(1);
  log_.LogLine("File exit Final");
  Wake();
}

int32_t MovieStream::RunStream(const std::filesystem::path& path, const std::string& probeText) {
  int32_t idle = 0;
  if (graphBusy.exchange(1) == 1) return 0;
  geometryChanged = 1;
  host_.InvalidateUnwrapCache();
  host_.ShowStatus(StreamStatus::Buffering);
  host_.SetPositionBar(1);

  const std::filesystem::path movie = TrimPathText(path.string());
  std::error_code ec;
  if (!std::filesystem::is_regular_file(movie, ec)) {
    Fail(kAddSourceFileText);
    return 0;
  }
  MovieInfo opened;
  const OpenResult result = source_.Open(movie, opened);
  if (result.status == OpenStatus::NoVideo) {
    Fail(kUnsupportedMediaText);
    return 0;
  }
  log_.LogLine("OS_ASPECT = " + std::to_string(OS_ASPECT.load()));
  log_.LogLine("Render file: " + movie.string());
  if (result.status == OpenStatus::Unreadable) {
    Fail(kFormatNotSupportedText);
    return 0;
  }
  if (result.status == OpenStatus::NeedsTranscode) {
    CloseStream();
    return kStreamNeedsTranscode;
  }
  info_ = opened;
  log_.LogLine("Video File Duration = " + LogNumber(info_.durationSeconds));
  if (conversionRunning == 0) source_.Play();
  StreamState = 2;
  info_.timePerFrame = TimePerFrameFrom(probeText, source_.AverageTimePerFrame());
  info_.frameCount = FrameCountFrom(info_.duration, info_.timePerFrame);
  log_.LogLine("Frame Size = " + FrameSizeLabel(info_));
  log_.LogLine("getTimePerFrame = " +
               LogNumber(static_cast<double>(info_.timePerFrame) / kUnitsPerSecond));
  log_.LogLine("FPS = " + FrameRateText(info_.timePerFrame));
  log_.LogLine("numframes = " + std::to_string(info_.frameCount));
  currentFrame_.Reset(info_.width, info_.height);
  grab_.Reset(info_.width, info_.height);
  host_.ShowMovieLabels({VideoFileLabel(movie.string()), FrameSizeLabel(info_),
                         FrameRateLabel(info_), FrameCountLabel(info_),
                         DurationText(info_.durationSeconds)});
  host_.ShowStatus(StreamStatus::StreamOn);
  streamSeen = 1;
  StreamState = 1;
  Wake();

  while (StreamState != 0) {
    if (conversionRunning == 0) {
      if (paused == 0) {
        host_.PreviewRefresh();
      } else if (++idle > kPausedPassesPerRefresh) {
        idle = 0;
        host_.PreviewRefresh();
      } else if (refreshRequest.exchange(0) == 1) {
        host_.PreviewRefresh();
      }
      currentPosition_ = source_.Position();
      host_.SetPositionBar(PositionBarWidth());
      Rest(kPlayingPass);
    } else {
      Rest(kConvertingPass);
    }
  }
  source_.Pause();
  CloseStream();
  return 0;
}

}  // namespace corvinex
