// The window over a real movie: the stream loop fills the labels and draws the
// previews; a whole conversion runs through the window's dialogs.

#include <QCheckBox>
#include <QDir>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>

#include "app/window/command_ids.h"
#include "app/window/movie_session.h"
#include "app/window/window_snapshot.h"
#include "extras/logo_decode.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "settings/kept_choices.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "transform/logo_frame.h"
#include "transform/unwrap_geometry.h"
#include "view/preview_canvas.h"

namespace corvinex::test {
namespace {

QString SnapshotPath(const QString& name) {
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

struct SessionFixture : WindowFixture {
  std::unique_ptr<MovieSession> session;
  std::filesystem::path movie;

  MainWindow& OpenWithMovie() {
    // The program folder's encoder tool is the build's adapter.
    std::filesystem::create_directory_symlink(CORVINEX_PLUGIN_DIR, dir.path() / "PLUG-IN");
    movie = dir.path() / "ring é.mp4";
    MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 10});
    MainWindow& w = Open();
    session = std::make_unique<MovieSession>(w);
    session->Provide(w.Services());
    session->OpenMovie(movie.string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Flags().movieOpen == 1; }, 20000));
    // The first refresh has drawn the frame over the caption.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.DoughnutArea()->Snapshot().pixel(300, 10) == qRgb(0, 0, 0); }, 10000));
    return w;
  }
  void TearDown() override {
    session.reset();
    WindowFixture::TearDown();
  }
};

TEST_F(SessionFixture, LoadedMovieFillsLabelsAndPreviews) {
  MainWindow& w = OpenWithMovie();
  QTest::qWait(200);
  EXPECT_EQ(LabelText(304), "320x240");
  EXPECT_FALSE(LabelText(309).isEmpty());
  EXPECT_EQ(state.StreamState, 1);
  // The panorama area shows a picture, no longer the caption grey.
  EXPECT_NE(w.TransformArea()->Snapshot().pixel(500, 80), qRgb(0x33, 0x33, 0x33));
  EXPECT_TRUE(SaveWindowPng(w, SnapshotPath("main_window_movie.png")));

  // A Cut Area step redraws the ring at its new place on the next pass.
  ClickControl(3904);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Flags().cutAreaRedraw == 0; }, 5000));
  EXPECT_EQ(LabelText(300), "150");

  // During a conversion the panorama carries the progress text.
  ProgressState progress;
  OverlayInfo info;
  info.lensName = state.lensName;
  PreviewScene scene;
  FrameImage panorama(400, 101);
  scene.panorama = &panorama;
  scene.panoramaWidth = 400;
  scene.panoramaRows = 100;
  scene.conversionRunning = true;
  scene.progressLines = ProgressOverlayLines(progress, info);
  w.Flags().conversionRunning = 1;
  QTest::qWait(150);  // a refresh already under way finishes first
  w.DrawPreview(scene);
  QCoreApplication::processEvents();
  EXPECT_TRUE(SaveWindowPng(w, SnapshotPath("main_window_converting.png")));
  w.Flags().conversionRunning = 0;

  session->CloseMovie();
  EXPECT_EQ(w.Flags().movieOpen, 0);
}

// Pixels of the overlay's label grey in the panorama area's upper left, where the
// progress text goes.
int CountOverlayPixels(const QImage& area) {
  int count = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 400; ++x) count += area.pixel(x, y) == qRgb(0x80, 0x80, 0x80) ? 1 : 0;
  }
  return count;
}

