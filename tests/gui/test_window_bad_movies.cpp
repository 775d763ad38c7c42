// Movies the window cannot use as they are: each gets its own message, the labels
// of the movie before stay, nothing is left half open, and the next good movie
// opens. A movie without timing is played from its re-encoded copy.

#include <QDir>
#include <fstream>

#include "app/window/command_ids.h"
#include "app/window/movie_session.h"
#include "convert/child_process.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "support/sample_movie.h"

namespace corvinex::test {
namespace {

struct BadMovieFixture : WindowFixture {
  std::unique_ptr<MovieSession> session;

  MainWindow& OpenSession() {
    std::filesystem::create_directory_symlink(CORVINEX_PLUGIN_DIR, dir.path() / "PLUG-IN");
    MainWindow& w = Open();
    session = std::make_unique<MovieSession>(w);
    session->Provide(w.Services());
    return w;
  }
  bool OpenGood(MainWindow& w, const std::filesystem::path& movie) {
    session->OpenMovie(movie.string());
    return QTest::qWaitFor([&] { return w.Flags().movieOpen == 1 && state.StreamState == 1; },
                           20000);
  }
  // Opens `movie`, expecting a message box; returns what it said.
  SeenMessage OpenBad(const std::filesystem::path& movie) {
    SeenMessage seen;
    AnswerNextMessageBox(QMessageBox::Ok, &seen);
    session->OpenMovie(movie.string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.seen; }, 20000)) << movie;
    return seen;
  }
  // A raw H.264 stream: pictures, but no duration.
  std::filesystem::path RawStream(const std::string& name) {
    const auto mp4 = dir.path() / (name + ".mp4");
    MakeSampleMovie(mp4, {.width = 320, .height = 240, .frames = 12, .sound = false});
    const auto raw = dir.path() / (name + ".h264");
    EXPECT_EQ(RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", "file:" + mp4.string(), "-c:v",
                          "copy", "-f", "h264", "file:" + raw.string()})
                  .exitCode,
              0);
    return raw;
  }
  void TearDown() override {
    session.reset();
    WindowFixture::TearDown();
  }
};

TEST_F(BadMovieFixture, EachBrokenMovieSaysWhyAndTheNextGoodOneOpens) {
  MainWindow& w = OpenSession();
  const auto good = dir.path() / "good é.mp4";
  MakeSampleMovie(good, {.width = 320, .height = 240, .frames = 10});
  ASSERT_TRUE(OpenGood(w, good));
  const QString goodSize = LabelText(304);
  EXPECT_EQ(goodSize, "320x240");

  const auto empty = dir.path() / "empty.mp4";
  std::ofstream(empty).flush();
  const auto text = dir.path() / "notes \"1\".avi";
  std::ofstream(text) << "this is not a movie\n";
  const auto soundOnly = dir.path() / "sound only.wav";
  ASSERT_EQ(RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=1", "file:" + soundOnly.string()})
                .exitCode,
            0);

  struct Case {
    std::filesystem::path movie;
    const char* text;
  };
  const Case cases[] = {
      {dir.path() / "no such movie.mp4", "AddSourceFile Error"},
      {empty, "Format of the file is not support.\r\nOr - File can be open by another app."},
      {text, "Format of the file is not support.\r\nOr - File can be open by another app."},
      {soundOnly, "Unsupported media type!"},
  };
  for (const Case& c : cases) {
    const auto before =
        std::filesystem::exists(c.movie) ? std::filesystem::file_size(c.movie) : std::uintmax_t{0};
    const SeenMessage seen = OpenBad(c.movie);
    EXPECT_EQ(seen.title, "Error Monitoring") << c.movie;
    EXPECT_EQ(seen.text.toStdString(), c.text) << c.movie;
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.StreamState == 0; }, 5000)) << c.movie;
    EXPECT_EQ(w.Flags().movieOpen, 0) << c.movie;
    // The labels keep the values of the movie before.
    EXPECT_EQ(LabelText(304), goodSize) << c.movie;
    if (std::filesystem::exists(c.movie)) {
      EXPECT_EQ(std::filesystem::file_size(c.movie), before);
    }
  }
  ASSERT_TRUE(OpenGood(w, good));
  session->CloseMovie();
  EXPECT_EQ(w.Flags().movieOpen, 0);
}

