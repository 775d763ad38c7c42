#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <fstream>

#include "convert/child_process.h"
#include "extras/about_box.h"
#include "extras/external_links.h"
#include "extras/logo_decode.h"
#include "extras/logo_maker.h"
#include "extras/logo_ui.h"
#include "extras/r3d_report.h"
#include "gui/dialog_answer.h"
#include "support/temp_dir.h"
#include "version.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

fs::path SaveJpeg(const fs::path& file, int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  EXPECT_TRUE(image.save(QString::fromStdString(file.string()), "JPG"));
  return file;
}

TEST(LogoLoad, AWideJpegBecomesTheLogoBottomUp) {
  test::TempDir dir{"logo é"};
  QImage image(1200, 200, QImage::Format_RGB32);
  image.fill(QColor(0, 0, 255));
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 1200; ++x) image.setPixel(x, y, qRgb(255, 0, 0));  // top half red
  }
  const fs::path file = dir / "wide logo.jpg";
  ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "JPG", 95));
  LogoState logo;
  ASSERT_TRUE(LoadLogo(file, logo));
  EXPECT_TRUE(logo.present);
  ASSERT_EQ(logo.image.width, 1200);
  ASSERT_EQ(logo.image.height, 200);
  // Buffer row 0 is the picture's bottom line (blue); the spare byte is zero.
  const uint32_t bottom = logo.image.Row(10)[600];
  const uint32_t top = logo.image.Row(190)[600];
  EXPECT_GT(BlueOf(bottom), 200);
  EXPECT_GT(RedOf(top), 200);
  EXPECT_EQ(SpareOf(bottom), 0);
}

TEST(LogoLoad, NarrowBrokenOrMissingFilesLeaveNoLogo) {
  test::TempDir dir{"logo é"};
  LogoState logo;
  ASSERT_TRUE(LoadLogo(SaveJpeg(dir / "good.jpg", 1200, 200, Qt::green), logo));
  EXPECT_FALSE(LoadLogo(SaveJpeg(dir / "narrow.jpg", 1199, 200, Qt::green), logo));
  EXPECT_FALSE(logo.present);

  // A file that does not decode never passes on the previous logo's sizes.
  ASSERT_TRUE(LoadLogo(dir / "good.jpg", logo));
  test::WriteFileBytes(dir / "broken.jpg", "\xFF\xD8 not really a jpeg");
  EXPECT_FALSE(LoadLogo(dir / "broken.jpg", logo));
  EXPECT_FALSE(logo.present);
  EXPECT_EQ(logo.image.width, 10);
  EXPECT_TRUE(logo.image.pixels.empty());
  EXPECT_FALSE(LoadLogo(dir / "missing.jpg", logo));
  EXPECT_FALSE(logo.present);
}

TEST(LogoLoad, ARefusedFileShowsTheBadFormatMessage) {
  test::TempDir dir{"logo é"};
  LogoState logo;
  test::SeenMessage seen;
  test::AnswerNextMessageBox(QMessageBox::Ok, &seen);
  EXPECT_FALSE(LoadLogoWithMessage(nullptr, SaveJpeg(dir / "square.jpg", 200, 200, Qt::red), logo));
  EXPECT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Logo Image Error");
  EXPECT_EQ(seen.text, "Bad Logo format.");

  QLabel label;
  ShowLogoState(label, logo);
  EXPECT_EQ(label.text(), "Logo not present, cylindrical format");
  ASSERT_TRUE(LoadLogoWithMessage(nullptr, SaveJpeg(dir / "wide.jpg", 1200, 200, Qt::red), logo));
  ShowLogoState(label, logo);
  EXPECT_EQ(label.text(), "Logo present, spherical format");
  EXPECT_TRUE(label.styleSheet().contains("#00ff00"));

  const QImage preview = LogoPreviewImage(logo);
  EXPECT_EQ(preview.size(), QSize(375, 52));
  EXPECT_GT(qRed(preview.pixel(187, 26)), 200);
}