// While paused, every control that changes the picture redraws both previews at once,
// and the previews show the output's adjustments.
TEST_F(SessionFixture, PausedPreviewsFollowTheControlsAtOnce) {
  MainWindow& w = OpenWithMovie();
  session->PlayPause(false);
  QTest::qWait(300);
  auto changesSoon = [&](PreviewCanvas* area, const std::function<void()>& act) {
    const QImage before = area->Snapshot();
    act();
    return QTest::qWaitFor([&] { return area->Snapshot() != before; }, 1000);
  };
  EXPECT_TRUE(changesSoon(w.DoughnutArea(), [&] { ClickControl(3904); })) << "Cut Area step";

  const QImage dim = w.TransformArea()->Snapshot();
  const QPoint probe(500, 80);
  EXPECT_TRUE(changesSoon(w.TransformArea(), [&] {
    w.ControlAs<QSlider>(cmd::kBrightnessSlider)->setValue(250);
    ClickControl(cmd::kBrightnessCheck);
  })) << "brightness";
  QTest::qWait(200);  // the refresh the slider asked for may come before the tick's
  const QImage bright = w.TransformArea()->Snapshot();
  EXPECT_GT(qGray(bright.pixel(probe)), qGray(dim.pixel(probe)) + 40);

  EXPECT_TRUE(changesSoon(w.TransformArea(), [&] { ClickControl(cmd::kFlipVertical); }))
      << "vertical flip";
  SeenMessage warning;  // the tick warns that the option is only for stretched frames
  EXPECT_TRUE(changesSoon(w.DoughnutArea(), [&] {
    AnswerNextMessageBox(QMessageBox::Ok, &warning);
    ClickControl(cmd::kAspect);
  })) << "Fix aspect ratio";
  EXPECT_EQ(warning.title, "Warning !");
}

// During a conversion the panorama area shows the converted frames with the progress
// text; the captions come back at the end.
TEST_F(SessionFixture, ConversionShowsItsFramesAndProgressInThePanoramaArea) {
  MainWindow& w = OpenWithMovie();
  int mostOverlay = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (w.Flags().conversionRunning == 0) return;
    mostOverlay = std::max(mostOverlay, CountOverlayPixels(w.TransformArea()->Snapshot()));
  });
  watch.start(10);
  SeenMessage done;
  AnswerNextMessageBox(QMessageBox::Cancel, &done);
  session->Convert((dir.path() / "shown.mp4").string());
  watch.stop();
  EXPECT_EQ(done.title, "Successful termination");
  EXPECT_GT(mostOverlay, 300) << "no progress text was drawn over a converted frame";
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return CountOverlayPixels(w.TransformArea()->Snapshot()) == 0; }, 5000));
}

// Preview playback plays the movie's sound; a device that lags loses the oldest
// sound, never the picture's time.
TEST_F(SessionFixture, PlaybackFeedsTheSoundOutputWithoutEverBlocking) {
  OpenWithMovie();
  session->PlayPause(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return session->Audio().Queued() > 0; }, 5000));

  QtAudioOutput sound;
  sound.Start(100, 2);  // room for one second: 200 values
  std::vector<int16_t> samples(300);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i);
  sound.Write(samples.data(), 150);
  EXPECT_EQ(sound.Queued(), 200u);
  int16_t first[2] = {};
  ASSERT_EQ(sound.read(reinterpret_cast<char*>(first), sizeof first), 4);
  EXPECT_EQ(first[0], 100);  // the oldest 100 values made room
  sound.Flush();
  EXPECT_EQ(sound.Queued(), 0u);
  int16_t gap[2] = {7, 7};
  ASSERT_EQ(sound.read(reinterpret_cast<char*>(gap), sizeof gap), 4);
  EXPECT_EQ(gap[0], 0);  // silence while nothing is queued
}

// One click on Play/Pause plays a movie that reached its end again from the start.
TEST_F(SessionFixture, OneClickReplaysAMovieThatReachedItsEnd) {
  MainWindow& w = OpenWithMovie();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Services().movieAtEnd(w); }, 10000));
  w.Dispatch(cmd::kPlayPause);
  EXPECT_EQ(w.Flags().paused, 0);
  EXPECT_FALSE(w.Services().movieAtEnd(w));
}

TEST_F(SessionFixture, ConvertDoughnutWritesTheOutputMovie) {
  MainWindow& w = OpenWithMovie();
  const auto output = dir.path() / "ring é_Unwrapped.mp4";
  SeenMessage done;
  // "Do you want to save it with another compression value ?" - no.
  AnswerNextMessageBox(QMessageBox::Cancel, &done);
  session->Convert(output.string());
  EXPECT_EQ(done.title, "Successful termination") << done.text.toStdString();
  ASSERT_TRUE(std::filesystem::exists(output));
  const auto facts = ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  // Every input frame reaches the output (the export may repeat frames to keep time).
  EXPECT_GE(facts->frameCount, 10);
  EXPECT_TRUE(facts->hasVideo);
  EXPECT_GT(facts->width, 0);
  EXPECT_EQ(w.Flags().encoderBusy, 0);
  {
    std::lock_guard<std::mutex> hold(w.Flags().textMutex);
    EXPECT_TRUE(w.Flags().movieInformation.empty()) << "the closed movie's probe text stays";
  }
  EXPECT_EQ(facts->projection, "");  // a cylindrical strip is no 360-degree picture
}

