// The dispatcher driven through menus, accelerators and clicks.

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QWheelEvent>
#include <filesystem>

#include "app/window/bitmap_button.h"
#include "app/window/click_sound.h"
#include "app/window/command_ids.h"
#include "app/window/cut_area_dialog.h"
#include "convert/child_process.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "media/movie_ring.h"
#include "support/sample_movie.h"
#include "transform/cut_area.h"

namespace corvinex::test {
namespace {

TEST_F(WindowFixture, WithoutAMovieTheMovieCommandsDoNothing) {
  MainWindow& w = Open();
  const AppSettings before = state.settings;
  QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);  // Save
  ClickControl(101);                                    // Play/Pause
  QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);  // Convert
  for (int32_t id : {3900, 3901, 3902, 3903, 3904, 3907, 3908, 3917, 3918}) ClickControl(id);
  EXPECT_FALSE(std::filesystem::exists(state.paths.settingsFile));
  EXPECT_EQ(state.settings, before);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(w.Sounds().PlayCounts()[0], 0);
  EXPECT_EQ(w.Sounds().PlayCounts()[1], 0);
  EXPECT_EQ(LabelText(300), "-8");
}

TEST_F(WindowFixture, CutAreaButtonsMoveTheRingAndItsLabels) {
  MainWindow& w = Open();
  PretendMovie(1920, 1080);
  ClickControl(3904);  // reset
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{150, 20, 316, 306, 32}));
  EXPECT_EQ(w.Flags().cutAreaRedraw, 1);
  ClickControl(3907);  // external circle larger
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{149, 19, 318, 308, 32}));
  ClickControl(3901);
  ClickControl(3903);
  ClickControl(3917);
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{150, 20, 318, 308, 33}));
  EXPECT_EQ(LabelText(300), "150");
  EXPECT_EQ(LabelText(301), "20");
  EXPECT_EQ(LabelText(302), "168");
  EXPECT_EQ(LabelText(310), "318");
  EXPECT_EQ(LabelText(311), "308");
  EXPECT_EQ(LabelText(322), "33");
  EXPECT_EQ(w.Sounds().PlayCounts()[1], 5);  // the second click sound, every time

  // Not adjustable (a conversion or the viewer runs): nothing moves.
  w.Flags().cutAreaAdjustable = 0;
  ClickControl(3900);
  EXPECT_EQ(state.settings.X1, 150);
  EXPECT_EQ(w.Sounds().PlayCounts()[1], 5);
}

// Mouse, wheel and key events on the doughnut preview, as a user makes them.
struct PreviewHand {
  QWidget* canvas;
  int32_t oy;  // where the picture starts inside the 600 x 600 area

  void Send(QEvent::Type type, QPointF units, Qt::MouseButtons buttons) {
    const QPointF at(units.x(), units.y() + oy);
    QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
  }
  void Drag(QPointF from, QPointF to) {
    Send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int i = 1; i <= 4; ++i) {
      Send(QEvent::MouseMove, from + (to - from) * i / 4.0, Qt::LeftButton);
    }
    Send(QEvent::MouseButtonRelease, to, Qt::NoButton);
  }
  void Wheel(int notches, Qt::KeyboardModifiers modifiers = {}) {
    const QPointF at(300, 300);
    QWheelEvent event(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &event);
  }
};

