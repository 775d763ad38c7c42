// The window over a real photo: a turned photo is shown upright, and CONVERT saves it
// as a picture through the save chooser, the JPEG quality question and a report.

#include <QDropEvent>
#include <QInputDialog>
#include <QMimeData>

#include "app/window/command_ids.h"
#include "app/window/movie_session.h"
#include "app/window/photo_output.h"
#include "convert/encoder_command.h"
#include "extras/logo_decode.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "media/photo_decode.h"
#include "media/photo_ring.h"
#include "settings/diagnostic_log.h"
#include "settings/settings_file.h"
#include "support/sample_photo.h"
#include "transform/output_projection.h"

namespace corvinex::test {
namespace {

namespace fs = std::filesystem;

struct PhotoWindowFixture : WindowFixture {
  std::unique_ptr<MovieSession> session;

  // The window with `photo` open (and `logo` chosen) through a real session.
  MainWindow& OpenWithPhoto(const fs::path& photo, const LogoState* logo = nullptr) {
    MainWindow& w = Open();
    session = std::make_unique<MovieSession>(w);
    if (logo != nullptr) session->SetLogo(logo);
    session->Provide(w.Services());
    session->OpenMovie(photo.string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Flags().movieOpen == 1; }, 20000));
    return w;
  }

  // Find Ring from a Cut Area well off the ring; false when it refused.
  bool FindRingFromFarOff(MainWindow& w) {
    EXPECT_TRUE(w.ApplyCutArea({90, 70, 250, 250, 20}));
    SeenMessage refusal;
    AnswerNextMessageBox(QMessageBox::Ok, &refusal);
    w.Dispatch(cmd::kFindRing);
    DropPendingAnswers();
    if (auto* report = w.findChild<QMessageBox*>("ringReport")) report->close();
    EXPECT_FALSE(refusal.seen) << refusal.text.toStdString();
    return !refusal.seen;
  }

  void TearDown() override {
    session.reset();
    WindowFixture::TearDown();
  }
};

TEST_F(PhotoWindowFixture, TurnedPhotoIsShownUprightAndSavedAsAPicture) {
  // Stored a quarter turned, with the orientation that turns it back.
  const FrameImage upright = MakeDoughnutPicture(640, 480);
  const fs::path photo = dir.path() / "turned é.tif";
  WritePictureFile(upright, photo, "transpose=2");
  SetExif(photo, {{"Exif.Image.Orientation", "6"}, {"Exif.Image.Make", "Vistrel"}});

  MainWindow& w = OpenWithPhoto(photo);
  ASSERT_TRUE(QTest::qWaitFor([&] { return LabelText(304) == "640x480"; }, 10000))
      << LabelText(304).toStdString();
  // The previews show the very picture the conversion unwraps.
  FrameImage shown;
  ASSERT_TRUE(QTest::qWaitFor([&] { return session->Source().CopyCurrentFrame(shown); }, 10000));
  const DecodedPhoto decoded = DecodePhoto(photo);
  ASSERT_TRUE(decoded.ok()) << decoded.error;
  EXPECT_EQ(PixelsApart(shown, decoded.image), 0u);

  StoreRing(sample::kSampleRing, state.settings);
  const fs::path out = dir.path() / "saved é.jpg";
  SeenFileDialog save;
  AnswerNextFileDialog(QString::fromStdString(out.string()), &save);
  AnswerNextModal<QInputDialog>("quality question", [](QInputDialog& d) {
    d.setIntValue(75);
    d.accept();
  });
  SeenMessage report;
  AnswerNextMessageBox(QMessageBox::Ok, &report);
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return report.seen; }, 30000));

  EXPECT_EQ(save.proposedName, "turned é_Unwrapped.jpg");
  EXPECT_EQ(save.filters, PhotoOutputFilters());
  EXPECT_EQ(report.title, "Photo Saved") << report.text.toStdString();
  ASSERT_TRUE(fs::exists(out));
  const auto tags = ReadMetadata(out);
  EXPECT_EQ(tags.at("Exif.Image.Make"), "Vistrel");
  EXPECT_EQ(tags.at("Exif.Image.Orientation"), "1");
  EXPECT_EQ(tags.at("Xmp.GPano.ProjectionType"), "equirectangular");

  // The same as the upright photo converted directly, at the quality answered.
  const fs::path direct = dir.path() / "direct.jpg";
  DiagnosticLog quiet;
  const PhotoOutcome expected = ConvertPhoto({.input = photo, .output = direct, .jpegQuality = 75},
                                             upright, state.settings, state.options, quiet);
  ASSERT_TRUE(expected.ok()) << expected.error;
  EXPECT_EQ(PixelsApart(ReadPictureFile(out), ReadPictureFile(direct)), 0u);
  // The movie services were never asked to convert.
  for (const std::string& call : calls) EXPECT_EQ(call.find("convertMovie"), std::string::npos);
}

// Find Ring on a photo searches the picture on show, which is the decoded photo: a
// file moved away meanwhile is not needed, and the ring is the one the file gives.
TEST_F(PhotoWindowFixture, FindRingSearchesThePictureOnShowWithoutReadingTheFileAgain) {
  const fs::path photo = dir.path() / "ring shown é.tif";
  WritePictureFile(MakeDoughnutPicture(640, 480), photo);
  const MovieRing fromFile = FindRingInPhotoFile(photo);
  ASSERT_TRUE(fromFile.ring.found) << fromFile.ring.reason;

  MainWindow& w = OpenWithPhoto(photo);
  FrameImage shown;
  ASSERT_TRUE(QTest::qWaitFor([&] { return session->Source().CopyCurrentFrame(shown); }, 10000));
  fs::rename(photo, dir.path() / "moved away.tif");

  ASSERT_TRUE(FindRingFromFarOff(w));
  RingGeometry expected = fromFile.cutArea;
  if (fromFile.ring.innerRadius <= 0) expected.RSIZE = 20;  // the inner circle set stays
  EXPECT_EQ(RingFromSettings(state.settings), expected);
}

