// The file and folder choosers as the commands open them.

#include <QLabel>
#include <QLineEdit>
#include <fstream>
#include <functional>

#include "app/window/file_choosers.h"
#include "app/window/logo_chooser.h"
#include "extras/logo_decode.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "support/sample_movie.h"

namespace corvinex::test {
namespace {

TEST(Choosers, FilterListsOfferBothCasesAndTheProposalDropsTheExtension) {
  const QStringList open = OpenMovieFilters();
  ASSERT_EQ(open.size(), 18);
  // Movies and photos are shown together first; each kind also on its own.
  EXPECT_TRUE(open.front().startsWith("All videos and photos ("));
  EXPECT_TRUE(open.front().contains("*.mp4 *.MP4"));
  EXPECT_TRUE(open.front().contains("*.jpg *.JPG"));
  EXPECT_TRUE(open.at(1).startsWith("All video files ("));
  EXPECT_FALSE(open.at(1).contains("*.jpg"));
  EXPECT_TRUE(open.at(2).startsWith("MOV video files (*.MOV) ("));
  EXPECT_TRUE(open.at(2).contains("*.mov *.MOV"));
  EXPECT_TRUE(open.back().startsWith("Photos ("));
  EXPECT_TRUE(open.back().contains("*.webp *.WEBP"));
  const QStringList output = OutputMovieFilters();
  ASSERT_EQ(output.size(), 9);
  EXPECT_TRUE(output.front().startsWith("Rectangular Video FLV video files (*.FLV)"));
  EXPECT_TRUE(output.at(7).contains("*.webm *.WEBM"));
  // Matroska comes last, so that the kept type numbers of the others stay.
  EXPECT_TRUE(output.back().contains("*.mkv *.MKV"));
  EXPECT_EQ(AviMovFilters().size(), 2);
  EXPECT_EQ(ProposedOutputName("/films/a b/ring.mov"), "ring_Unwrapped");
  EXPECT_EQ(ProposedOutputName("/films/ringé.v2.mp4"), "ringé.v2_Unwrapped");
}

TEST_F(WindowFixture, LoadOpensTheChosenMovieAndRemembersItsFolder) {
  MainWindow& w = Open();
  const auto folder = dir.path() / "films é";
  std::filesystem::create_directories(folder);
  const auto movie = folder / "ring.mov";
  // A real movie: Load refuses a file that is none.
  MakeSampleMovie(movie, {.width = 160, .height = 120, .frames = 2, .sound = false});
  SeenFileDialog seen;
  AnswerNextFileDialog(QString::fromStdString(movie.string()), &seen);
  QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(seen.title, "Load Video");
  EXPECT_TRUE(seen.detailView);
  EXPECT_EQ(seen.filters, OpenMovieFilters());
  EXPECT_EQ(calls, std::vector<std::string>({"openMovie " + movie.string()}));
  EXPECT_EQ(state.settings.OPATH, folder.string());

  // The save dialog proposes ring_Unwrapped, typed as the first file type, in the
  // folder last used.
  w.Flags().moviePath = movie.string();
  SeenFileDialog save;
  AnswerNextFileDialog("", &save);
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(save.title, "Save Rectangular Video");
  EXPECT_EQ(save.proposedName, "ring_Unwrapped.flv");
  EXPECT_EQ(save.folder.toStdString(), folder.string());
  // Cancelled: no conversion runs and the movie stays open.
  EXPECT_EQ(state.StreamState, 1);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_TRUE(w.Action(104)->isEnabled());
}

// A save dialog's name carries the chosen type's extension, as platform dialogs do:
// a name typed without one would otherwise fail only after the whole frame pass.
TEST(SaveChooser, TheNameTakesTheChosenTypesExtension) {
  TempDir dir{"save chooser"};
  const QStringList filters = OutputMovieFilters();
  EXPECT_EQ(FilterExtension(filters[3]), "mp4");
  auto choose = [&](const QString& proposal, std::function<void(QFileDialog&)> act) {
    AnswerNextModal<QFileDialog>("save dialog", std::move(act));
    return FileDialog(nullptr, {.title = "Save Rectangular Video",
                                .fileName = proposal,
                                .initialFolder = QString::fromStdString(dir.path().string()),
                                .filters = filters,
                                .save = true});
  };
  const QString folder = QString::fromStdString(dir.path().string()) + "/";
  auto typeName = [](QFileDialog& d, const QString& name) {
    d.findChild<QLineEdit*>("fileNameEdit")->setText(name);
    static_cast<QDialog&>(d).accept();
  };
  // Switching the type changes the proposal's extension.
  QString shown;
  EXPECT_EQ(choose("ring_Unwrapped",
                   [&](QFileDialog& d) {
                     d.selectNameFilter(filters[3]);
                     shown = d.findChild<QLineEdit*>("fileNameEdit")->text();
                     static_cast<QDialog&>(d).accept();
                   }),
            folder + "ring_Unwrapped.mp4");
  EXPECT_EQ(shown, "ring_Unwrapped.mp4");
  // A typed name without an extension gets the type's; one with a dot of its own too;
  // a movie extension the user typed stays.
  EXPECT_EQ(choose("x", [&](QFileDialog& d) { typeName(d, "plain é"); }), folder + "plain é.flv");
  EXPECT_EQ(choose("x", [&](QFileDialog& d) { typeName(d, "take.v2"); }), folder + "take.v2.flv");
  EXPECT_EQ(choose("x", [&](QFileDialog& d) { typeName(d, "mine.WEBM"); }), folder + "mine.WEBM");
}

// "Add Logo to video": the label and the preview area tell that the output becomes a
// spherical frame; the chooser's steps go to the log in order.
TEST_F(WindowFixture, TheLogoChooserShowsTheLogoItLoaded) {
  MainWindow& w = Open();
  QImage strip(1200, 200, QImage::Format_RGB32);
  strip.fill(Qt::red);
  const auto file = dir.path() / "logo é.jpg";
  ASSERT_TRUE(strip.save(QString::fromStdString(file.string()), "JPG"));
  LogoState logo;
  AnswerNextFileDialog(QString::fromStdString(file.string()), nullptr);
  RunLogoChooser(w, logo);
  EXPECT_TRUE(logo.present);
  EXPECT_EQ(LabelText(215), "Logo present, spherical format");
  const QImage shown = w.ControlAs<QLabel>(2009)->pixmap().toImage();
  ASSERT_EQ(shown.size(), QSize(375, 52));
  EXPECT_GT(qRed(shown.pixel(187, 26)), 200);
  const std::string log = ReadFileBytes(state.paths.logFile);
  size_t at = 0;
  for (const char* line :
       {"GetMultipleLogoFiles pMediaControl begin", "GetMultipleLogoFiles pMediaControl Ok",
        "GetMultipleLogoFiles iRedraw Begin", "GetMultipleLogoFiles iRedraw Ok"}) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line;
  }
  // Choosing again and cancelling leaves no logo, and says so.
  AnswerNextFileDialog("", nullptr);
  RunLogoChooser(w, logo);
  EXPECT_FALSE(logo.present);
  EXPECT_EQ(LabelText(215), "Logo not present, cylindrical format");
  EXPECT_EQ(w.ControlAs<QLabel>(2009)->pixmap().toImage().pixel(187, 26), qRgb(0, 0, 0));
}

TEST_F(WindowFixture, CancelledLoadClosesTheStream) {
  MainWindow& w = Open();
  AnswerNextFileDialog("", nullptr);
  w.Action(100)->trigger();
  EXPECT_EQ(state.StreamState, 0);
  EXPECT_TRUE(calls.empty());
}

TEST_F(WindowFixture, MovieToAviAsksForBothNamesAndSaysWhatIsMissing) {
  MainWindow& w = Open();
  SeenMessage seen;
  AnswerNextFileDialog("", nullptr);
  AnswerNextMessageBox(QMessageBox::Ok, &seen);
  QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(seen.title, "Attention");
  EXPECT_EQ(seen.text, "Input file not found");
  EXPECT_TRUE(w.Action(100)->isEnabled());  // controls come back after the refusal
  EXPECT_EQ(state.StreamState, 0);
}

TEST_F(WindowFixture, TemporaryFolderFollowsTheBrowserAndCancelKeepsIt) {
  MainWindow& w = Open();
  const std::string before = state.settings.APATH;
  AnswerNextFileDialog("", nullptr);
  ClickControl(111);
  EXPECT_EQ(state.settings.APATH, before);
  const auto chosen = dir.path() / "tmp é";
  std::filesystem::create_directories(chosen);
  AnswerNextFileDialog(QString::fromStdString(chosen.string()), nullptr);
  w.Action(111)->trigger();
  EXPECT_EQ(state.settings.APATH, chosen.string());
  EXPECT_EQ(LabelText(112).toStdString(), chosen.string());
}

}  // namespace
}  // namespace corvinex::test
