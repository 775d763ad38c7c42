// The window keeps what the user set and keeps the movie open: choices over a
// restart, a re-export's own size, the movie after a cancel or a conversion, and
// what STOP and closing say during a run.

#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <memory>

#include "app/window/command_ids.h"
#include "app/window/logo_chooser.h"
#include "app/window/movie_session.h"
#include "app/window/recompress_dialog.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "support/ffprobe.h"
#include "support/probe_helpers_h4.h"
#include "support/sample_movie.h"
#include "transform/logo_frame.h"
#include "view/preview_canvas.h"

namespace corvinex::test {
namespace {

struct KeptFixture : WindowFixture {
  std::unique_ptr<MovieSession> session;
  std::filesystem::path movie;

  MainWindow& OpenWithMovie(int32_t frames) {
    std::filesystem::create_directory_symlink(CORVINEX_PLUGIN_DIR, dir.path() / "PLUG-IN");
    movie = dir.path() / "ring.mp4";
    MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = frames});
    return OpenSession();
  }
  MainWindow& OpenSession() {
    MainWindow& w = Open();
    session = std::make_unique<MovieSession>(w);
    session->Provide(w.Services());
    session->OpenMovie(movie.string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Flags().movieOpen == 1; }, 20000));
    return w;
  }
  // The program ends and starts again over the same program folder.
  MainWindow& Restart() {
    session.reset();
    window->hide();
    window.reset();
    RunStartup(state, {.currentDirectory = dir.path(), .now = {}, .shortenedForm = false});
    return OpenSession();
  }
  // A whole conversion without a further export.
  std::string Convert(const std::filesystem::path& output) {
    SeenMessage done;
    AnswerNextMessageBox(QMessageBox::Cancel, &done);
    session->Convert(output.string());
    // Says what came instead of the ending's message, so a failure can be read.
    if (!done.seen) return "(no message box)";
    return done.title.isEmpty() ? "(untitled) " + done.text.toStdString()
                                : done.title.toStdString();
  }
  // The processor-usage pause: 100 ms a frame, so that a run lasts long enough to
  // be stopped or closed in the middle.
  void SlowFrames() {
    state.settings.CPU_CH = 1;
    state.settings.CPU = 90;
  }
  // A conversion through CONVERT and the save chooser, which keeps the movie loaded.
  std::string ConvertThroughWindow(const std::filesystem::path& output) {
    state.settings.OPATH = output.parent_path().string();
    SeenMessage done;
    AnswerNextFileDialog(QString::fromStdString(output.string()), nullptr);
    AnswerNextMessageBox(QMessageBox::Cancel, &done);
    window->Dispatch(cmd::kConvert);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Flags().movieOpen == 1; }, 20000));
    return done.title.toStdString();
  }
  void TearDown() override {
    session.reset();
    WindowFixture::TearDown();
  }
};

QImage FirstFrame(const std::filesystem::path& movie) {
  const auto png = movie.parent_path() / (movie.stem().string() + ".png");
  EXPECT_TRUE(RunFfmpeg({"-i", movie.string(), "-frames:v", "1", png.string()}));
  return QImage(QString::fromStdString(png.string())).convertToFormat(QImage::Format_RGB32);
}

// Mean grey difference of `a` against `b`, row y of `a` against row `rowOf(y)` of `b`.
double MeanDifference(const QImage& a, const QImage& b, const std::function<int(int)>& rowOf) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, rowOf(y))));
    }
  }
  return sum / (a.width() * a.height());
}

TEST_F(KeptFixture, AVerticalFlipSavedBeforeARestartFlipsTheNextConversion) {
  MainWindow& w = OpenWithMovie(5);
  const auto plain = dir.path() / "plain.mp4";
  ASSERT_EQ(ConvertThroughWindow(plain), "Successful termination");
  ClickControl(cmd::kFlipVertical);
  ASSERT_EQ(state.options.FLIP_MODE, 2);
  state.options.OUTPUT_TYPE = 3;  // the save chooser's MP4
  w.Dispatch(cmd::kSave);

  MainWindow& again = Restart();
  EXPECT_TRUE(again.ControlAs<QCheckBox>(cmd::kFlipVertical)->isChecked());
  EXPECT_FALSE(again.ControlAs<QCheckBox>(cmd::kFlipHorizontal)->isChecked());
  EXPECT_EQ(state.options.OUTPUT_TYPE, 3);
  const auto flipped = dir.path() / "flipped.mp4";
  ASSERT_EQ(Convert(flipped), "Successful termination");
  const QImage a = FirstFrame(plain);
  const QImage b = FirstFrame(flipped);
  ASSERT_FALSE(a.isNull());
  ASSERT_EQ(a.size(), b.size());
  const double same = MeanDifference(b, a, [](int y) { return y; });
  const double mirrored = MeanDifference(b, a, [&](int y) { return a.height() - 1 - y; });
  EXPECT_LT(mirrored * 3, same) << "the restarted conversion is not the plain one upside down";
}