// A JPEG stored a quarter turned with orientation 6: Find Ring searches the upright
// picture the window shows, and CONVERT with a logo and a resize step writes what the
// batch tool writes for the same settings, logo and step.
TEST_F(PhotoWindowFixture, FindRingLogoAndResizeOnATurnedPhotoMatchTheBatchTool) {
  const FrameImage upright = MakeDoughnutPicture(640, 480);
  const fs::path photo = dir.path() / "turned ring ü.jpg";
  WritePictureFile(upright, photo, "transpose=2", "yuvj420p");
  SetExif(photo, {{"Exif.Image.Orientation", "6"}, {"Exif.Image.Make", "Vistrel"}});
  // A logo eight times as wide as high, in colour bands that show where it lands.
  FrameImage logoPicture;
  logoPicture.Reset(400, 50);
  for (int32_t y = 0; y < logoPicture.height; ++y) {
    for (int32_t x = 0; x < logoPicture.width; ++x) {
      logoPicture.Row(y)[x] = (x / 50) % 2 == 0 ? 0x00E02020u : 0x0020E020u;
    }
  }
  const fs::path logoFile = dir.path() / "logo band.png";
  WritePictureFile(logoPicture, logoFile);
  LogoState logo;
  ASSERT_TRUE(LoadLogo(logoFile, logo));

  MainWindow& w = OpenWithPhoto(photo, &logo);
  ASSERT_TRUE(QTest::qWaitFor([&] { return LabelText(304) == "640x480"; }, 10000))
      << LabelText(304).toStdString();

  ASSERT_TRUE(FindRingFromFarOff(w));
  const RingGeometry found = RingFromSettings(state.settings);
  const RingGeometry& made = sample::kSampleRing;
  EXPECT_NEAR(found.X1 + found.X2 / 2.0, made.X1 + made.X2 / 2.0, 3);
  EXPECT_NEAR(found.Y1 + found.Y2 / 2.0, made.Y1 + made.Y2 / 2.0, 3);
  EXPECT_NEAR(found.X2, made.X2, 16);  // the JPEG's soft edge reads a little inside

  state.options.RESIZE = 2;
  const fs::path out = dir.path() / "window out.png";
  AnswerNextFileDialog(QString::fromStdString(out.string()), nullptr);
  SeenMessage saved;
  AnswerNextMessageBox(QMessageBox::Ok, &saved);
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return saved.seen; }, 30000));
  ASSERT_EQ(saved.title, "Photo Saved") << saved.text.toStdString();

  const fs::path settingsFile = dir.path() / "same settings.ini";
  ASSERT_TRUE(WriteSettings(settingsFile, state.settings));
  const fs::path batchOut = dir.path() / "batch out.png";
  RunTool({(fs::path(CORVINEX_PROGRAM_DIR) / "corvinex-batch").string(), "--settings",
           settingsFile.string(), "--logo", logoFile.string(), "--resize", "2", photo.string(),
           "-o", batchOut.string()},
          dir.path() / "batch.txt");
  const FrameImage windowPicture = ReadPictureFile(out);
  const FrameImage batchPicture = ReadPictureFile(batchOut);
  EXPECT_EQ(PixelsApart(windowPicture, batchPicture), 0u);
  // The logo frame is the 2:1 frame of the panorama, at the resize step's 80%.
  const DecodedPhoto decoded = DecodePhoto(photo);
  ASSERT_TRUE(decoded.ok()) << decoded.error;
  const int32_t fullWidth =
      ComputeUnwrapGeometry(640, 480, found, state.settings.HSIZE, ShapeFromOptions(state.options))
          .W;
  EXPECT_EQ(windowPicture.width, ExportPictureSize(2, fullWidth, 1).width);
  EXPECT_NEAR(windowPicture.height * 2, windowPicture.width, 2);
  // Its bottom rows are the logo's two colours, not the panorama (the canvas's lowest
  // row is black, and the scaling blends it into the next).
  int32_t logoColoured = 0;
  for (int32_t x = 0; x < windowPicture.width; ++x) {
    const uint32_t p = windowPicture.Row(3)[x];
    const bool strong = ((p >> 16) & 0xFF) > 0xA0 || ((p >> 8) & 0xFF) > 0xA0;
    if (strong && (p & 0xFF) < 0x60) ++logoColoured;
  }
  EXPECT_GT(logoColoured, windowPicture.width * 9 / 10);
}

}  // namespace
}  // namespace corvinex::test

namespace corvinex::test {
namespace {

// A dropped file opens like a chosen one; drops of several files, of something that
// is no local file, or while a conversion runs open nothing.
TEST_F(WindowFixture, DroppedFileOpensAsLoadWould) {
  MainWindow& w = Open();
  const fs::path photo = dir.path() / "dropped é.jpg";
  WritePictureFile(MakeDoughnutPicture(64, 48), photo, "", "yuvj420p");
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    // As a real drag: it enters the window, then drops.
    QDragEnterEvent enter(QPoint(500, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QDropEvent event(QPointF(500, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
  };
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(photo.string()));
  drop({url, url});
  drop({QUrl("https://example.org/ring.jpg")});
  w.Flags().conversionRunning = 1;
  drop({url});
  w.Flags().conversionRunning = 0;
  EXPECT_TRUE(calls.empty());
  drop({url});
  EXPECT_EQ(calls, std::vector<std::string>({"openMovie " + photo.string()}));
  EXPECT_EQ(state.settings.OPATH, dir.path().string());
}

}  // namespace
}  // namespace corvinex::test
