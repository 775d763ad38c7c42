#pragma once
// The conversion driver's way to the user, in widgets: message boxes, the movie
// labels, the progress display, the export and re-export dialogs.

#include <atomic>
#include <memory>
#include <vector>

#include "convert/conversion_ui.h"

namespace corvinex {

class MainWindow;

class WindowConversionUi : public ConversionUi {
 public:
  explicit WindowConversionUi(MainWindow& window);

  bool Message(std::string_view caption, std::string_view text, MessageIcon icon,
               bool okCancel) override;
  void SetLabel(int32_t id, std::string_view text) override;
  void ShowProgress(const ProgressState& progress) override;
  void SetCutAreaEnabled(bool enabled) override;
  void ClearTransformPreview() override;
  bool PreviewRefreshBusy() override;
  int32_t WindowHeight() override;
  void Pump(int32_t ms) override;
  void Sleep(int32_t ms) override;
  ExportResult ExportMovie(std::string_view caption,
                           const std::function<ExportResult()>& encode) override;
  std::string RecompressDialog(const std::string& output, ExportChoice& choice) override;
  void ClearMovieInformation() override;
  bool WantsConvertedFrame() override;
  void ShowConvertedFrame(const ConvertedFrameView& frame) override;

  // The converted frame waiting to be drawn on the window's thread; shared with the
  // queued drawing, which may run after this object is gone.
  struct PendingFrame {
    std::atomic<bool> pending{false};
    FrameImage panorama;
    UnwrapGeometry geometry;
    bool flipVertical = false;
    std::vector<OverlayLine> lines;
  };

  // The output of the export before the last re-export dialog; empty before one.
  const std::string& EarlierOutput() const { return earlierOutput_; }

 private:
  MainWindow& window_;
  std::string earlierOutput_;
  std::shared_ptr<PendingFrame> converted_;
};

}  // namespace corvinex