// "Show output layout" and the logo come back after a restart; a logo whose file has
// gone since is forgotten, and the output is cylindrical again.
TEST_F(KeptFixture, LayoutSwitchAndLogoComeBackWhileTheLogoFileIsThere) {
  MainWindow& w = OpenWithMovie(5);
  ClickControl(cmd::kShowLayout);
  ASSERT_EQ(state.options.SHOW_LAYOUT, 0);
  QImage strip(1200, 120, QImage::Format_RGB32);
  strip.fill(Qt::darkGreen);
  const auto logoFile = dir.path() / "logo \"wide\" é.jpg";
  ASSERT_TRUE(strip.save(QString::fromStdString(logoFile.string()), "JPG"));
  state.options.LOGO = logoFile.string();
  w.Dispatch(cmd::kSave);

  MainWindow& again = Restart();
  EXPECT_FALSE(again.ControlAs<QCheckBox>(cmd::kShowLayout)->isChecked());
  LogoState logo;
  RestoreKeptLogo(again, logo);
  EXPECT_TRUE(logo.present);
  EXPECT_EQ(state.options.LOGO, logoFile.string());
  EXPECT_EQ(LabelText(cmd::kAddLogo), "Logo present, spherical format");

  std::filesystem::remove(logoFile);
  MainWindow& third = Restart();
  LogoState none;
  RestoreKeptLogo(third, none);
  EXPECT_FALSE(none.present);
  EXPECT_EQ(state.options.LOGO, "");
  EXPECT_EQ(LabelText(cmd::kAddLogo), "Logo not present, cylindrical format");
}

TEST_F(KeptFixture, TheSaveChooserProposesTheTypeChosenLast) {
  MainWindow& w = OpenWithMovie(5);
  state.settings.OPATH = dir.path().string();
  // Chosen as .webm once; cancelled the next time, proposing that type.
  SeenFileDialog first;
  AnswerNextFileDialog(QString::fromStdString((dir.path() / "out.webm").string()), &first);
  w.Services().convertMovie = [](MainWindow&, const std::string&) {};
  w.Dispatch(cmd::kConvert);
  EXPECT_EQ(first.proposedName, "ring_Unwrapped.flv");
  EXPECT_EQ(state.options.OUTPUT_TYPE, 7);
  SeenFileDialog second;
  AnswerNextFileDialog("", &second);
  w.Dispatch(cmd::kConvert);
  EXPECT_EQ(second.proposedName, "ring_Unwrapped.webm");
}

TEST_F(KeptFixture, AReexportAtHalfSizeLeavesTheNextConversionAtItsOwnSize) {
  OpenWithMovie(5);
  const auto first = dir.path() / "first.mp4";
  const auto half = dir.path() / "half.mp4";
  SeenMessage second;
  AnswerNextMessageBox(QMessageBox::Ok, nullptr);  // "... another compression value ?" yes
  AnswerNextModal<RecompressDialog>("re-export", [&](RecompressDialog& d) {
    d.findChild<QLineEdit*>("101")->setText(QString::fromStdString(half.string()));
    auto* resize = d.findChild<QComboBox*>("870");
    resize->setCurrentIndex(5);
    emit resize->activated(5);
    AnswerNextMessageBox(QMessageBox::Cancel, &second);
    d.findChild<QPushButton*>("2002")->click();
  });
  session->Convert(first.string());
  EXPECT_EQ(second.title, "Successful termination");
  EXPECT_EQ(state.options.RESIZE, 0);
  EXPECT_TRUE(window->Action(cmd::kResizeFirst)->isChecked());

  const auto next = dir.path() / "next.mp4";
  ASSERT_EQ(Convert(next), "Successful termination");
  const auto a = ProbeFile(first);
  const auto b = ProbeFile(half);
  const auto c = ProbeFile(next);
  ASSERT_TRUE(a && b && c);
  EXPECT_LT(b->width, a->width * 6 / 10);
  EXPECT_EQ(c->width, a->width);
  EXPECT_EQ(c->height, a->height);
}

