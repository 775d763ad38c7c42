#pragma once
// The open movie as the program sees it: OpenMovie and RunStream with their
// flags, log lines, labels and error messages, around a FrameSource. The stream
// loop runs on the load thread until a command sets StreamState to 0; the window
// (or the batch tool, or a test) reaches the user through StreamHost.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "media/frame_source.h"
#include "media/movie_info.h"
#include "transform/frame_image.h"

namespace corvinex {

class DiagnosticLog;

// RunStream's return value that asks OpenMovie for a re-encoded copy of the movie.
inline constexpr int32_t kStreamNeedsTranscode = 100;

inline constexpr const char* kUnsupportedMediaText = "Unsupported media type!";
inline constexpr const char* kAddSourceFileText = "AddSourceFile Error";
inline constexpr const char* kFormatNotSupportedText =
    "Format of the file is not support.\r\nOr - File can be open by another app.";
inline constexpr const char* kNoSupportAfterTranscodeText =
    "Format of video file is not have support\ror file is damaged";

enum class StreamStatus { Buffering, StreamOn, StreamOff };

// The label texts of an opened movie (controls 303, 304, 305, 306, 409).
struct MovieLabels {
  std::string videoFile, frameSize, frameRate, frameCount, duration;
};

class StreamHost {
 public:
  virtual ~StreamHost() = default;
  // Box captioned "Error Monitoring" with the information icon.
  virtual void ShowStreamError(const std::string& text) = 0;
  // Box captioned "Error" with the stop icon.
  virtual void ShowFatalMovieError(const std::string& text) = 0;
  // Converts a movie the libraries could not use into an AVI in the temporary folder;
  // returns its path, or nothing when no converter is available.
  virtual std::optional<std::filesystem::path> TranscodeToTempAvi(
      const std::filesystem::path& movie) = 0;
  virtual void ShowStatus(StreamStatus) {}
  virtual void ShowMovieLabels(const MovieLabels&) {}
  virtual void SetPositionBar(int32_t /*width*/) {}  // of 598
  virtual void PreviewRefresh() {}                   // unwrap and draw the current frame
  virtual void RestorePreviewCaptions() {}
  virtual void EnableMovieControls() {}    // Cut Area buttons and the main preview
  virtual void InvalidateUnwrapCache() {}  // the unwrap's coordinate cache
};

class MovieStream {
 public:
  // `sharedStreamState`, when given, is the program's own StreamState, which the
  // window's commands set to end the stream loop.
  MovieStream(StreamHost& host, DiagnosticLog& log,
              std::atomic<int32_t>* sharedStreamState = nullptr);
  ~MovieStream();

 private:
  std::atomic<int32_t> ownStreamState_{0};

 public:
  // Flags shared with the commands (written by one thread, read by another).
  std::atomic<int32_t>& StreamState;  // 0 none or close requested, 2 opening/closing, 1 on
  std::atomic<int32_t> graphBusy{0};
  std::atomic<int32_t> paused{0};
  std::atomic<int32_t> conversionRunning{0};
  std::atomic<int32_t> refreshRequest{0};
  std::atomic<int32_t> geometryChanged{0};
  std::atomic<int32_t> movieOpen{0};
  std::atomic<int32_t> movieLoaded{0};
  std::atomic<int32_t> streamSeen{0};
  std::atomic<int32_t> OS_ASPECT{0};

  // Closes the open movie and opens `path`, staying in its stream loop until the
  // stream is closed. `probeText` is the media probe's report of the movie.
  void OpenMovie(const std::filesystem::path& path, const std::string& probeText);
  // Builds the stream, runs the loop, closes; 0, or kStreamNeedsTranscode.
  int32_t RunStream(const std::filesystem::path& path, const std::string& probeText);

  // Asks the stream loop to end (StreamState 0) and wakes it.
  void RequestClose();
  // Asks for one preview refresh while paused.
  void RequestRefresh();
  // The Play/Pause command: at the end of the movie, play restarts from the start.
  void TogglePlayPause();
  // Blocks until no stream holds the decoder, at most `limit`.
  bool WaitUntilClosed(std::chrono::milliseconds limit);

  // Copies the last decoded frame into the current frame; with OS_ASPECT on, the
  // middle of each row is stretched to the full width (the preview's factor).
  void GrabCurrentFrame();

  FrameSource& source() { return source_; }
  // Stable from StreamState 1 until the stream closes.
  const MovieInfo& info() const { return info_; }
  // The position the stream loop last read (or set), 100-ns units.
  int64_t currentPosition() const { return currentPosition_; }
  const std::string& currentMovie() const { return currentMovie_; }
  FrameImage& currentFrame() { return currentFrame_; }

 private:
  void Wake();
  // Sleeps up to `ms`, waking early when a command changes the stream's flags.
  void Rest(std::chrono::milliseconds ms);
  void Fail(const std::string& text);
  void CloseStream();
  int32_t PositionBarWidth();

  StreamHost& host_;
  DiagnosticLog& log_;
  FrameSource source_;
  MovieInfo info_;
  std::atomic<int64_t> currentPosition_{0};
  std::string currentMovie_;
  FrameImage currentFrame_;
  FrameImage grab_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t wakeups_ = 0;
};

}  // namespace corvinex