// With a logo the output is a spherical frame, marked as 360-degree video.
TEST_F(SessionFixture, ALogoMakesA360DegreeMovie) {
  OpenWithMovie();
  QImage strip(1200, 200, QImage::Format_RGB32);
  strip.fill(Qt::red);
  const auto logoFile = dir.path() / "logo é.jpg";
  ASSERT_TRUE(strip.save(QString::fromStdString(logoFile.string()), "JPG"));
  LogoState logo;
  ASSERT_TRUE(LoadLogo(logoFile, logo));
  session->SetLogo(&logo);
  const auto spherical = dir.path() / "spherical é.mov";
  SeenMessage done;
  AnswerNextMessageBox(QMessageBox::Cancel, &done);
  session->Convert(spherical.string());
  session->SetLogo(nullptr);
  EXPECT_EQ(done.title, "Successful termination") << done.text.toStdString();
  const auto marked = ProbeFile(spherical);
  ASSERT_TRUE(marked.has_value());
  EXPECT_EQ(marked->projection, "equirectangular");
  EXPECT_EQ(marked->stereoType, "2D");
  EXPECT_EQ(marked->height, LogoFrameHeight(marked->width, false));  // 2:1
}

// Mean of |a - b| over the grey levels of two rows between `left` and `right`.
double RowDistance(const QImage& image, int y1, int y2, int left, int right) {
  double sum = 0;
  for (int x = left; x < right; ++x) {
    sum += std::abs(qGray(image.pixel(x, y1)) - qGray(image.pixel(x, y2)));
  }
  return sum / std::max(1, right - left);
}

// The panorama preview shows the output's layout: the logo frame at 2:1 with the
// logo at top and bottom, the stereo pair stacked (paused: both views the same
// frame), and the plain strip again once "Show output layout" is off. The doughnut
// and its Cut Area stay as they are whatever the panorama shows.
TEST_F(SessionFixture, PanoramaPreviewShowsTheOutputLayout) {
  MainWindow& w = OpenWithMovie();
  session->PlayPause(false);
  QTest::qWait(300);
  ASSERT_TRUE(w.ControlAs<QCheckBox>(cmd::kShowLayout)->isChecked()) << "on by default";
  const QRgb grey = qRgb(0x33, 0x33, 0x33);
  auto settle = [&](const std::function<bool(const QImage&)>& done) {
    return QTest::qWaitFor([&] { return done(w.TransformArea()->Snapshot()); }, 5000);
  };

  // The logo: a 2:1 frame, centred, red rows at its top and bottom.
  QImage red(1200, 120, QImage::Format_RGB32);
  red.fill(Qt::red);
  const auto logoFile = dir.path() / "logo.png";
  ASSERT_TRUE(red.save(QString::fromStdString(logoFile.string()), "PNG"));
  LogoState logo;
  ASSERT_TRUE(LoadLogo(logoFile, logo));
  session->SetLogo(&logo);
  w.PublishView();
  ASSERT_EQ(FitInPanoramaArea(2, 1), QRect(300, 0, 400, 200));
  ASSERT_TRUE(settle([&](const QImage& a) { return qRed(a.pixel(500, 3)) > 200; }))
      << "the logo at the top of the frame";
  const QImage withLogo = w.TransformArea()->Snapshot();
  EXPECT_EQ(withLogo.pixel(100, 100), grey) << "beside the 2:1 frame";
  EXPECT_EQ(withLogo.pixel(900, 100), grey);
  const QRgb bottom = withLogo.pixel(500, 196);
  EXPECT_GT(qRed(bottom), 200);
  EXPECT_LT(qGreen(bottom), 60);
  EXPECT_NE(withLogo.pixel(500, 100), withLogo.pixel(500, 3)) << "the strip between the logos";
  const QImage doughnutWithLayout = w.DoughnutArea()->Snapshot();

  // The plain strip: the whole area, no logo.
  ClickControl(cmd::kShowLayout);
  EXPECT_EQ(state.options.SHOW_LAYOUT, 0);
  ASSERT_TRUE(settle([&](const QImage& a) { return a.pixel(100, 100) != grey; }));
  EXPECT_LT(qRed(w.TransformArea()->Snapshot().pixel(500, 3)), 200);
  EXPECT_EQ(w.DoughnutArea()->Snapshot(), doughnutWithLayout) << "the Cut Area is drawn alike";

  // The stereo pair without a logo: two views, one above the other, in a picture twice
  // as high as one view; paused, both views are the same frame.
  session->SetLogo(nullptr);
  state.options.STEREO_3DP = 1;
  state.settings.STEREO_OUT_TYPE = 8;
  ClickControl(cmd::kShowLayout);
  EXPECT_EQ(state.options.SHOW_LAYOUT, 1);
  ASSERT_TRUE(settle([&](const QImage& a) { return a.pixel(100, 100) == grey; }));
  const QImage pair = w.TransformArea()->Snapshot();
  int left = 0;
  while (left < 500 && pair.pixel(left, 100) == grey) ++left;
  const int right = 1000 - left;
  ASSERT_GT(left, 100) << "a pair is narrower than the strip";
  double same = 0;
  double shifted = 0;
  for (int y = 10; y < 90; y += 10) {
    same += RowDistance(pair, y, y + 100, left + 2, right - 2);
    shifted += RowDistance(pair, y, y + 5, left + 2, right - 2);
  }
  EXPECT_LT(same, 0.5 * shifted) << "the views match each other, not any two rows";
  state.options.STEREO_3DP = 0;
  state.settings.STEREO_OUT_TYPE = 0;
}

}  // namespace
}  // namespace corvinex::test

