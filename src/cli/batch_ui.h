#pragma once
// The conversion's user interface on a terminal: messages and a progress bar on
// standard error; questions answered so that the run ends after one export.

#include <cstdio>
#include <string>
#include <vector>

#include "convert/conversion_ui.h"

namespace corvinex {

class BatchUi : public ConversionUi {
 public:
  explicit BatchUi(std::FILE* out, bool drawBar);

  bool Message(std::string_view caption, std::string_view text, MessageIcon icon,
               bool okCancel) override;
  void SetLabel(int32_t, std::string_view) override {}
  void ShowProgress(const ProgressState& progress) override;
  void SetCutAreaEnabled(bool) override {}
  void ClearTransformPreview() override {}
  bool PreviewRefreshBusy() override { return false; }
  int32_t WindowHeight() override { return 0; }
  void Pump(int32_t ms) override;
  void Sleep(int32_t ms) override;
  ExportResult ExportMovie(std::string_view caption,
                           const std::function<ExportResult()>& encode) override;
  std::string RecompressDialog(const std::string&, ExportChoice&) override { return {}; }

  // The errors shown during the run, for the summary.
  const std::vector<std::string>& Errors() const { return errors_; }

 private:
  std::FILE* out_;
  bool drawBar_;
  bool barShown_ = false;
  std::vector<std::string> errors_;
};

// One line: "[#####.....]  40%  frame 120  elapsed 00:00:04".
std::string ProgressBarText(int32_t barWidth, const std::string& frameLabel,
                            const std::string& passed);

}  // namespace corvinex
