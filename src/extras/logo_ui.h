#pragma once
// The logo's user-facing side: loading a chosen file with the bad-format message,
// the label text and colours, and the preview picture.

#include <QImage>
#include <QString>
#include <filesystem>
#include <functional>

#include "transform/logo_frame.h"

class QLabel;
class QWidget;

namespace corvinex {

// LoadLogo, then "Bad Logo format." in a "Logo Image Error" box when the file was
// refused. Returns whether a logo is present.
bool LoadLogoWithMessage(QWidget* parent, const std::filesystem::path& file, LogoState& logo);

// "Add Logo to video": clears the logo, then offers the chooser in `folder`; a chosen
// file goes through LoadLogoWithMessage. Cancelling leaves no logo. `chosenFile`, when
// given, receives the file whose logo is now present (empty otherwise).
bool ChooseLogo(QWidget* parent, LogoState& logo, const QString& folder,
                const std::function<void()>& afterDialog = {}, std::string* chosenFile = nullptr);

// Text and colours of the logo state label.
void ShowLogoState(QLabel& label, const LogoState& logo);

// The 375 x 52 preview picture: the stretched logo, or black.
QImage LogoPreviewImage(const LogoState& logo);

}  // namespace corvinex
