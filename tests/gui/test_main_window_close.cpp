#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/window/main_window.h"
#include "gui/dialog_answer.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

using test::AnswerNextMessageBox;
using test::SeenMessage;

struct CloseFixture : ::testing::Test {
  test::TempDir dir{"window program"};
  ProgramState state{PathsForFolder(dir.path())};
  void SetUp() override {
    RunStartup(state, {.currentDirectory = dir.path(), .now = {}, .shortenedForm = false});
  }
  std::string Log() { return test::ReadFileBytes(state.paths.logFile); }
};

TEST_F(CloseFixture, CancelKeepsTheWindowAndOkRunsShutdown) {
  MainWindow window(state);
  window.show();
  EXPECT_EQ(window.size(), QSize(1024, 849));

  SeenMessage asked;
  AnswerNextMessageBox(QMessageBox::Cancel, &asked);
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(asked.seen);
  EXPECT_EQ(asked.title, "Exit IDE");
  EXPECT_EQ(asked.text, "Are you sure?");
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(Log().find("EXIT"), std::string::npos);

  state.movieLoaded = 1;
  state.settings.X1 = 77;
  AnswerNextMessageBox(QMessageBox::Ok, nullptr);
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(window.isVisible());
  EXPECT_NE(Log().find("EXIT\r\nEXIT2\r\nEXIT3\r\n"), std::string::npos);
  AppSettings saved;
  ASSERT_TRUE(ReadSettings(state.paths.settingsFile, saved).complete);
  EXPECT_EQ(saved.X1, 77);
}

TEST_F(CloseFixture, BusyEncoderKeepsTheWindowWithoutAsking) {
  state.shortenedForm = true;
  MainWindow window(state);
  window.show();
  EXPECT_EQ(window.size(), QSize(1010, 650));
  window.SetEncoderBusy(true);
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  window.SetEncoderBusy(false);
  AnswerNextMessageBox(QMessageBox::Ok, nullptr);
  EXPECT_TRUE(window.close());
}

}  // namespace
}  // namespace corvinex

namespace corvinex {
namespace {

TEST_F(CloseFixture, ShutdownClosesTheViewerAndStopsTheMovieFirst) {
  std::vector<std::string> calls;
  WindowServices services;
  services.closeViewer = [&](MainWindow&) { calls.push_back("closeViewer"); };
  services.playPause = [&](MainWindow&, bool play) { calls.push_back(play ? "play" : "pause"); };
  services.closeMovie = [&](MainWindow& w) {
    calls.push_back("closeMovie");
    w.Flags().movieOpen = 0;
  };
  MainWindow window(state, std::move(services));
  window.SetFeedbackScale(0.02);
  window.show();
  window.Flags().viewerOpen = 1;
  window.Flags().movieOpen = 1;
  AnswerNextMessageBox(QMessageBox::Ok, nullptr);
  EXPECT_TRUE(window.close());
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "closeViewer");
  // The movie stops at the first request, and the stream loop is asked to end.
  EXPECT_EQ(calls, (std::vector<std::string>{"closeViewer", "pause", "closeMovie"}));
  EXPECT_EQ(window.Flags().viewerOpen, 0);
  EXPECT_NE(Log().find("EXIT\r\nEXIT2\r\nEXIT3\r\n"), std::string::npos);
}

}  // namespace
}  // namespace corvinex