TEST_F(KeptFixture, CancelAndConversionLeaveTheMovieLoadedWhereItWas) {
  MainWindow& w = OpenWithMovie(10);
  state.settings.OPATH = dir.path().string();
  session->PlayPause(false);
  session->Source().Seek(2'400'000);  // 0.24 s
  ASSERT_TRUE(QTest::qWaitFor([&] { return session->Source().Position() == 2'400'000; }, 2000));
  auto restedAt = [&] {
    return w.Flags().movieOpen == 1 && state.StreamState == 1 && LabelText(304) == "320x240" &&
           session->Source().Position() == 2'400'000;
  };

  AnswerNextFileDialog("", nullptr);
  w.Dispatch(cmd::kConvert);
  EXPECT_TRUE(QTest::qWaitFor(restedAt, 2000)) << "a cancel lost the movie or its place";
  EXPECT_FALSE(LabelText(409).isEmpty());

  // CONVERT again at once, without loading the movie again.
  const auto output = dir.path() / "again.mp4";
  SeenMessage done;
  AnswerNextFileDialog(QString::fromStdString(output.string()), nullptr);
  AnswerNextMessageBox(QMessageBox::Cancel, &done);
  w.Dispatch(cmd::kConvert);
  EXPECT_EQ(done.title, "Successful termination") << done.text.toStdString();
  EXPECT_TRUE(std::filesystem::exists(output));
  EXPECT_TRUE(QTest::qWaitFor(restedAt, 20000)) << "the converted movie was not loaded again";
  EXPECT_EQ(LabelText(303).trimmed().toStdString(), movie.string());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return w.DoughnutArea()->Snapshot().pixel(300, 10) == qRgb(0, 0, 0); }, 5000));
}

// The decoder route ends its run with the movie closed too: it comes back all the same.
TEST_F(KeptFixture, AfterADecoderRouteRunTheMovieIsLoadedAgain) {
  MainWindow& w = OpenWithMovie(5);
  state.settings.DSSETUP = 2;
  const auto output = dir.path() / "decoded.mp4";
  ASSERT_EQ(ConvertThroughWindow(output), "Successful termination");
  EXPECT_TRUE(std::filesystem::exists(output));
  EXPECT_TRUE(QTest::qWaitFor([&] { return LabelText(304) == "320x240"; }, 5000));
  EXPECT_EQ(state.StreamState, 1);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return w.DoughnutArea()->Snapshot().pixel(300, 10) == qRgb(0, 0, 0); }, 5000));
}

// Presses STOP (or closes the window) once the frame loop runs.
void WhenRunning(MainWindow& w, std::function<void()> act) {
  auto* poll = new QTimer(&w);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, &w, act] {
    if (w.Flags().conversionRunning == 0 ||
        w.ControlAs<QLabel>(cmd::kFrameValue)->text().isEmpty()) {
      return;
    }
    poll->stop();
    act();
  });
  poll->start();
}

TEST_F(KeptFixture, StopSaysTheConversionWasStoppedAndNothingWritten) {
  MainWindow& w = OpenWithMovie(40);
  SlowFrames();
  const auto output = dir.path() / "stopped.mp4";
  SeenMessage said;
  WhenRunning(w, [&] {
    AnswerNextMessageBox(QMessageBox::Ok, &said);
    w.Dispatch(cmd::kStop);
  });
  session->Convert(output.string());
  EXPECT_EQ(said.title, "Conversion stopped");
  EXPECT_EQ(said.text, "The conversion was stopped. No movie was written.");
  EXPECT_FALSE(std::filesystem::exists(output));
}

