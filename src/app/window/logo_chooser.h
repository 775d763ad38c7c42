#pragma once
// "Add Logo to video" in the window: the movie stops while the chooser is open,
// the previews get their captions back, and the logo label and preview area show
// whether the output will be a spherical frame.

namespace corvinex {

class MainWindow;
struct LogoState;

void RunLogoChooser(MainWindow& window, LogoState& logo);

// The logo chosen before the last exit, loaded again when its file is still there and
// still a logo; otherwise it is forgotten. Called once at start.
void RestoreKeptLogo(MainWindow& window, LogoState& logo);

// Label 215 and the preview area 2009 from `logo`.
void ShowLogo(MainWindow& window, const LogoState& logo);

}  // namespace corvinex
