// Takes the manual's pictures of the real program, offscreen:
//   corvinex_take_screenshots PLUGIN_FOLDER MOVIE OUTPUT_FOLDER
// Writes main-window.png (the movie loaded, previews drawn), cut-area-preview.png,
// cut-area-dialog.png, viewer.png,
// about-box.png and output-options.png into OUTPUT_FOLDER.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/startup.h"
#include "app/window/command_ids.h"
#include "app/window/cut_area_dialog.h"
#include "app/window/main_window.h"
#include "app/window/movie_session.h"
#include "app/window/recompress_dialog.h"
#include "extras/about_box.h"
#include "sample_encoder.h"
#include "transform/unwrap_geometry.h"
#include "view/preview_canvas.h"
#include "view/viewer_window.h"

namespace {

namespace fs = std::filesystem;

// Runs the event loop until `done` holds; false after `limitMs`.
bool PumpUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

bool Save(QWidget& widget, const QDir& folder, const char* name) {
  widget.ensurePolished();
  const QString path = folder.filePath(QString::fromLatin1(name));
  const QPixmap picture = widget.grab();
  if (picture.isNull() || !picture.save(path, "PNG")) {
    std::fprintf(stderr, "corvinex_take_screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// A picture area still showing its caption grey has no movie in it yet.
bool ShowsPicture(corvinex::PreviewCanvas* area) {
  const QImage shot = area->Snapshot();
  if (shot.isNull()) return false;
  int coloured = 0;
  for (int y = 0; y < shot.height(); y += 7) {
    for (int x = 0; x < shot.width(); x += 7) {
      const QRgb p = shot.pixel(x, y);
      if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)) ++coloured;
    }
  }
  return coloured > 50;
}

int Fail(const char* what) {
  std::fprintf(stderr, "corvinex_take_screenshots: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/VIDEO.png")));
  if (argc != 4) {
    std::fprintf(stderr, "usage: corvinex_take_screenshots PLUGIN_FOLDER MOVIE OUTPUT_FOLDER\n");
    return 2;
  }
  const fs::path plugins = fs::absolute(argv[1]);
  const fs::path movie = fs::absolute(argv[2]);
  QDir output(QString::fromLocal8Bit(argv[3]));
  if (!output.mkpath(QStringLiteral("."))) return Fail("cannot create the output folder");

  // A program folder of its own, so that the build's log and TEMP stay untouched.
  QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("corvinex-XXXXXX")));
  if (!folder.isValid()) return Fail("cannot create a temporary program folder");
  const fs::path programFolder = folder.path().toStdString();
  std::error_code error;
  fs::create_directory_symlink(plugins, programFolder / "PLUG-IN", error);
  if (error) return Fail("cannot link the PLUG-IN folder");

  corvinex::ProgramState state(corvinex::PathsForFolder(programFolder));
  corvinex::RunStartup(state, {.currentDirectory = movie.parent_path(),
                               .now = std::chrono::system_clock::now(),
                               .shortenedForm = false});
  // The Cut Area on the demo movie's ring, as a user would have placed it.
  corvinex::StoreRing(corvinex::sample::kSampleRing, state.settings);
  auto window = std::make_unique<corvinex::MainWindow>(state);
  auto session = std::make_unique<corvinex::MovieSession>(*window);
  session->Provide(window->Services());
  window->show();
  Pump(200);

  session->OpenMovie(movie.string());
  if (!PumpUntil([&] { return window->Flags().movieOpen == 1; }, 30000)) {
    return Fail("the demo movie did not open");
  }
  if (!PumpUntil(
          [&] {
            return ShowsPicture(window->DoughnutArea()) && ShowsPicture(window->TransformArea());
          },
          30000)) {
    return Fail("the previews show no picture");
  }
  // A few frames into the movie, with the labels filled in.
  Pump(800);
  bool ok = Save(*window, output, "main-window.png");
  ok = Save(*window->DoughnutArea(), output, "cut-area-preview.png") && ok;
  window->Dispatch(corvinex::cmd::kCutAreaDialog);
  if (auto* dialog = window->findChild<corvinex::CutAreaDialog*>()) {
    Pump(200);
    ok = Save(*dialog, output, "cut-area-dialog.png") && ok;
    dialog->close();
    Pump(100);
  } else {
    return Fail("the Cut Area dialog did not open");
  }

  session->StartViewer(*window);
  corvinex::ViewerWindow* viewer = window->findChild<corvinex::ViewerWindow*>();
  if (viewer == nullptr) return Fail("the 360 viewer did not open");
  if (!PumpUntil([&] { return viewer->FramesDrawn() > 3; }, 30000)) {
    return Fail("the 360 viewer drew no frames");
  }
  Pump(300);
  ok = Save(*viewer, output, "viewer.png") && ok;
  viewer->close();
  Pump(300);

  {
    // Both dialogs are the window's children: they go before the window does.
    std::unique_ptr<QDialog> about(corvinex::CreateAboutBox(window.get()));
    about->show();
    Pump(200);
    ok = Save(*about, output, "about-box.png") && ok;
  }
  {
    corvinex::ExportChoice choice;
    const fs::path proposed = movie.parent_path() / (movie.stem().string() + "_Unwrapped.mp4");
    corvinex::RecompressDialog options(*window, proposed.string(), choice);
    options.show();
    Pump(200);
    ok = Save(options, output, "output-options.png") && ok;
    options.hide();
  }

  session->CloseMovie();
  session.reset();
  window->hide();
  window.reset();
  return ok ? 0 : 1;
}