// During a run every control that would be ignored or have no effect is greyed out,
// STOP stays usable, and all come back after the run, stopped or finished.
TEST_F(KeptFixture, ControlsAreGreyDuringARunExceptStop) {
  MainWindow& w = OpenWithMovie(30);
  SlowFrames();
  state.settings.OPATH = dir.path().string();
  const int32_t controls[] = {3900,
                              3904,
                              3918,
                              cmd::kLoad,
                              cmd::kSave,
                              cmd::kConvert,
                              cmd::kPlayPause,
                              cmd::kFastConversion,
                              cmd::kFlipHorizontal,
                              cmd::kFlipVertical,
                              cmd::kStereoPair,
                              cmd::kAspect,
                              cmd::kFindRing,
                              cmd::kCutAreaDialog,
                              cmd::kTempPath,
                              cmd::kShowLayout};
  const int32_t items[] = {cmd::kLoad,  cmd::kConvert,       cmd::kMovieToAvi, cmd::kR3d,
                           cmd::kAbout, cmd::kCutAreaDialog, cmd::kFindRing,   cmd::kViewer};
  auto enabledNames = [&] {
    std::vector<std::string> on;
    for (int32_t id : controls) {
      if (w.Control(id)->isEnabled()) on.push_back("control " + std::to_string(id));
    }
    for (int32_t id : items) {
      if (w.Action(id)->isEnabled()) on.push_back("item " + std::to_string(id));
    }
    return on;
  };
  for (const bool stop : {false, true}) {
    std::vector<std::string> duringRun{"not seen"};
    bool stopEnabled = false;
    SeenMessage end;
    WhenRunning(w, [&] {
      duringRun = enabledNames();
      stopEnabled = w.Control(cmd::kStop)->isEnabled();
      AnswerNextMessageBox(stop ? QMessageBox::Ok : QMessageBox::Cancel, &end);
      if (stop) w.Dispatch(cmd::kStop);
    });
    AnswerNextFileDialog(
        QString::fromStdString((dir.path() / (stop ? "stopped.mp4" : "whole.mp4")).string()),
        nullptr);
    w.Dispatch(cmd::kConvert);
    EXPECT_EQ(duringRun, std::vector<std::string>{}) << (stop ? "stopped run" : "whole run");
    EXPECT_TRUE(stopEnabled);
    EXPECT_EQ(end.title, stop ? "Conversion stopped" : "Successful termination");
    EXPECT_EQ(enabledNames().size(), std::size(controls) + std::size(items))
        << "all back after the run";
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Flags().movieOpen == 1; }, 20000));
  }
}

// The bar is ticked every few frames; a run through the whole movie ends with it full
// and the counter at the last frame, through either route.
TEST_F(KeptFixture, AWholeRunEndsWithTheBarFullAndTheCounterAtTheLastFrame) {
  MainWindow& w = OpenWithMovie(45);
  for (const int32_t route : {0, 2}) {
    state.settings.DSSETUP = route;
    w.Flags().progressBarWidth = 1;
    // The counter as the bar fills; the window clears it once the run has ended.
    QString counterWhenFull;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (counterWhenFull.isEmpty() && w.Flags().progressBarWidth == 598) {
        counterWhenFull = LabelText(cmd::kFrameValue);
      }
    });
    watch.start(2);
    const auto output = dir.path() / ("whole " + std::to_string(route) + ".mp4");
    ASSERT_EQ(ConvertThroughWindow(output), "Successful termination") << route;
    watch.stop();
    EXPECT_EQ(w.Flags().progressBarWidth, 598) << "route " << route;
    EXPECT_EQ(counterWhenFull.toInt(), 45) << "route " << route;
  }
}

TEST_F(KeptFixture, ClosingDuringARunAsksWhileTheRunGoesOn) {
  MainWindow& w = OpenWithMovie(40);
  SlowFrames();
  state.settings.OPATH = dir.path().string();
  const auto output = dir.path() / "closed.mp4";
  QString asked;
  QString frameWhenAsked;
  bool wentOn = false;
  WhenRunning(w, [&] {
    w.close();
    auto* box = w.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    asked = box->text();
    frameWhenAsked = LabelText(cmd::kFrameValue);
    // The question waits while the frames go on; then the user answers. A loaded
    // machine may take a while for the next frame, so the watch is patient but bounded.
    auto* watch = new QTimer(&w);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(watch, &QTimer::timeout, &w,
                     [&, watch, started, box = QPointer<QMessageBox>(box)] {
                       wentOn = LabelText(cmd::kFrameValue) != frameWhenAsked;
                       if (!wentOn && started->elapsed() < 20000) return;
                       watch->stop();
                       if (box) box->button(QMessageBox::Ok)->click();
                     });
    watch->start(100);
  });
  AnswerNextFileDialog(QString::fromStdString(output.string()), nullptr);
  w.Dispatch(cmd::kConvert);
  EXPECT_EQ(asked, "Stop the conversion and quit? The movie being written will be discarded.");
  EXPECT_TRUE(wentOn) << "the conversion froze while the question was open";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 5000));
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_EQ(w.Flags().movieOpen, 0) << "a window that quits opens no movie again";
}

