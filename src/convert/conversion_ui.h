#pragma once
// How a conversion reaches the user. The main window implements it with widgets,
// the batch tool with the terminal, tests with a recorder.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/encoder_command.h"
#include "convert/progress.h"
#include "transform/frame_image.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

enum class MessageIcon { Information, Warning, Stop, Exclamation };

// What the re-export dialog may change besides the output name.
struct ExportChoice {
  int32_t quality = 0;  // 0 "Default", 1..21
  int32_t resize = 0;   // 0 natural size .. 5 = 50%
  int32_t codec = 0;    // SessionOptions::CODEC: kept for the exports after it
  int32_t encoder = 0;  // SessionOptions::ENCODER
};

// A converted frame for the preview: its panorama as the unwrap left it (W x (H + 1))
// and the progress text to print over it.
struct ConvertedFrameView {
  const UnwrapGeometry& geometry;
  const FrameImage& panorama;
  bool flipVertical = false;
  const std::vector<OverlayLine>& lines;
};

class ConversionUi {
 public:
  virtual ~ConversionUi() = default;
  // A modal message. With `okCancel`, true means OK was chosen.
  virtual bool Message(std::string_view caption, std::string_view text, MessageIcon icon,
                       bool okCancel) = 0;
  // Movie labels 303..307, 309, 409 by identifier; empty text clears.
  virtual void SetLabel(int32_t id, std::string_view text) = 0;
  // Label 207, the frame label 307 and the position bar, from the progress state.
  virtual void ShowProgress(const ProgressState& progress) = 0;
  // Cut Area buttons and the main preview drawing.
  virtual void SetCutAreaEnabled(bool enabled) = 0;
  virtual void ClearTransformPreview() = 0;
  virtual bool PreviewRefreshBusy() = 0;
  // Height of the main window in its own size units.
  virtual int32_t WindowHeight() = 0;
  // Keep the user interface alive: handle pending events or wait `ms`.
  virtual void Pump(int32_t ms) = 0;
  virtual void Sleep(int32_t ms) = 0;
  // The frame loop's wait between its checks on the frames: a window handles its
  // events meanwhile.
  virtual void PaceFrameLoop(int32_t ms) { Pump(ms); }
  // Runs `encode` to its end while a progress dialog with `caption` shows that the
  // encoder works ("Output Movie Compression", "Movie Conversion"); returns its result.
  virtual ExportResult ExportMovie(std::string_view caption,
                                   const std::function<ExportResult()>& encode) = 0;
  // The re-export dialog: a new output path (empty: no further export); may change
  // the quality and size of the next export.
  virtual std::string RecompressDialog(const std::string& output, ExportChoice& choice) = 0;
  // Forgets the media information the probe collected for the movie (the run has
  // closed it).
  virtual void ClearMovieInformation() {}
  // Whether a converted frame would be shown now; false while the last one is still
  // being drawn, so frames are skipped rather than the run slowed down.
  virtual bool WantsConvertedFrame() { return false; }
  // Called on the thread that processes frames, after WantsConvertedFrame said yes.
  virtual void ShowConvertedFrame(const ConvertedFrameView& /*frame*/) {}
  // The encoder's progress during ExportMovie, on the thread that runs `encode`.
  virtual void ShowExportProgress(int64_t /*framesEncoded*/, int64_t /*framesTotal*/) {}
};

}  // namespace corvinex