TEST_F(WindowFixture, TheRingIsPlacedByDragWheelKeysAndTypedValues) {
  MainWindow& w = Open();
  PretendMovie(1920, 1080);  // preview 600 x 338, centred: the picture starts 131 down
  ClickControl(3904);        // reset: 150,20,316,306,32, centre 308,173, radius 155.5
  PreviewHand hand{w.Control(cmd::kDoughnutArea), 131};

  hand.Drag({388, 173}, {408, 163});  // inside the ring: moves it
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{170, 10, 316, 306, 32}));
  EXPECT_EQ(LabelText(300), "170");
  hand.Drag({328 + 155.5, 163}, {328 + 165.5, 163});  // the outer edge, 10 further out
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{160, 0, 336, 326, 32}));
  hand.Drag({328, 163 - 32}, {328, 163 - 50});  // the inner edge
  EXPECT_EQ(state.settings.RSIZE, 50);
  EXPECT_EQ(LabelText(322), "50");

  hand.Wheel(2);
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{158, -2, 340, 330, 50}));
  hand.Wheel(-3, Qt::ShiftModifier);
  EXPECT_EQ(state.settings.RSIZE, 47);
  QTest::keyClick(hand.canvas, Qt::Key_Left);
  QTest::keyClick(hand.canvas, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(state.settings.X1, 157);
  EXPECT_EQ(state.settings.Y1, 8);

  // Past a limit the ring stops at the last allowed size instead of turning inside out.
  const RingGeometry before = RingFromSettings(state.settings);
  const QPointF centre(before.X1 + before.X2 / 2.0, before.Y1 + before.Y2 / 2.0);
  hand.Drag(centre + QPointF(0, -(before.X2 + before.Y2) / 4.0), centre + QPointF(0, 400));
  EXPECT_EQ(CutAreaViolations(RingFromSettings(state.settings), 1920, 1080), 0u);
  EXPECT_GT(state.settings.X2, 0);

  // A pressed button goes on stepping until it is let go.
  const int32_t x1 = state.settings.X1;
  QTest::mousePress(w.Control(3900), Qt::LeftButton);
  QTest::qWait(700);
  QTest::mouseRelease(w.Control(3900), Qt::LeftButton);
  EXPECT_LT(state.settings.X1, x1 - 3);

  // Nothing moves while the Cut Area is not adjustable (a conversion or the viewer).
  w.Flags().cutAreaAdjustable = 0;
  const RingGeometry locked = RingFromSettings(state.settings);
  hand.Drag({300, 170}, {350, 200});
  hand.Wheel(3);
  EXPECT_EQ(RingFromSettings(state.settings), locked);
}

TEST_F(WindowFixture, TheCutAreaDialogAppliesTypedValuesAndFollowsTheRing) {
  MainWindow& w = Open();
  PretendMovie(1920, 1080);
  ClickControl(3904);
  w.Dispatch(cmd::kCutAreaDialog);
  auto* dialog = w.findChild<CutAreaDialog*>();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(dialog->isVisible());
  dialog->Field(2)->setValue(300);  // width
  dialog->Field(3)->setValue(300);  // height: a square Cut Area, out of the buttons' reach
  dialog->Field(4)->setValue(40);
  EXPECT_EQ(RingFromSettings(state.settings), (RingGeometry{150, 20, 300, 300, 40}));
  EXPECT_EQ(LabelText(310), "300");
  dialog->Field(4)->setValue(400);  // inner circle outside the outer one
  EXPECT_EQ(state.settings.RSIZE, 40);
  EXPECT_TRUE(dialog->Problem().contains("inner circle")) << dialog->Problem().toStdString();
  ClickControl(3901);  // a button moves the ring; the dialog shows it
  EXPECT_EQ(dialog->Field(0)->value(), 151);
  EXPECT_EQ(dialog->Field(4)->value(), 40);
  dialog->close();
}

