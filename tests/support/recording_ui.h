#pragma once
// A conversion user interface that records what the run shows and answers its
// questions from a script, so tests see exactly what a user would.

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "convert/conversion_ui.h"

namespace corvinex::test {

struct ShownMessage {
  std::string caption;
  std::string text;
  MessageIcon icon;
};

class RecordingUi : public ConversionUi {
 public:
  std::vector<ShownMessage> messages;
  std::map<int32_t, std::string> labels;
  std::vector<std::string> operationTexts;
  std::deque<bool> answers;                 // OK (true) or Cancel for OK/Cancel questions
  std::deque<std::string> recompressPaths;  // answers of the re-export dialog
  ExportChoice nextChoice;
  bool cutAreaEnabled = true;
  int32_t exports = 0;
  std::vector<std::string> exportCaptions;
  int32_t windowHeight = 849;
  // Called on every pump: lets a test act in the middle of a run.
  std::function<void()> onPump;
  // Converted frames offered to the preview (on the frame thread).
  std::atomic<int32_t> convertedFrames{0};
  int32_t lastConvertedWidth = 0;
  std::string lastConvertedText;

  bool Message(std::string_view caption, std::string_view text, MessageIcon icon,
               bool okCancel) override {
    messages.push_back({std::string(caption), std::string(text), icon});
    if (!okCancel) return true;
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void SetLabel(int32_t id, std::string_view text) override { labels[id] = std::string(text); }
  void ShowProgress(const ProgressState& progress) override {
    if (operationTexts.empty() || operationTexts.back() != progress.label.text) {
      operationTexts.push_back(progress.label.text);
    }
  }
  void SetCutAreaEnabled(bool enabled) override { cutAreaEnabled = enabled; }
  bool WantsConvertedFrame() override { return true; }
  void ShowConvertedFrame(const ConvertedFrameView& frame) override {
    lastConvertedWidth = frame.panorama.width;
    lastConvertedText.clear();
    for (const auto& line : frame.lines) lastConvertedText += line.text + "\n";
    ++convertedFrames;
  }
  void ClearTransformPreview() override {}
  bool PreviewRefreshBusy() override { return false; }
  int32_t WindowHeight() override { return windowHeight; }
  void Pump(int32_t ms) override {
    if (onPump) onPump();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  void Sleep(int32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  ExportResult ExportMovie(std::string_view caption,
                           const std::function<ExportResult()>& encode) override {
    ++exports;
    exportCaptions.emplace_back(caption);
    return encode();
  }
  std::string RecompressDialog(const std::string&, ExportChoice& choice) override {
    choice = nextChoice;
    if (recompressPaths.empty()) return {};
    std::string path = recompressPaths.front();
    recompressPaths.pop_front();
    return path;
  }
};

}  // namespace corvinex::test