namespace corvinex::test {
namespace {

TEST_F(SessionFixture, MovieToAviConvertsAndReportsAFailure) {
  MainWindow& w = OpenWithMovie();
  const auto output = dir.path() / "copy é.avi";
  w.Services().transcodeMovie(w, movie.string(), output.string());
  const auto facts = ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->formatName, "avi");
  EXPECT_EQ(facts->width, 320);

  // A container the tool does not know writes nothing: the window says so.
  SeenMessage failed;
  AnswerNextMessageBox(QMessageBox::Ok, &failed);
  w.Services().transcodeMovie(w, movie.string(), (dir.path() / "copy.nosuch").string());
  EXPECT_EQ(failed.title, "Error Monitoring");
  EXPECT_TRUE(failed.text.startsWith("The movie could not be converted:"));
}

}  // namespace
}  // namespace corvinex::test

namespace corvinex::test {
namespace {

TEST_F(SessionFixture, ViewerOpensOnThePreviewPanoramaOnce) {
  MainWindow& w = OpenWithMovie();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Flags().viewerReady == 1; }, 10000));
  w.Action(850)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Flags().viewerOpen == 1; }, 5000));
  auto viewers = w.findChildren<ViewerWindow*>();
  ASSERT_EQ(viewers.size(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return viewers[0]->isVisible(); }, 5000));
  // A second request while it is open opens nothing more.
  w.Action(850)->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.findChildren<ViewerWindow*>().size(), 1);
  // While it is open the Cut Area stays put and the main previews rest.
  EXPECT_FALSE(w.Control(3904)->isEnabled());
  const std::string before = LabelText(300).toStdString();
  w.Dispatch(3904);
  EXPECT_EQ(LabelText(300).toStdString(), before);
  QTest::qWait(300);  // a refresh under way when it opened ends first
  const QImage resting = w.TransformArea()->Snapshot();
  QTest::qWait(300);
  EXPECT_EQ(w.TransformArea()->Snapshot(), resting);

  w.Services().closeViewer(w);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Flags().viewerOpen == 0; }, 5000));
  EXPECT_TRUE(w.Control(3904)->isEnabled());
  EXPECT_EQ(w.Flags().panoramaPreviewEnabled, 1);
  w.Dispatch(3904);
  EXPECT_NE(LabelText(300).toStdString(), before);
}

}  // namespace
}  // namespace corvinex::test