TEST_F(WindowFixture, FindRingPlacesTheRingOrSaysWhyNot) {
  MainWindow& w = Open();
  const std::filesystem::path movie = dir / "ring take.mp4";
  test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 6});
  PretendMovie(320, 240);
  w.Flags().moviePath = movie.string();
  ClickControl(3904);
  ASSERT_TRUE(w.ApplyCutArea({90, 70, 250, 250, 20}));  // well off the ring
  ClickControl(cmd::kFindRing);
  // The sample's ring is the Cut Area 150,20,316,306; it has no dark centre, so the
  // inner circle stays as it was.
  const RingGeometry found = RingFromSettings(state.settings);
  EXPECT_NEAR(found.X1 + found.X2 / 2.0, 308, 3);
  EXPECT_NEAR(found.Y1 + found.Y2 / 2.0, 173, 3);
  EXPECT_NEAR(found.X2, 311, 8);
  EXPECT_EQ(found.RSIZE, 20);
  EXPECT_EQ(LabelText(300), QString::number(found.X1));
  // The window says what it found, as sure as the search was.
  auto* report = w.findChild<QMessageBox*>("ringReport");
  ASSERT_NE(report, nullptr);
  EXPECT_TRUE(report->isVisible());
  EXPECT_FALSE(report->isModal());
  EXPECT_TRUE(report->text().contains("Confidence: ")) << report->text().toStdString();
  EXPECT_TRUE(report->text().contains("inner circle is left as it was"));
  const double confidence = FindRingInMovie(movie.string()).ring.confidence;
  EXPECT_EQ(report->icon(),
            confidence < kDoubtfulRingConfidence ? QMessageBox::Warning : QMessageBox::Information);
  FoundRing doubtful{.found = true,
                     .centreX = 300,
                     .centreY = 170,
                     .outerRadius = 150,
                     .innerRadius = 30,
                     .confidence = 0.43,
                     .reason = {}};
  w.ShowRingFound(doubtful);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  report = w.findChild<QMessageBox*>("ringReport");
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(w.findChildren<QMessageBox*>("ringReport").size(), 1) << "the older report went";
  EXPECT_EQ(report->icon(), QMessageBox::Warning);
  EXPECT_TRUE(report->text().contains("0.43"));
  EXPECT_TRUE(report->text().contains("may be off"));
  doubtful.confidence = 0.91;
  w.ShowRingFound(doubtful);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  report = w.findChild<QMessageBox*>("ringReport");
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->icon(), QMessageBox::Information);
  EXPECT_FALSE(report->text().contains("may be off"));
  report->close();

  const std::filesystem::path flat = dir / "flat grey.mp4";
  ASSERT_EQ(RunProcess({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=c=gray:s=320x240:d=1",
                        "-y", flat.string()})
                .exitCode,
            0);
  w.Flags().moviePath = flat.string();
  SeenMessage said;
  AnswerNextMessageBox(QMessageBox::Ok, &said);
  w.Dispatch(cmd::kFindRing);
  EXPECT_TRUE(said.text.startsWith("No ring was found")) << said.text.toStdString();
  EXPECT_EQ(RingFromSettings(state.settings), found);
}

TEST_F(WindowFixture, RadioGroupsTickExactlyTheChosenItem) {
  MainWindow& w = Open();
  w.Action(837)->trigger();
  EXPECT_EQ(state.settings.BITRATE, 7);
  for (int32_t id = 830; id <= 839; ++id) EXPECT_EQ(w.Action(id)->isChecked(), id == 837) << id;
  w.Action(843)->trigger();
  EXPECT_EQ(state.settings.CODECMODE, 3);
  w.Action(873)->trigger();
  EXPECT_EQ(state.options.RESIZE, 3);
  EXPECT_TRUE(w.Action(873)->isChecked());
  EXPECT_FALSE(w.Action(870)->isChecked());
  w.Action(884)->trigger();
  EXPECT_EQ(state.options.AUDIO_RATE, 4);
  w.Action(891)->trigger();
  EXPECT_EQ(state.options.AUDIO_CHANNELS, 1);
  EXPECT_FALSE(w.Action(890)->isChecked());
  w.Action(898)->trigger();
  EXPECT_EQ(state.options.STEREO_TYPE, 1);
  // Triggering the ticked item again keeps it ticked.
  w.Action(898)->trigger();
  EXPECT_TRUE(w.Action(898)->isChecked());

  w.Action(905)->trigger();  // "Depth value = 35"
  EXPECT_EQ(state.options.DEPTH, 35);
  EXPECT_TRUE(w.Action(905)->isChecked());
  EXPECT_EQ(w.ControlAs<QComboBox>(900)->currentText(), "35");
  w.Action(909)->trigger();
  EXPECT_EQ(state.options.DEPTH, 55);
  for (int32_t id = 902; id <= 916; ++id) EXPECT_EQ(w.Action(id)->isChecked(), id == 909) << id;

  // The depth list chooses the same way.
  auto* list = w.ControlAs<QComboBox>(900);
  list->setCurrentIndex(list->findText("80"));
  emit list->activated(list->currentIndex());
  EXPECT_EQ(state.options.DEPTH, 80);
  EXPECT_TRUE(w.Action(914)->isChecked());

  w.Action(803)->trigger();
  EXPECT_FLOAT_EQ(state.settings.HSIZE, 0.015f);
  EXPECT_EQ(state.lensName, "Ambrix Lens ");
  for (int32_t id = 801; id <= 805; ++id) EXPECT_EQ(w.Action(id)->isChecked(), id == 803) << id;
}

