#pragma once
// Saves what a window shows (menu bar, controls, previews) as a PNG file, so that
// anyone can look at the layout without a screen.

#include <QString>

class QWidget;

namespace corvinex {

// Renders `window` with all its children and writes it to `path`. False when
// the file could not be written.
bool SaveWindowPng(QWidget& window, const QString& path);

}  // namespace corvinex