// The image reader fills the rows of a JPEG cut short with grey and reports no error:
// the chooser refuses such a file as it refuses a logo of the wrong shape, in both the
// baseline and the progressive form, and takes a whole one with padding after its end.
TEST(LogoLoad, AJpegCutShortIsRefusedAndAPaddedOneIsTaken) {
  test::TempDir dir{"logo é"};
  QImage image(1200, 200, QImage::Format_RGB32);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 1200; ++x) image.setPixel(x, y, qRgb(x % 256, y, (x * y) % 256));
  }
  for (const bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    const fs::path whole = dir / "whole.jpg";
    QImageWriter writer(QString::fromStdString(whole.string()), "jpeg");
    writer.setProgressiveScanWrite(progressive);
    ASSERT_TRUE(writer.write(image));
    const std::string bytes = test::ReadFileBytes(whole);
    LogoState logo;
    for (const size_t keep : {bytes.size() / 2, bytes.size() * 9 / 10, bytes.size() - 2}) {
      const fs::path cut = dir / "cut ü.jpg";
      test::WriteFileBytes(cut, bytes.substr(0, keep));
      test::SeenMessage seen;
      test::AnswerNextMessageBox(QMessageBox::Ok, &seen);
      EXPECT_FALSE(LoadLogoWithMessage(nullptr, cut, logo)) << keep << " of " << bytes.size();
      EXPECT_FALSE(logo.present);
      EXPECT_EQ(seen.text, "Bad Logo format.");
    }
    const fs::path padded = dir / "padded.jpg";
    test::WriteFileBytes(padded, bytes + std::string(64, '\0'));
    EXPECT_TRUE(LoadLogo(padded, logo));
    EXPECT_EQ(logo.image.width, 1200);
  }
}

TEST(LogoLoad, TheChooserClearsTheLogoFirstAndLoadsTheChosenFile) {
  test::TempDir dir{"logo é"};
  const fs::path wide = SaveJpeg(dir / "wide é.jpg", 1200, 200, Qt::red);
  LogoState logo;
  test::AnswerNextFileDialog(QString::fromStdString(wide.string()), nullptr);
  EXPECT_TRUE(ChooseLogo(nullptr, logo, QString::fromStdString(dir.path().string())));
  EXPECT_TRUE(logo.present);
  EXPECT_EQ(logo.image.width, 1200);
  // Cancelling the chooser leaves no logo.
  test::AnswerNextFileDialog({}, nullptr);
  EXPECT_FALSE(ChooseLogo(nullptr, logo, QString::fromStdString(dir.path().string())));
  EXPECT_FALSE(logo.present);
}

TEST(LogoMaker, MakesAWideStripTheChooserAccepts) {
  test::TempDir dir{"logo é"};
  LogoMakerOptions options;
  options.text = QStringLiteral("Panorama Ü");
  options.textColour = Qt::yellow;
  options.backgroundColour = Qt::darkBlue;
  options.height = 64;
  const QImage strip = RenderLogoImage(options);
  EXPECT_EQ(strip.size(), QSize(512, 64));
  EXPECT_FALSE(strip.allGray());
  const fs::path file = dir / "made logo.jpg";
  ASSERT_TRUE(SaveLogoImage(options, QString::fromStdString(file.string())));
  LogoState logo;
  EXPECT_TRUE(LoadLogo(file, logo));
}

TEST(LogoMaker, ASecondRequestWhileItRunsIsIgnored) {
  bool second = true;
  bool busyInside = false;
  test::AnswerNextModal<QDialog>("logo maker", [&](QDialog& dialog) {
    busyInside = LogoMakerBusy();
    second = RunLogoMaker(nullptr);
    EXPECT_EQ(dialog.objectName(), "logoMaker");
    dialog.reject();
  });
  EXPECT_TRUE(RunLogoMaker(nullptr));
  EXPECT_TRUE(busyInside);
  EXPECT_FALSE(second);
  EXPECT_FALSE(LogoMakerBusy());
}

// Records the addresses the desktop is asked to open (QTextBrowser::setSource is a
// slot taking the address, which the desktop services can call).
struct OpenedUrls {
  QTextBrowser recorder;
  QStringList seen;
  OpenedUrls() {
    QObject::connect(&recorder, &QTextBrowser::sourceChanged,
                     [this](const QUrl& url) { seen << url.toString(); });
    for (const char* scheme : {"https", "mailto", "file"}) {
      QDesktopServices::setUrlHandler(scheme, &recorder, "setSource");
    }
  }
  ~OpenedUrls() {
    for (const char* scheme : {"https", "mailto", "file"})
      QDesktopServices::unsetUrlHandler(scheme);
  }
};