TEST_F(WindowFixture, DirectShowSetupExplainsTheChoice) {
  MainWindow& w = Open();
  SeenMessage seen;
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  w.Action(824)->trigger();
  EXPECT_EQ(state.settings.DSSETUP, 2);
  EXPECT_EQ(seen.title, "Direct Show Setup");
  EXPECT_TRUE(seen.text.startsWith("The FFMpeg internal interface.\r\n"));
  EXPECT_TRUE(w.Action(824)->isChecked());
  EXPECT_FALSE(w.Action(821)->isChecked());
}

TEST_F(WindowFixture, SwitchesFollowMenuAndCheckBoxAlike) {
  MainWindow& w = Open();
  w.Action(599)->trigger();
  EXPECT_EQ(state.settings.AUTOSAVE, 0);
  EXPECT_FALSE(w.ControlAs<QCheckBox>(599)->isChecked());
  ClickControl(599);
  EXPECT_EQ(state.settings.AUTOSAVE, 1);
  EXPECT_TRUE(w.Action(599)->isChecked());

  ClickControl(743);
  EXPECT_EQ(state.settings.STEREO_OUT_TYPE, 8);
  EXPECT_TRUE(w.Action(743)->isChecked());
  w.Action(743)->trigger();
  EXPECT_EQ(state.settings.STEREO_OUT_TYPE, 0);
  EXPECT_FALSE(w.ControlAs<QCheckBox>(743)->isChecked());

  w.Action(808)->trigger();
  EXPECT_EQ(state.options.STEREO_3DP, 1);
  EXPECT_TRUE(w.ControlAs<QCheckBox>(808)->isChecked());
  ClickControl(899);
  EXPECT_EQ(state.options.DEPTH_CH, 1);
  EXPECT_TRUE(w.Action(899)->isChecked());
}

TEST_F(WindowFixture, CheckBoxesSetTheirOptionAndColour) {
  MainWindow& w = Open();
  ClickControl(523);
  EXPECT_EQ(state.settings.BRIGHTNESS_CH, 1);
  EXPECT_TRUE(w.Control(523)->styleSheet().contains("color: #FFFFFF"));
  ClickControl(208);
  EXPECT_EQ(state.settings.SHARPEN_CH, 0);
  EXPECT_TRUE(w.Control(208)->styleSheet().contains("color: #000000"));
  ClickControl(598);
  EXPECT_EQ(state.options.OS_PREVIEW, 1);

  SeenMessage seen;
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  ClickControl(115);
  EXPECT_EQ(state.settings.ASPECT, 1);
  EXPECT_EQ(seen.title, "Warning !");
  EXPECT_EQ(seen.text,
            "Fix aspect ratio PARxDAR\r\nUse the option only, if a frame of image is stretched.");
  ClickControl(115);
  EXPECT_EQ(state.settings.ASPECT, 0);
  ClickControl(598);
  EXPECT_EQ(state.options.OS_PREVIEW, 0);
  // Off, each caption still reads clearly on its black.
  for (const int32_t id : {115, 598}) {
    const QImage look = w.Control(id)->grab().toImage();
    int brightest = 0;
    for (int y = 0; y < look.height(); ++y) {
      for (int x = look.width() / 6; x < look.width(); ++x) {
        brightest = std::max(brightest, qGray(look.pixel(x, y)));
      }
    }
    EXPECT_GE(brightest, 0xB0) << id;
  }
}

