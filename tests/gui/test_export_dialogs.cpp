// The export progress window and the re-export dialog.

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/window/export_progress_dialog.h"
#include "app/window/recompress_dialog.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"

namespace corvinex::test {
namespace {

TEST(ExportProgress, ProcessingTimeUsesWholeHoursMinutesSeconds) {
  EXPECT_EQ(ProcessingTimeText(3725), "Processing time: 01:02:05");
  EXPECT_EQ(ProcessingTimeText(59.99), "Processing time: 00:00:59");
  EXPECT_EQ(ProcessingTimeText(0), "Processing time: 00:00:00");
  EXPECT_EQ(ProcessingTimeText(-5), "Processing time: 00:00:00");
}

TEST(ExportProgress, SquaresLightUpInTurnThenStartOver) {
  std::array<int32_t, 5> levels{20, 20, 20, 20, 20};
  AdvanceSquareLevels(levels);
  EXPECT_EQ(levels, (std::array<int32_t, 5>{25, 20, 20, 20, 20}));
  int passes = 1;
  while (levels[1] == 20) {
    AdvanceSquareLevels(levels);
    ++passes;
  }
  // 20 + 5 x 47 = 255; the 48th step passes 255 and carries.
  EXPECT_EQ(passes, 48);
  EXPECT_EQ(levels, (std::array<int32_t, 5>{255, 25, 20, 20, 20}));
  levels = {255, 255, 255, 255, 255};
  AdvanceSquareLevels(levels);
  EXPECT_EQ(levels, (std::array<int32_t, 5>{20, 20, 20, 20, 20}));
}

// A stop-and-quit question asked before the encoder started stays in sight: the
// progress window goes to the top left corner and the question stays above it.
TEST_F(WindowFixture, ExportProgressLeavesAnOpenQuestionInSight) {
  MainWindow& w = Open();
  auto* question = new QMessageBox(QMessageBox::Warning, "Conversion running", "Stop?",
                                   QMessageBox::Ok | QMessageBox::Cancel, &w);
  question->setAttribute(Qt::WA_DeleteOnClose);
  question->open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(question));
  bool checked = false;
  bool overlapped = true;
  QTimer::singleShot(200, &w, [&] {
    if (auto* progress = w.findChild<ExportProgressDialog*>(); progress && progress->isVisible()) {
      checked = true;
      overlapped = progress->frameGeometry().intersects(question->frameGeometry());
    }
  });
  RunExportProgress(&w, "Export",
                    [] { std::this_thread::sleep_for(std::chrono::milliseconds(600)); });
  EXPECT_TRUE(checked);
  EXPECT_FALSE(overlapped);
  EXPECT_TRUE(question->isVisible());
  question->close();
}

TEST_F(WindowFixture, ExportProgressRunsUntilTheWorkEnds) {
  MainWindow& w = Open();
  std::atomic<bool> sawDialog{false};
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->isVisible() && top->windowTitle() == "Output Movie Compression") sawDialog = true;
    }
  });
  probe.start(10);
  const int result = RunWithExportProgress<int>(&w, "Output Movie Compression", [] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return 42;
  });
  EXPECT_EQ(result, 42);
  EXPECT_TRUE(sawDialog);
}

