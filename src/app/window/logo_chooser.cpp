#include "app/window/logo_chooser.h"

#include <QLabel>
#include <QPixmap>
#include <QThread>
#include <filesystem>
#include <string>

#include "app/window/command_ids.h"
#include "app/window/main_window.h"
#include "app/window/qt_shutdown_hooks.h"
#include "extras/logo_decode.h"
#include "extras/logo_ui.h"

namespace corvinex {

void ShowLogo(MainWindow& window, const LogoState& logo) {
  if (auto* label = window.ControlAs<QLabel>(cmd::kAddLogo)) ShowLogoState(*label, logo);
  if (auto* area = window.ControlAs<QLabel>(cmd::kLogoArea)) {
    area->setPixmap(QPixmap::fromImage(LogoPreviewImage(logo)));
  }
  window.Flags().logoState = logo.present ? 1 : 10;
}

void RunLogoChooser(MainWindow& window, LogoState& logo) {
  ProgramState& state = window.State();
  ClearLogo(logo);  // the chooser starts from no logo; cancelling keeps it so
  ShowLogo(window, logo);
  state.log.LogLine("GetMultipleLogoFiles pMediaControl begin");
  if (window.Flags().movieOpen != 0 && window.Services().playPause) {
    window.Services().playPause(window, false);
    window.Flags().paused = 1;
    QtShutdownHooks().Pump(100);
  }
  state.log.LogLine("GetMultipleLogoFiles pMediaControl Ok");
  std::string chosen;
  ChooseLogo(
      &window, logo, QString::fromStdString(state.lastLogoFolder),
      [&] {
        state.log.LogLine("GetMultipleLogoFiles iRedraw Begin");
        window.ClearPreviews();
        state.log.LogLine("GetMultipleLogoFiles iRedraw Ok");
      },
      &chosen);
  state.options.LOGO = chosen;  // kept for the next start
  ShowLogo(window, logo);
}

void RestoreKeptLogo(MainWindow& window, LogoState& logo) {
  std::string& kept = window.State().options.LOGO;
  if (kept.empty()) return;
  std::error_code ec;
  // A file moved, deleted or no longer a logo is forgotten without a word.
  if (!std::filesystem::is_regular_file(kept, ec) || !LoadLogo(kept, logo)) {
    window.State().log.LogLine("Logo not found again: " + kept);
    kept.clear();
    ClearLogo(logo);
  }
  ShowLogo(window, logo);
}

}  // namespace corvinex