TEST_F(WindowFixture, FlipsMakeTheViewerWaitForTheNextPanorama) {
  MainWindow& w = Open();
  w.Flags().viewerReady = 1;
  ClickControl(741);
  EXPECT_EQ(state.options.FLIP_MODE, 1);
  EXPECT_EQ(w.Flags().viewerReady, 0);
  EXPECT_TRUE(w.Control(741)->styleSheet().contains("#4150FF"));
  ClickControl(740);
  EXPECT_EQ(state.options.FLIP_MODE, 3);
  QTest::keyClick(&w, Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(calls.empty());  // no panorama yet: the viewer stays shut
  w.Flags().viewerReady = 1;
  QTest::keyClick(&w, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(calls, std::vector<std::string>({"startViewer"}));
  w.Flags().viewerOpen = 1;
  QTest::keyClick(&w, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(calls.size(), 1u);  // a second viewer is ignored
}

TEST_F(WindowFixture, ResetButtonsPutTheSlidersBack) {
  MainWindow& w = Open();
  w.ControlAs<QSlider>(520)->setValue(10);
  ClickControl(582);
  EXPECT_EQ(state.settings.BRIGHTNESS, 127);
  EXPECT_EQ(w.ControlAs<QSlider>(520)->value(), 127);
  ClickControl(581);
  EXPECT_EQ(state.settings.SHARPEN, 1);
  EXPECT_EQ(state.settings.RADIUS, 0);
  ClickControl(585);
  EXPECT_EQ(state.settings.CPU, 100);
  ClickControl(584);
  EXPECT_EQ(state.settings.NOISE, 1);
  ClickControl(583);
  EXPECT_EQ(state.settings.CONTRAST, 127);
}

TEST_F(WindowFixture, OutsideCommandsGoThroughTheirServices) {
  MainWindow& w = Open();
  WriteFileBytes(state.paths.programFolder / "TLVPUB.pdf", "%PDF-1.4\n");
  QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
  QTest::keyClick(&w, Qt::Key_F1);
  w.Action(951)->trigger();
  w.Action(103)->trigger();
  w.Action(215)->trigger();
  w.Action(216)->trigger();
  const std::string manual =
      QUrl::fromLocalFile(
          QString::fromStdString((state.paths.programFolder / "TLVPUB.pdf").string()))
          .toString()
          .toStdString();
  EXPECT_EQ(calls, std::vector<std::string>({"r3d controls off", "open " + manual,
                                             "open https://corvinex.example.org/", "about",
                                             "chooseLogo", "logoMaker running"}));
  EXPECT_TRUE(w.Action(100)->isEnabled());  // back on after the R3D start
  EXPECT_EQ(w.Flags().logoMakerRunning, 0);
  EXPECT_EQ(w.Flags().logoState, 10);
}

// Help and Web Site say so when nothing can show the manual or the page.
TEST_F(WindowFixture, HelpAndWebSiteTellWhenNothingCanOpenThem) {
  MainWindow& w = Open();
  SeenMessage seen;
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  w.Dispatch(cmd::kHelp);
  EXPECT_EQ(seen.title, "Help");
  EXPECT_TRUE(seen.text.startsWith("The manual was not found:")) << seen.text.toStdString();

  w.Services().openUrl = [](const QUrl&) { return false; };  // no viewer installed
  WriteFileBytes(state.paths.programFolder / "TLVPUB.pdf", "%PDF-1.4\n");
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  w.Dispatch(cmd::kHelp);
  EXPECT_TRUE(seen.text.startsWith("No program to show PDF files was found."))
      << seen.text.toStdString();
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  w.Action(cmd::kWebSite)->trigger();
  EXPECT_EQ(seen.title, "Web Site");
  EXPECT_TRUE(seen.text.endsWith("https://corvinex.example.org/")) << seen.text.toStdString();
}

TEST_F(WindowFixture, SaveWritesTheSettingsOnceAMovieStreams) {
  MainWindow& w = Open();
  PretendMovie(640, 480);
  state.settings.X1 = 33;
  QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
  AppSettings saved;
  ASSERT_TRUE(ReadSettings(state.paths.settingsFile, saved).complete);
  EXPECT_EQ(saved.X1, 33);
  EXPECT_EQ(w.ControlAs<BitmapButton>(102)->ImageName(), "b_save1");
  EXPECT_EQ(w.Sounds().PlayCounts()[0], 1);
}

TEST_F(WindowFixture, FileInformationShowsTheProbeText) {
  MainWindow& w = Open();
  SeenMessage seen;
  w.Action(597)->trigger();  // blank: nothing shown
  w.Flags().movieInformation = "Duration: 00:00:05.00\r\nStream #0:0: Video";
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  w.Action(597)->trigger();
  EXPECT_EQ(seen.title, "Video file information");
  EXPECT_EQ(seen.text.toStdString(), w.Flags().movieInformation);
}

TEST_F(WindowFixture, StopWorksOnlyDuringAConversion) {
  MainWindow& w = Open();
  ClickControl(806);
  EXPECT_EQ(state.stopFlag, 0);
  w.Flags().conversionRunning = 1;
  ClickControl(806);
  EXPECT_EQ(state.stopFlag, 1);
}

TEST_F(WindowFixture, HoverShowsOneButtonAtATime) {
  MainWindow& w = Open();
  auto* load = w.ControlAs<BitmapButton>(100);
  auto* save = w.ControlAs<BitmapButton>(102);
  QTest::mouseMove(load, load->rect().center());
  QTest::qWait(20);
  EXPECT_EQ(load->ImageName(), "b_load3");
  EXPECT_EQ(w.HoverTable()[2], 1);
  QTest::mouseMove(save, save->rect().center());
  QTest::qWait(20);
  EXPECT_EQ(load->ImageName(), "b_load1");
  EXPECT_EQ(save->ImageName(), "b_save3");
  EXPECT_EQ(w.HoverTable(), (std::array<int32_t, 6>{0, 1, 0, 0, 0, 0}));
  QTest::mouseMove(w.Control(2007), QPoint(10, 10));
  QTest::qWait(20);
  EXPECT_EQ(save->ImageName(), "b_save1");
}

TEST_F(WindowFixture, ExitAsksAndAnEncoderRunKeepsTheWindow) {
  MainWindow& w = Open();
  w.SetEncoderBusy(true);
  w.Action(107)->trigger();
  EXPECT_TRUE(w.isVisible());
  w.SetEncoderBusy(false);
  SeenMessage seen;
  AnswerNextMessageBox(QMessageBox::Cancel, &seen);
  w.Action(107)->trigger();
  EXPECT_EQ(seen.text, "Are you sure?");
  EXPECT_TRUE(w.isVisible());
  AnswerNextMessageBox(QMessageBox::Ok, nullptr);
  w.Action(107)->trigger();
  EXPECT_FALSE(w.isVisible());
  EXPECT_NE(ReadFileBytes(state.paths.logFile).find("EXIT3"), std::string::npos);
}

TEST_F(WindowFixture, NoOperationStartsWhileOneRunsInPlace) {
  MainWindow& w = Open();
  PretendMovie(640, 480);
  state.settings.OPATH = dir.path().string();
  bool nestedTried = false;
  // The conversion pumps events; meanwhile the user tries the accelerators.
  w.Services().convertMovie = [&](MainWindow& win, const std::string&) {
    calls.push_back("convert");
    EXPECT_FALSE(win.Action(104)->isEnabled());
    QTest::keyClick(&win, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&win, Qt::Key_D, Qt::ControlModifier);  // R3D would switch controls on
    win.Dispatch(100);
    nestedTried = true;
    EXPECT_FALSE(win.Action(104)->isEnabled());
  };
  SeenFileDialog seen;
  AnswerNextFileDialog((dir.path() / "out.mp4").c_str(), &seen);
  QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(nestedTried);
  EXPECT_EQ(calls, std::vector<std::string>({"stopForConversion", "convert"}));
  EXPECT_TRUE(w.Action(104)->isEnabled());
  EXPECT_TRUE(w.Control(3900)->isEnabled());
}

}  // namespace
}  // namespace corvinex::test