// A question left open until the run has ended no longer applies: it goes, and the
// window stays with its movie.
TEST_F(KeptFixture, AStopQuestionLeftOpenGoesWhenTheRunEnds) {
  MainWindow& w = OpenWithMovie(20);
  SlowFrames();
  state.settings.OPATH = dir.path().string();
  QPointer<QMessageBox> question;
  WhenRunning(w, [&] {
    w.close();
    question = w.findChild<QMessageBox*>();
  });
  // The run's own closing message, answered by its title: the question stays unanswered.
  QString successTitle;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    for (QMessageBox* box : w.findChildren<QMessageBox*>()) {
      if (box->isVisible() && box->windowTitle() == "Successful termination") {
        successTitle = box->windowTitle();
        box->button(QMessageBox::Cancel)->click();
      }
    }
  });
  answer.start(20);
  AnswerNextFileDialog(QString::fromStdString((dir.path() / "kept.mp4").string()), nullptr);
  w.Dispatch(cmd::kConvert);
  answer.stop();
  ASSERT_EQ(successTitle, "Successful termination");
  EXPECT_TRUE(QTest::qWaitFor([&] { return question.isNull() || !question->isVisible(); }, 2000));
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Flags().movieOpen == 1; }, 20000));
}

// The output projection's menu: its choices are saved with the settings, come back
// checked after a restart, make the next conversion a 2:1 360-degree movie, and the 360
// viewer then shows that frame.
TEST_F(KeptFixture, TheProjectionChosenInTheMenuOutlivesARestartAndShapesTheOutput) {
  MainWindow& w = OpenWithMovie(3);
  const auto choose = [&w](const char* name) {
    QAction* action = w.findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  };
  choose("projectionEquirect");
  choose("fillSoft");
  choose("horizon-10");
  EXPECT_EQ(state.options.PROJECTION, 1);
  EXPECT_EQ(state.options.FILL, 1);
  EXPECT_EQ(state.options.HORIZON, -10);
  w.Dispatch(cmd::kSave);

  MainWindow& again = Restart();
  EXPECT_EQ(state.options.PROJECTION, 1);
  EXPECT_EQ(state.options.FILL, 1);
  EXPECT_EQ(state.options.HORIZON, -10);
  QMenu* menu = again.findChild<QMenu*>("projectionMenu");
  QMenu* horizon = again.findChild<QMenu*>("horizonMenu");
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(horizon, nullptr);
  emit menu->aboutToShow();
  emit horizon->aboutToShow();
  EXPECT_TRUE(again.findChild<QAction*>("projectionEquirect")->isChecked());
  EXPECT_FALSE(again.findChild<QAction*>("projectionStrip")->isChecked());
  EXPECT_TRUE(again.findChild<QAction*>("fillSoft")->isChecked());
  EXPECT_TRUE(again.findChild<QAction*>("horizon-10")->isChecked());
  EXPECT_FALSE(again.findChild<QAction*>("horizon0")->isChecked());

  const auto output = dir.path() / "sphere é.mp4";
  ASSERT_EQ(Convert(output), "Successful termination");
  const auto facts = ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->height, 2 * (facts->width / 4));  // W / 2, even
  EXPECT_EQ(facts->projection, "equirectangular");

  // The viewer gets the 2:1 frame: it may look (nearly) straight up and down, where the
  // strip's height alone would stop it far earlier.
  session->StartViewer(again);
  ViewerWindow* viewer = again.findChild<ViewerWindow*>();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->FramesDrawn() >= 2; }, 10000));
  EXPECT_NEAR(viewer->State().pitchMax, 180.0 * facts->height / facts->width, 0.01);
  EXPECT_GT(viewer->State().pitchMax, 85.0f);
  const QImage shown = viewer->LastFrame();
  ASSERT_FALSE(shown.isNull());
  EXPECT_NE(shown.pixel(shown.width() / 2, shown.height() / 2) & 0xFFFFFF, 0u)
      << "the strip is at the viewer's level view";
  viewer->close();
}

}  // namespace
}  // namespace corvinex::test
