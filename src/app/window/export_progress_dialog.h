#pragma once
// "Output Movie Compression": a small modeless window with a busy animation, five
// colour squares lighting in turn and the processing time, shown while the
// encoder runs on a thread of its own.

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;

namespace corvinex {

// "Processing time: hh:mm:ss" for whole elapsed seconds (integer parts).
std::string ProcessingTimeText(double elapsedSeconds);

// One pass of the squares: the first level rises by 5; a level past 255 stays at
// 255 and carries into the next; past the fifth, all start again at 20.
void AdvanceSquareLevels(std::array<int32_t, 5>& levels);

class ExportProgressDialog : public QDialog {
  Q_OBJECT

 public:
  ExportProgressDialog(QWidget* owner, const QString& caption);
  // One pass: squares, and every second pass the picture and the time label.
  void Step(double elapsedSeconds);
  const std::array<int32_t, 5>& Levels() const { return levels_; }
  QString TimeLabel() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* picture_;
  QLabel* time_;
  std::array<QLabel*, 5> squares_{};
  std::array<int32_t, 5> levels_{20, 20, 20, 20, 20};
  int32_t pictureCounter_ = 0;
  int32_t passCounter_ = 0;
};

// Shows the dialog while `work` runs on its own thread, pumping the window every
// 32 ms, and returns when `work` has returned.
template <typename Result>
Result RunWithExportProgress(QWidget* owner, const QString& caption,
                             const std::function<Result()>& work);

// The non-template core: runs `work` on a thread and the dialog until it ends.
void RunExportProgress(QWidget* owner, const QString& caption, const std::function<void()>& work);

template <typename Result>
Result RunWithExportProgress(QWidget* owner, const QString& caption,
                             const std::function<Result()>& work) {
  Result result{};
  RunExportProgress(owner, caption, [&] { result = work(); });
  return result;
}

}  // namespace corvinex