struct RecompressFixture : WindowFixture {
  // Presses a button of the re-export dialog once it is up, after `prepare`.
  void WhenUp(std::function<void(RecompressDialog&)> act) {
    AnswerNextModal<RecompressDialog>("re-export dialog", std::move(act));
  }
  static void Choose(RecompressDialog& d, const char* list, int index) {
    auto* box = d.findChild<QComboBox*>(list);
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
};

TEST_F(RecompressFixture, SaveReturnsTheTypedPathWithTheNewChoices) {
  MainWindow& w = Open();
  ExportChoice choice;
  WhenUp([](RecompressDialog& d) {
    d.findChild<QLineEdit*>("101")->setText("/tmp/other name.mov");
    Choose(d, "213", 12);
    Choose(d, "870", 3);
    d.findChild<QPushButton*>("2002")->click();
  });
  EXPECT_EQ(RunRecompressDialog(w, "/tmp/first.mp4", choice), "/tmp/other name.mov");
  EXPECT_EQ(choice.quality, 12);
  EXPECT_EQ(choice.resize, 3);
  // The choices are the re-export's own: the main window keeps what the user set.
  EXPECT_EQ(w.ControlAs<QComboBox>(213)->currentText(), "Default");
  EXPECT_EQ(state.options.QUALITY, 0);
  EXPECT_EQ(state.options.RESIZE, 0);
  EXPECT_TRUE(w.Action(870)->isChecked());
  EXPECT_FALSE(w.Action(873)->isChecked());
}

TEST_F(RecompressFixture, CodecAndEncoderChoicesComeBackAndNoDeviceIsProbedHere) {
  MainWindow& w = Open();
  ExportChoice choice{.quality = 0, .resize = 0, .codec = 3, .encoder = 1};
  std::vector<QString> encoders;
  WhenUp([&encoders](RecompressDialog& d) {
    auto* codec = d.findChild<QComboBox*>("codec");
    auto* encoder = d.findChild<QComboBox*>("encoder");
    EXPECT_EQ(codec->currentText(), "AV1");
    EXPECT_EQ(encoder->currentText(), "Software");
    for (int i = 0; i < encoder->count(); ++i) encoders.push_back(encoder->itemText(i));
    Choose(d, "codec", 2);
    Choose(d, "encoder", 0);
    d.findChild<QPushButton*>("2002")->click();
  });
  EXPECT_EQ(RunRecompressDialog(w, "/tmp/first.mkv", choice), "/tmp/first.mkv");
  EXPECT_EQ(choice.codec, 2);
  EXPECT_EQ(choice.encoder, 0);
  // Only what a run has found working is offered: none has run here.
  EXPECT_EQ(encoders, (std::vector<QString>{"Auto", "Software"}));
}

TEST_F(RecompressFixture, CancelAndCloseBoxEndWithoutExport) {
  MainWindow& w = Open();
  ExportChoice choice;
  WhenUp([](RecompressDialog& d) {
    d.findChild<QLineEdit*>("101")->setText("/tmp/typed.mp4");
    d.findChild<QPushButton*>("2004")->click();
  });
  EXPECT_EQ(RunRecompressDialog(w, "/tmp/first.mp4", choice), "");
  WhenUp([](RecompressDialog& d) { d.close(); });
  EXPECT_EQ(RunRecompressDialog(w, "/tmp/first.mp4", choice), "");
}

TEST_F(RecompressFixture, CancelledFileChooserKeepsTheText) {
  MainWindow& w = Open();
  ExportChoice choice;
  SeenFileDialog seen;
  WhenUp([&seen](RecompressDialog& d) {
    AnswerNextFileDialog("", &seen);
    d.findChild<QPushButton*>("100")->click();
    d.findChild<QPushButton*>("2002")->click();
  });
  const std::string first = (dir.path() / "first.mp4").string();
  EXPECT_EQ(RunRecompressDialog(w, first, choice), first);
  EXPECT_EQ(seen.title, "Save Rectangular Video");
  EXPECT_EQ(seen.proposedName, "Output Video.flv");
  EXPECT_EQ(seen.folder.toStdString(), dir.path().string());
  EXPECT_TRUE(seen.detailView);
}

// The re-export's file chooser proposes the type chosen last, and a type chosen there
// is the one proposed next.
TEST_F(RecompressFixture, FileChooserProposesTheTypeChosenLast) {
  MainWindow& w = Open();
  ExportChoice choice;
  state.options.OUTPUT_TYPE = 3;  // MP4
  SeenFileDialog seen;
  const std::string webm = (dir.path() / "again.webm").string();
  WhenUp([&](RecompressDialog& d) {
    AnswerNextFileDialog(QString::fromStdString(webm), &seen);
    d.findChild<QPushButton*>("100")->click();
    d.findChild<QPushButton*>("2002")->click();
  });
  EXPECT_EQ(RunRecompressDialog(w, (dir.path() / "first.mp4").string(), choice), webm);
  EXPECT_EQ(seen.proposedName, "Output Video.mp4");
  EXPECT_EQ(state.options.OUTPUT_TYPE, 7);
  SeenFileDialog next;
  WhenUp([&](RecompressDialog& d) {
    AnswerNextFileDialog("", &next);
    d.findChild<QPushButton*>("100")->click();
    d.findChild<QPushButton*>("2004")->click();
  });
  RunRecompressDialog(w, webm, choice);
  EXPECT_EQ(next.proposedName, "Output Video.webm");
  EXPECT_EQ(state.options.OUTPUT_TYPE, 7) << "a cancelled chooser keeps the type";
}

}  // namespace
}  // namespace corvinex::test
