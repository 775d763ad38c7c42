#pragma once
// The conversion's user interface on a terminal: messages and progress on standard
// error; questions answered so that the run ends after one export. Progress comes in
// two phases, the frames and then the encoder's work, each reaching 100 %: as a bar
// that rewrites its line, or as one JSON object per line for programs.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/batch_options.h"
#include "convert/conversion_ui.h"

namespace corvinex {

class BatchUi : public ConversionUi {
 public:
  // `mode` is Bar, Json or None (Auto is decided by the caller); `input` names the
  // movie in JSON lines.
  BatchUi(std::FILE* out, ProgressMode mode, std::string input,
          ProgressClock clock = MonotonicSeconds);

  bool Message(std::string_view caption, std::string_view text, MessageIcon icon,
               bool okCancel) override;
  void SetLabel(int32_t, std::string_view) override {}
  void ShowProgress(const ProgressState& progress) override;
  void ShowExportProgress(int64_t framesEncoded, int64_t framesTotal) override;
  void SetCutAreaEnabled(bool) override {}
  void ClearTransformPreview() override {}
  bool PreviewRefreshBusy() override { return false; }
  int32_t WindowHeight() override { return 0; }
  void Pump(int32_t ms) override;
  void Sleep(int32_t ms) override;
  void PaceFrameLoop(int32_t ms) override;
  ExportResult ExportMovie(std::string_view caption,
                           const std::function<ExportResult()>& encode) override;
  std::string RecompressDialog(const std::string&, ExportChoice&) override { return {}; }

  // The errors shown during the run, for the summary.
  const std::vector<std::string>& Errors() const { return errors_; }

 private:
  // One progress report; `final` always shows, others at most a few times a second.
  void Report(const char* phase, int64_t done, int64_t total, bool final);
  void EndBarLine();

  std::FILE* out_;
  ProgressMode mode_;
  std::string input_;
  ProgressClock clock_;
  bool barShown_ = false;
  double phaseStart_ = -1;
  double lastReport_ = -1;
  std::string lastShown_;  // phase and numbers of the last report, to skip repeats
  int64_t framesDone_ = 0;
  bool framesClosed_ = false;  // the export began: the frame phase is over
  int64_t encodeTotal_ = 0;
  std::vector<std::string> errors_;
};

// One bar line: "frames   [#####.....]  40%  120/300  elapsed 00:00:04  left 00:00:06".
std::string ProgressBarText(const std::string& phase, int64_t done, int64_t total, double elapsed,
                            double left);

// One JSON progress line (without its newline).
std::string ProgressJsonText(const std::string& input, const std::string& phase, int64_t done,
                             int64_t total, double elapsed, double left);

}  // namespace corvinex
