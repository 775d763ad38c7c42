#pragma once
// The conversion driver's way to the user, in widgets: message boxes, the movie
// labels, the progress display, the export and re-export dialogs.

#include "convert/conversion_ui.h"

namespace corvinex {

class MainWindow;

class WindowConversionUi : public ConversionUi {
 public:
  explicit WindowConversionUi(MainWindow& window) : window_(window) {}

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

 private:
  MainWindow& window_;
};

}  // namespace corvinex