namespace corvinex::test {
namespace {

// Full detail widens the preview's panorama to the ring's circumference; dragging the
// panorama preview sideways turns it, the picture following the pointer, and the
// heading is kept with the choices.
TEST_F(SessionFixture, WidthChoiceAndHeadingDragShapeThePreview) {
  MainWindow& w = OpenWithMovie();
  session->PlayPause(false);
  // The plain strip spans the whole area, one turn to its 1000 pixels.
  state.options.SHOW_LAYOUT = 0;
  w.PublishView();
  const int32_t full = FullDetailWidth(320, 240, w.CurrentRing());
  const UnwrapGeometry fullGeometry =
      ComputeUnwrapGeometry(320, 240, w.CurrentRing(), 0.0f, {kWidthFullDetail, 0.0});
  w.Dispatch(cmd::kWidthFullDetail);
  const QString wanted = QString(" %1x%2").arg(full).arg(fullGeometry.outRows);
  EXPECT_TRUE(QTest::qWaitFor([&] { return LabelText(cmd::kGeometryValue) == wanted; }, 5000))
      << LabelText(cmd::kGeometryValue).toStdString();
  EXPECT_TRUE(w.Action(cmd::kWidthFullDetail)->isChecked());
  EXPECT_FALSE(w.Action(cmd::kWidthAsBefore)->isChecked());
  QTest::qWait(300);
  PreviewCanvas* area = w.TransformArea();
  const QImage before = area->Snapshot();
  EXPECT_TRUE(SaveWindowPng(w, SnapshotPath("heading_drag_before.png")));

  // A quarter of the preview to the right: a quarter turn, the heading down by 90.
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(400, 80));
  QTest::mouseMove(area, QPoint(650, 80));
  QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(650, 80));
  EXPECT_NEAR(w.Heading(), -90.0, 1e-9);
  ASSERT_TRUE(QTest::qWaitFor([&] { return area->Snapshot() != before; }, 5000));
  QTest::qWait(300);
  const QImage after = area->Snapshot();
  EXPECT_TRUE(SaveWindowPng(w, SnapshotPath("heading_drag_after.png")));
  // What was at x now shows at x + 250 (the preview is 1000 pixels for one turn).
  int same = 0;
  int counted = 0;
  for (int y = 20; y < 140; y += 10) {
    for (int x = 0; x < 1000; x += 7) {
      const QRgb was = before.pixel(x, y);
      const QRgb now = after.pixel((x + 250) % 1000, y);
      const int d = std::abs(qRed(was) - qRed(now)) + std::abs(qGreen(was) - qGreen(now)) +
                    std::abs(qBlue(was) - qBlue(now));
      same += d <= 24 ? 1 : 0;
      ++counted;
    }
  }
  EXPECT_GT(same, counted * 9 / 10) << same << " of " << counted;
  // The degree scale moved with the picture: its 180 stands a quarter further right.
  const QRgb blue = qRgb(0, 0, 0xFF);
  const std::vector<bool> label = ColourMask(before, QRect(492, 165, 20, 20), blue);
  EXPECT_GT(std::count(label.begin(), label.end(), true), 50);
  EXPECT_EQ(ColourMask(after, QRect(742, 165, 20, 20), blue), label);
  EXPECT_NE(ColourMask(after, QRect(492, 165, 20, 20), blue), label);
  EXPECT_NE(KeptChoicesText(state.options).find("<HEADING>-90.00</HEADING>"), std::string::npos);
  EXPECT_NE(KeptChoicesText(state.options).find("<PANORAMA_WIDTH>-1</PANORAMA_WIDTH>"),
            std::string::npos);

  // With the output picture fitted in, one turn is that picture's width: a drag of a
  // quarter of it is a quarter turn, so the picture still follows the pointer.
  state.options.SHOW_LAYOUT = 1;
  w.PublishView();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.ShownPanoramaColumns() < 1000; }, 5000));
  const int quarter = area->width() * w.ShownPanoramaColumns() / 1000 / 4;
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(300, 80));
  QTest::mouseMove(area, QPoint(300 + quarter, 80));
  QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(300 + quarter, 80));
  EXPECT_NEAR(w.Heading(), 180.0, 1.5);

  // Back to the width as before: the label says so again.
  w.Dispatch(cmd::kWidthAsBefore);
  const UnwrapGeometry plain = ComputeUnwrapGeometry(320, 240, w.CurrentRing(), 0.0f);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return LabelText(cmd::kGeometryValue) == QString::fromStdString(GeometryLabelText(plain));
      },
      5000));
}

}  // namespace
}  // namespace corvinex::test