// Text, ANSI art and subtitles are read by FFmpeg as pictures of text; chosen with
// Load, each is refused with its reason and the movie loaded before goes on as it was,
// at its place, with its labels and preview lines.
TEST_F(BadMovieFixture, TextFilesAreRefusedAndTheLoadedMovieStays) {
  MainWindow& w = OpenSession();
  const auto good = dir.path() / "good.mp4";
  MakeSampleMovie(good, {.width = 320, .height = 240, .frames = 10});
  ASSERT_TRUE(OpenGood(w, good));
  session->PlayPause(false);
  w.Flags().paused = 1;
  const int64_t position = session->Source().Position();
  std::array<std::string, 4> lines;
  {
    std::lock_guard<std::mutex> hold(w.Flags().textMutex);
    lines = w.Flags().probeLines;
  }
  ASSERT_FALSE(lines[1].empty());

  const auto text = dir.path() / "read me.txt";
  {
    std::ofstream notes(text);
    for (int i = 0; i < 200; ++i) notes << "Just some notes about the trip, no movie.\n";
  }
  const auto scrap = dir.path() / "scrap.mp4";
  std::ofstream(scrap) << "two words";
  const auto ansi = dir.path() / "banner.ans";
  std::ofstream(ansi) << "\x1b[31mRED\x1b[0m text art\r\n";
  const auto subtitles = dir.path() / "words.srt";
  std::ofstream(subtitles) << "1\n00:00:01,000 --> 00:00:02,000\nHello\n\n";
  struct Case {
    std::filesystem::path file;
    const char* reason;
  };
  for (const Case& c : {Case{text, "it is a text file"}, Case{ansi, "it is a text file"},
                        Case{subtitles, "subtitles only"}, Case{scrap, "cannot be read"}}) {
    SeenMessage said;
    AnswerNextFileDialog(QString::fromStdString(c.file.string()), nullptr,
                         [&] { AnswerNextMessageBox(QMessageBox::Ok, &said); });
    w.Dispatch(cmd::kLoad);
    EXPECT_TRUE(said.seen) << c.file;
    EXPECT_TRUE(said.text.contains(c.reason)) << said.text.toStdString();
    EXPECT_TRUE(said.text.contains("The movie loaded stays as it was.")) << c.file;
    QTest::qWait(300);  // a stream loop told to end would have ended by now
    EXPECT_EQ(w.Flags().movieOpen, 1) << c.file;
    EXPECT_EQ(state.StreamState, 1);
    EXPECT_EQ(session->Info().path, good.string());
    EXPECT_EQ(LabelText(304), "320x240");
    EXPECT_EQ(session->Source().Position(), position) << "still where it rested";
    std::lock_guard<std::mutex> hold(w.Flags().textMutex);
    EXPECT_EQ(w.Flags().probeLines, lines) << "the preview still names the movie";
  }
  // The frame source refuses text on its own too, whoever asks it.
  const SeenMessage direct = OpenBad(text);
  EXPECT_FALSE(direct.text.isEmpty());
  EXPECT_EQ(w.Flags().movieOpen, 0);
}

TEST_F(BadMovieFixture, AMovieWithoutTimingPlaysFromItsTemporaryAviCopy) {
  MainWindow& w = OpenSession();
  const auto raw = RawStream("take 1");
  // The "Movie Conversion" dialog runs on the window's thread while the load thread waits.
  ASSERT_TRUE(OpenGood(w, raw));
  const auto copy = std::filesystem::path(state.settings.APATH) / "take 1.avi";
  EXPECT_TRUE(std::filesystem::exists(copy));
  {
    std::lock_guard<std::mutex> hold(w.Flags().textMutex);
    EXPECT_EQ(std::filesystem::path(w.Flags().moviePath), copy);
  }
  EXPECT_EQ(LabelText(304), "320x240");
  EXPECT_TRUE(LabelText(303).contains("take 1.avi")) << LabelText(303).toStdString();
  session->CloseMovie();
}

TEST_F(BadMovieFixture, ClosingWhileAMovieIsStillOpeningDoesNotHang) {
  MainWindow& w = OpenSession();
  const auto raw = RawStream("slow");
  session->OpenMovie(raw.string());
  // Straight away, while the probe or the transcoding runs.
  session->CloseMovie();
  EXPECT_EQ(w.Flags().movieOpen, 0);
  EXPECT_NE(state.StreamState, 1);
  const auto good = dir.path() / "good.mp4";
  MakeSampleMovie(good, {.width = 320, .height = 240, .frames = 10});
  EXPECT_TRUE(OpenGood(w, good));
}

}  // namespace
}  // namespace corvinex::test
