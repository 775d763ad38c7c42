// The window over a real photo: a turned photo is shown upright, and CONVERT saves it
// as a picture through the save chooser, the JPEG quality question and a report.

#include <QDropEvent>
#include <QInputDialog>
#include <QMimeData>

#include "app/window/movie_session.h"
#include "app/window/photo_output.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "media/photo_decode.h"
#include "settings/diagnostic_log.h"
#include "support/sample_photo.h"

namespace corvinex::test {
namespace {

namespace fs = std::filesystem;

struct PhotoWindowFixture : WindowFixture {
  std::unique_ptr<MovieSession> session;

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

  MainWindow& w = Open();
  session = std::make_unique<MovieSession>(w);
  session->Provide(w.Services());
  session->OpenMovie(photo.string());
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Flags().movieOpen == 1; }, 20000));
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
