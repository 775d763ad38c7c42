#include "cli/batch_ui.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <thread>

namespace corvinex {
namespace {

int32_t Percent(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int32_t>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

// Seconds still to go at the pace so far; negative when there is no pace yet.
double TimeLeft(int64_t done, int64_t total, double elapsed) {
  if (done <= 0 || total <= 0 || elapsed <= 0) return -1;
  return elapsed * static_cast<double>(std::max<int64_t>(total - done, 0)) /
         static_cast<double>(done);
}

}  // namespace

BatchUi::BatchUi(std::FILE* out, ProgressMode mode, std::string input, ProgressClock clock)
    : out_(out), mode_(mode), input_(std::move(input)), clock_(std::move(clock)) {}

void BatchUi::EndBarLine() {
  if (barShown_) std::fputc('\n', out_);
  barShown_ = false;
}

bool BatchUi::Message(std::string_view caption, std::string_view text, MessageIcon icon,
                      bool /*okCancel*/) {
  std::string line(text);
  for (size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, " ");
  // The offer of another compression is for the window; here one export is all.
  const std::string question = " Do you want to save it with another compression value ?";
  if (const size_t at = line.find(question); at != std::string::npos) line.erase(at);
  if (icon == MessageIcon::Stop || icon == MessageIcon::Warning) errors_.push_back(line);
  if (mode_ == ProgressMode::Json) {
    const nlohmann::ordered_json message = {
        {"input", input_}, {"phase", "message"}, {"caption", caption}, {"text", line}};
    std::fprintf(
        out_, "%s\n",
        message.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    std::fflush(out_);
    return false;
  }
  EndBarLine();
  std::fprintf(out_, "%.*s: %s\n", static_cast<int>(caption.size()), caption.data(), line.c_str());
  return false;
}

std::string ProgressBarText(const std::string& phase, int64_t done, int64_t total, double elapsed,
                            double left) {
  constexpr int kCells = 30;
  const int32_t percent = Percent(done, total);
  const int filled = percent * kCells / 100;
  std::string text = phase;
  if (text.size() < 9) text.resize(9, ' ');
  text += "[" + std::string(static_cast<size_t>(filled), '#') +
          std::string(static_cast<size_t>(kCells - filled), '.') + "]";
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, " %3d%%  %lld/%lld  elapsed ", percent,
                static_cast<long long>(std::min(done, std::max(total, done))),
                static_cast<long long>(total));
  text += numbers + TimeText(static_cast<int64_t>(std::lround(elapsed)));
  if (left >= 0) text += "  left " + TimeText(static_cast<int64_t>(std::lround(left)));
  return text;
}

std::string ProgressJsonText(const std::string& input, const std::string& phase, int64_t done,
                             int64_t total, double elapsed, double left) {
  nlohmann::ordered_json line = {{"input", input},
                                 {"phase", phase},
                                 {"done", done},
                                 {"total", total},
                                 {"percent", Percent(done, total)},
                                 {"elapsed", std::round(elapsed * 10) / 10}};
  line["left"] =
      left >= 0 ? nlohmann::ordered_json(std::round(left * 10) / 10) : nlohmann::ordered_json();
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void BatchUi::Report(const char* phase, int64_t done, int64_t total, bool final) {
  if (mode_ != ProgressMode::Bar && mode_ != ProgressMode::Json) return;
  const double now = clock_();
  if (phaseStart_ < 0) phaseStart_ = now;
  if (!final && lastReport_ >= 0 && now - lastReport_ < 0.25) return;
  std::string shown = std::string(phase) + " " + std::to_string(done) + "/" + std::to_string(total);
  if (shown == lastShown_) return;
  lastShown_ = std::move(shown);
  lastReport_ = now;
  const double elapsed = now - phaseStart_;
  const double left = final ? 0 : TimeLeft(done, total, elapsed);
  if (mode_ == ProgressMode::Json) {
    std::fprintf(out_, "%s\n", ProgressJsonText(input_, phase, done, total, elapsed, left).c_str());
  } else {
    std::fprintf(out_, "\r%s", ProgressBarText(phase, done, total, elapsed, left).c_str());
    barShown_ = true;
  }
  std::fflush(out_);
}

void BatchUi::ShowProgress(const ProgressState& progress) {
  // The frame label carries the number in both routes; the graph route also counts.
  int64_t done = progress.framesDone.load();
  int64_t labelled = 0;
  const std::string& label = progress.frameLabel;
  if (std::from_chars(label.data(), label.data() + label.size(), labelled).ec == std::errc()) {
    done = std::max(done, labelled);
  }
  // Nothing before the first frame, nor after the frames phase ended.
  if ((label.empty() && done == 0) || framesClosed_) return;
  framesDone_ = std::max(framesDone_, done);
  Report("frames", framesDone_, std::max<int64_t>(progress.frameCount, framesDone_), false);
}

void BatchUi::ShowExportProgress(int64_t framesEncoded, int64_t framesTotal) {
  encodeTotal_ = framesTotal;
  Report("encoding", std::min(framesEncoded, framesTotal), framesTotal, false);
}

// The waits of a run give a window time to repaint and a media graph time to settle;
// the batch tool has neither, so it waits only where its frame loop paces itself.
void BatchUi::Pump(int32_t /*ms*/) {}

void BatchUi::Sleep(int32_t /*ms*/) {}

void BatchUi::PaceFrameLoop(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
}

ExportResult BatchUi::ExportMovie(std::string_view /*caption*/,
                                  const std::function<ExportResult()>& encode) {
  // Every frame is made: the first phase ends at 100 %.
  Report("frames", framesDone_, framesDone_, true);
  framesClosed_ = true;
  EndBarLine();
  if (mode_ != ProgressMode::Json) {
    std::fprintf(out_, "Encoding the output movie...\n");
    std::fflush(out_);
  }
  phaseStart_ = -1;
  lastReport_ = -1;
  encodeTotal_ = framesDone_;
  const ExportResult result = encode();
  if (result.ok()) Report("encoding", encodeTotal_, encodeTotal_, true);
  EndBarLine();
  return result;
}

}  // namespace corvinex
