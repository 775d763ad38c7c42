#include "cli/batch_ui.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvinex {

BatchUi::BatchUi(std::FILE* out, bool drawBar) : out_(out), drawBar_(drawBar) {}

bool BatchUi::Message(std::string_view caption, std::string_view text, MessageIcon icon,
                      bool /*okCancel*/) {
  std::string line(text);
  for (size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, " ");
  // The offer of another compression is for the window; here one export is all.
  const std::string question = " Do you want to save it with another compression value ?";
  if (const size_t at = line.find(question); at != std::string::npos) line.erase(at);
  if (barShown_) std::fputc('\n', out_);
  barShown_ = false;
  std::fprintf(out_, "%.*s: %s\n", static_cast<int>(caption.size()), caption.data(), line.c_str());
  if (icon == MessageIcon::Stop || icon == MessageIcon::Warning) errors_.push_back(line);
  return false;
}

std::string ProgressBarText(int32_t barWidth, const std::string& frameLabel,
                            const std::string& passed) {
  constexpr int kCells = 30;
  const int filled = std::clamp(barWidth, 0, 598) * kCells / 598;
  std::string bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                    std::string(static_cast<size_t>(kCells - filled), '.') + "]";
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%%", std::clamp(barWidth, 0, 598) * 100 / 598);
  return bar + " " + percent + "  frame " + (frameLabel.empty() ? "0" : frameLabel) + "  elapsed " +
         passed;
}

void BatchUi::ShowProgress(const ProgressState& progress) {
  if (!drawBar_ || progress.frameLabel.empty()) return;
  std::fprintf(
      out_, "\r%s",
      ProgressBarText(progress.barWidth, progress.frameLabel, progress.passedText).c_str());
  std::fflush(out_);
  barShown_ = true;
}

// The waits of a run give a window time to repaint and its stream loop time to
// notice a state change; the batch tool has neither, so it only keeps the short
// pacing waits of the frame loop.
void BatchUi::Pump(int32_t ms) {
  Sleep(ms);
}

void BatchUi::Sleep(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
}

ExportResult BatchUi::ExportMovie(std::string_view /*caption*/,
                                  const std::function<ExportResult()>& encode) {
  if (barShown_) std::fputc('\n', out_);
  barShown_ = false;
  std::fprintf(out_, "Encoding the output movie...\n");
  std::fflush(out_);
  return encode();
}

}  // namespace corvinex
