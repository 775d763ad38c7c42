#pragma once
// One open movie decoded by the FFmpeg libraries on a thread of its own.
//
// Frames come out as FrameImage bytes: blue, green, red, unused; rows bottom-up;
// the movie's native size. Two ways to take them:
//  - pull (preview): the movie plays against a media clock; CopyCurrentFrame gives
//    the frame due at the clock's position;
//  - push (conversion): with a frame callback installed, every frame from the
//    current position on is handed to the callback exactly once, in order, as fast
//    as the callback returns; then the end-of-movie event.
// Times are 100-ns units counted from the start of the movie.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/movie_info.h"
#include "transform/frame_image.h"

namespace corvinex {

class AudioOutput;

enum class OpenStatus {
  Ok,
  NoVideo,        // the file has no picture to show
  Unreadable,     // the libraries cannot read the file
  NeedsTranscode  // readable, but its timing is unusable; a re-encoded copy may work
};

struct OpenResult {
  OpenStatus status = OpenStatus::Unreadable;
  std::string detail;  // the libraries' own reason, for the log
  bool ok() const { return status == OpenStatus::Ok; }
};

// One decoded frame (the movie's size, bottom-up BGRX) and its start. The frame is the
// decoder's own buffer: the callback may read it, or keep its pixels by swapping them
// for a vector of the same size, into which the next frame is then converted.
using FrameCallback = std::function<void(FrameImage& frame, int64_t sampleTime)>;

class FrameSource {
 public:
  FrameSource();
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // Opens the movie paused at its first frame (which is decoded before this returns).
  // Fills `info` except the frame rate fields, which the caller derives from the
  // probe report (TimePerFrameFrom). Closes a movie that is still open first.
  OpenResult Open(const std::filesystem::path& path, MovieInfo& info);
  void Close();
  bool IsOpen() const;

  // The stream's own average frame duration, 0 when it states none.
  int64_t AverageTimePerFrame() const;
  // The frame rate that FrameRateFromProbeText reads from the encoder tool's report of
  // this movie (the "tbr" of the first of its streams 0 and 1 that is a picture with a
  // rate, as ReportedFrameRate), 0 when none: the probe's result without the tool.
  double StatedFrameRate() const;

  // What the file states of the picture's length and how far the data of its sound
  // and picture reaches, measured when the movie was opened: 100-ns units from the
  // picture's start, 0 when unknown. Duration() is the picture's measured length.
  struct StatedTimeline {
    int64_t picture = 0;
    int64_t data = 0;
  };
  StatedTimeline Stated() const;

  void Play();
  void Pause();
  // Stops playing and returns to the start.
  void Stop();
  // Absolute seek; the frame at that time becomes the current frame.
  void Seek(int64_t position);
  bool IsPlaying() const;
  int64_t Position() const;
  int64_t Duration() const;

  // Copies the current frame into `frame` (re-dimensioned to the native size when it
  // differs). False when no frame has been decoded yet.
  bool CopyCurrentFrame(FrameImage& frame) const;
  // False for a caller that shows no picture, such as the batch tool: the current
  // frame's pixels (8 MB at 1080p) are freed whenever a frame callback is
  // installed, and CopyCurrentFrame is false until a frame is shown again.
  void SetKeepsCurrentFrame(bool keep);
  // For a caller that reads only part of each frame, such as the batch's unwrap: in
  // push mode only `part` (or a little more) is converted from the decoded picture,
  // exactly as in the whole frame, and the other pixels of the frame handed over keep
  // what they held. An empty part converts the whole frame.
  void SetConvertedPart(const PicturePart& part);
  // Start time of the current frame (in push mode: of the last frame delivered).
  int64_t CurrentFrameTime() const;

  // Push mode while a callback is installed; an empty function returns to pull mode.
  // The callback runs on the decode thread; when this returns, the previous callback
  // has finished. The callback must not call Open or Close.
  void SetFrameCallback(FrameCallback callback);

  // True once after the last frame has been delivered or shown (the end-of-movie
  // event); cleared by reading it and by a seek.
  bool PollEndOfMovie();
  // Blocks until the end-of-movie event is pending or the timeout passes.
  bool WaitEndOfMovie(std::chrono::milliseconds timeout);

  void SetAudioOutput(AudioOutput* output);  // not owned; nullptr: no sound
  void SetMute(bool mute);

 private:
  struct Decoder;
  void Run();
  bool DecodeNextFrame(std::unique_lock<std::mutex>& lock);
  int64_t MediaTimeLocked() const;  // the running clock, not limited to the duration
  int64_t ClockLocked() const;      // the position callers see

  mutable std::mutex mutex_;
  std::condition_variable wake_;       // commands for the decode thread
  std::condition_variable delivered_;  // frames and events for callers
  std::unique_ptr<Decoder> decoder_;
  std::thread thread_;

  // Shared state, guarded by mutex_.
  bool quit_ = false;
  bool playing_ = false;
  bool muted_ = false;
  bool seekPending_ = false;
  int64_t seekTarget_ = 0;
  int64_t clockBase_ = 0;  // position when the clock last started or stopped
  std::chrono::steady_clock::time_point clockStart_;
  int64_t duration_ = 0;
  bool atEnd_ = false;
  bool endEvent_ = false;
  bool inCallback_ = false;
  uint64_t seekGeneration_ = 0;
  FrameImage current_;
  bool hasCurrent_ = false;
  bool keepsCurrent_ = true;
  PicturePart part_;
  int64_t currentTime_ = 0;
  std::shared_ptr<const FrameCallback> callback_;
  AudioOutput* audio_ = nullptr;
};

}  // namespace corvinex