TEST(AboutBox, LinkLabelsOpenTheirAddressesAndKeepTheBoxOpen) {
  OpenedUrls opened;
  std::unique_ptr<QDialog> box(CreateAboutBox(nullptr));
  EXPECT_EQ(box->windowTitle(), "About");
  EXPECT_TRUE(box->isModal());
  auto* version = box->findChild<QLabel*>("label101");
  ASSERT_NE(version, nullptr);
  // The project's version, the one the batch tool and the package show.
  EXPECT_EQ(version->text(), QStringLiteral(" v") + QString::fromLatin1(kVersion));
  EXPECT_TRUE(version->text().contains(QRegularExpression(R"(^ v\d+\.\d+\.\d+$)")));
  auto* web = box->findChild<QLabel*>("label2004");
  auto* mail = box->findChild<QLabel*>("label2002");
  ASSERT_NE(web, nullptr);
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(mail->text(), "email: TL Inc.");

  QTimer::singleShot(0, [&] {
    QTest::mouseClick(web, Qt::LeftButton);
    QTest::mouseClick(web, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::LeftButton);
    EXPECT_TRUE(box->isVisible());
    box->close();
  });
  box->exec();  // returns once closed, as with the close box
  EXPECT_FALSE(box->isVisible());
  ASSERT_EQ(opened.seen.size(), 3);
  EXPECT_EQ(opened.seen[0].toStdString(), std::string(kWebPageAddress));
  EXPECT_EQ(opened.seen[1].toStdString(), std::string(kWebPageAddress));
  EXPECT_EQ(opened.seen[2].toStdString(), std::string(kSupportMailAddress));
}

TEST(ExternalLinks, TheManualOpensOnlyWhenItExists) {
  OpenedUrls opened;
  test::TempDir dir{"program é"};
  EXPECT_FALSE(OpenManual(dir.path()));
  EXPECT_TRUE(opened.seen.isEmpty());
  test::WriteFileBytes(dir / "TLVPUB.pdf", "%PDF-1.4\n");
  EXPECT_TRUE(OpenManual(dir.path()));
  ASSERT_EQ(opened.seen.size(), 1);
  EXPECT_EQ(QUrl(opened.seen[0]).toLocalFile().toStdString(), (dir / "TLVPUB.pdf").string());
}

TEST(ExternalLinks, OneR3DConverterAtATime) {
  test::TempDir dir{"program é"};
  R3DConverterState state;
  EXPECT_EQ(StartR3DConverter(state, dir.path()), R3DStart::Missing);
  EXPECT_EQ(state.pid, 0);
  // The user hears of a missing tool, and where it was looked for.
  test::SeenMessage said;
  test::AnswerNextMessageBox(QMessageBox::Ok, &said);
  ReportR3DStart(nullptr, R3DStart::Missing, dir.path());
  EXPECT_TRUE(said.text.contains("not installed")) << said.text.toStdString();
  EXPECT_TRUE(said.text.contains(QString::fromStdString((dir / "PLUG-IN" / "TL_R3D").string())));
  test::SeenMessage failed;
  test::AnswerNextMessageBox(QMessageBox::Ok, &failed);
  ReportR3DStart(nullptr, R3DStart::Failed, dir.path());
  EXPECT_TRUE(failed.text.contains("could not be started"));

  fs::create_directories(dir / "PLUG-IN");
  const fs::path tool = dir / "PLUG-IN" / "TL_R3D";
  const fs::path started = dir / "started.txt";
  test::WriteFileBytes(
      tool, "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/../started.txt\"\nexec sleep 30\n");
  fs::permissions(tool, fs::perms::owner_all);

  ASSERT_EQ(StartR3DConverter(state, dir.path()), R3DStart::Started);
  const pid_t first = state.pid;
  EXPECT_EQ(StartR3DConverter(state, dir.path()), R3DStart::AlreadyRunning);
  EXPECT_EQ(state.pid, first);
  // The shell creates the file before it writes the line: wait for the whole line.
  auto written = [&] {
    return fs::exists(started) && test::ReadFileBytes(started).find('\n') != std::string::npos;
  };
  for (int i = 0; i < 500 && !written(); ++i) QTest::qWait(10);
  EXPECT_EQ(test::ReadFileBytes(started), std::string(kR3DStartToken) + "\n");

  // Closed converters are started again.
  KillProcess(first);
  ASSERT_EQ(StartR3DConverter(state, dir.path()), R3DStart::Started);
  EXPECT_NE(state.pid, first);
  KillProcess(state.pid);
}

}  // namespace
}  // namespace corvinex
