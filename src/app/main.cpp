// Tessaline Corvinex: screen check, start-up, the main window, shutdown.

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/program_paths.h"
#include "app/program_state.h"
#include "app/screen_check.h"
#include "app/startup.h"
#include "app/window/logo_chooser.h"
#include "app/window/main_window.h"
#include "app/window/movie_session.h"
#include "app/window_command_line.h"
#include "extras/about_box.h"
#include "extras/external_links.h"
#include "extras/logo_maker.h"
#include "extras/logo_ui.h"
#include "extras/r3d_report.h"
#include "transform/logo_frame.h"

int main(int argc, char** argv) {
  // Before QApplication, which needs a display.
  if (const auto answer = corvinex::AnswerWithoutWindow({argv + 1, argv + argc})) {
    std::fputs(answer->c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  // The desktop entry's name lets the window system match windows to its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("corvinex"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/VIDEO.png")));
  const QSize screen = QGuiApplication::primaryScreen()->size();
  const corvinex::ScreenDecision decision = corvinex::DecideScreen(screen.width(), screen.height());
  if (decision.form == corvinex::ScreenForm::Refused) {
    QMessageBox::warning(nullptr, QString::fromStdString(decision.caption),
                         QString::fromStdString(decision.text));
    return 0;
  }
  if (decision.form == corvinex::ScreenForm::Shortened) {
    QMessageBox::information(nullptr, QString::fromStdString(decision.caption),
                             QString::fromStdString(decision.text));
  }

  corvinex::ProgramState state(corvinex::PathsForProgram(
      corvinex::RunningProgramFolder(), std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
  if (corvinex::KeepsDataElsewhere(state.paths)) {
    std::fprintf(stderr,
                 "corvinex: the program folder %s cannot be written; settings, log and "
                 "temporary files are kept in %s\n",
                 state.paths.programFolder.c_str(), state.paths.settingsFile.parent_path().c_str());
  }
  std::error_code error;
  corvinex::RunStartup(state, {.currentDirectory = std::filesystem::current_path(error),
                               .now = std::chrono::system_clock::now(),
                               .shortenedForm = decision.form == corvinex::ScreenForm::Shortened});

  corvinex::WindowServices services;
  services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  corvinex::LogoState logo;
  services.chooseLogo = [&logo](corvinex::MainWindow& w) { corvinex::RunLogoChooser(w, logo); };
  services.runLogoMaker = [](corvinex::MainWindow& w) { corvinex::RunLogoMaker(&w); };
  services.showAbout = [](corvinex::MainWindow& w) { corvinex::ShowAboutBox(&w); };
  corvinex::R3DConverterState r3d;
  services.startR3dConverter = [&r3d, &state](corvinex::MainWindow& w) {
    corvinex::ReportR3DStart(&w, corvinex::StartR3DConverter(r3d, state.paths.programFolder),
                             state.paths.programFolder);
  };
  corvinex::MainWindow window(state, std::move(services));
  corvinex::MovieSession session(window);
  corvinex::RestoreKeptLogo(window, logo);
  session.SetLogo(&logo);
  session.Provide(window.Services());
  window.show();
  state.log.LogLine("Main Form Created Ok");
  const int result = application.exec();
  state.StreamState = 1;
  return result;
}
