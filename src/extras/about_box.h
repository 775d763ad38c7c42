#pragma once
// The About box: icon, title and version, and two labels that open a support mail
// and the web page. Modal; keeps no state.

class QDialog;
class QWidget;

namespace corvinex {

// Builds the box (not yet shown); the caller owns it.
QDialog* CreateAboutBox(QWidget* parent);

// Shows the box modally and returns when it is closed.
void ShowAboutBox(QWidget* parent);

}  // namespace corvinex
