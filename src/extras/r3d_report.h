#pragma once
// What the user is told after asking for the R3D converter: it runs on its own once
// started, but a missing or broken tool must not pass in silence.

#include <QWidget>
#include <filesystem>

#include "extras/external_links.h"

namespace corvinex {

// A message box owned by `owner` for every outcome but a start: the tool missing
// (naming where it is looked for), failing to start, or already running.
void ReportR3DStart(QWidget* owner, R3DStart started, const std::filesystem::path& programFolder);

}  // namespace corvinex
