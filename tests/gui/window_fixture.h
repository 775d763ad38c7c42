#pragma once
// A real main window over a fresh program folder, with the services recorded so
// that tests see what each command asked of the rest of the program.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/window/main_window.h"
#include "support/temp_dir.h"

namespace corvinex::test {

// Which pixels of a box have one colour, row by row: a drawn mark's shape, to compare
// with the same mark drawn elsewhere.
inline std::vector<bool> ColourMask(const QImage& image, QRect box, QRgb colour) {
  std::vector<bool> mask;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) mask.push_back(image.pixel(x, y) == colour);
  return mask;
}

struct WindowFixture : ::testing::Test {
  TempDir dir{"window program"};
  ProgramState state{PathsForFolder(dir.path())};
  std::vector<std::string> calls;  // services asked for, in order
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    RunStartup(state, {.currentDirectory = dir.path(), .now = {}, .shortenedForm = false});
  }
  void TearDown() override {
    if (window) {
      // Leave without the exit question.
      window->hide();
      window.reset();
    }
  }

  WindowServices RecordingServices() {
    WindowServices services;
    services.openMovie = [this](MainWindow&, const std::string& path) {
      calls.push_back("openMovie " + path);
    };
    services.playPause = [this](MainWindow&, bool play) {
      calls.push_back(play ? "play" : "pause");
    };
    services.stopForConversion = [this](MainWindow&) { calls.push_back("stopForConversion"); };
    services.convertMovie = [this](MainWindow& w, const std::string& output) {
      calls.push_back("convertMovie " + output);
      // The operation controls are off while the conversion runs.
      calls.push_back(w.Control(100)->isEnabled() ? "controls on" : "controls off");
    };
    services.transcodeMovie = [this](MainWindow&, const std::string& in, const std::string& out) {
      calls.push_back("transcode " + in + " -> " + out);
    };
    services.startViewer = [this](MainWindow&) { calls.push_back("startViewer"); };
    services.closeViewer = [this](MainWindow&) { calls.push_back("closeViewer"); };
    services.chooseLogo = [this](MainWindow&) { calls.push_back("chooseLogo"); };
    services.runLogoMaker = [this](MainWindow& w) {
      calls.push_back(w.Flags().logoMakerRunning ? "logoMaker running" : "logoMaker idle");
    };
    services.startR3dConverter = [this](MainWindow& w) {
      calls.push_back(w.Action(100)->isEnabled() ? "r3d controls on" : "r3d controls off");
    };
    services.showAbout = [this](MainWindow&) { calls.push_back("about"); };
    services.openUrl = [this](const QUrl& url) {
      calls.push_back("open " + url.toString().toStdString());
      return true;
    };
    return services;
  }

  MainWindow& Open(bool shortened = false) {
    state.shortenedForm = shortened;
    window = std::make_unique<MainWindow>(state, RecordingServices());
    window->SetFeedbackScale(0.02);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return *window;
  }

  // Pretends a movie of this size is open and streaming.
  void PretendMovie(int32_t width, int32_t height) {
    state.StreamState = 1;
    window->Flags().movieOpen = 1;
    window->Flags().frameWidth = width;
    window->Flags().frameHeight = height;
  }

  QString LabelText(int32_t id) { return window->ControlAs<QLabel>(id)->text(); }
  void ClickControl(int32_t id) {
    QWidget* control = window->Control(id);
    // A check box takes clicks on its box and caption only.
    const QPoint at = qobject_cast<QCheckBox*>(control) ? QPoint(8, control->height() / 2)
                                                        : control->rect().center();
    QTest::mouseClick(control, Qt::LeftButton, {}, at);
  }
};

}  // namespace corvinex::test
