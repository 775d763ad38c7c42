#pragma once
// A movie or photo dropped on the window opens as if chosen with Load.

#include <QObject>
#include <string>

class QMimeData;

namespace corvinex {

class MainWindow;

// The local file a drop carries, when it carries exactly one; empty otherwise.
std::string DroppedFile(const QMimeData* data);

// Lets `window` take dropped files; the filter belongs to the window.
void AcceptFileDrops(MainWindow& window);

}  // namespace corvinex
