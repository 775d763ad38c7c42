#pragma once
// The file and folder choosers: the input movie, the output movie, the output file
// of the re-export dialog and the temporary folder. The dialogs always show their
// file list in the details view.

#include <QString>
#include <QStringList>
#include <string>

class QWidget;

namespace corvinex {

class MainWindow;

enum class ChooserMode {
  Act,         // Load / Convert Doughnut: the chooser's side effects, then the name
  ChooseOnly,  // Convert Movie to AVI: only the name
};

// Filter lists, each entry "description (patterns)". Every pattern is offered in
// lower and upper case: cameras write upper-case extensions and file names are
// case-sensitive here.
QStringList OpenMovieFilters();
QStringList OutputMovieFilters();
QStringList AviMovFilters();

// The proposal of the save dialog: the movie's file name without folder and
// extension, followed by "_Unwrapped".
QString ProposedOutputName(const std::string& moviePath);

// The extension a filter entry writes, lower case without the dot ("mp4"); empty
// for none.
QString FilterExtension(const QString& filter);

struct FileDialogRequest {
  QString title;
  QString fileName;       // proposed name
  QString initialFolder;  // empty: the current directory
  QStringList filters;
  bool save = false;
  bool fileMustExist = false;
  int32_t filterIndex = 0;  // the filter shown first; an index out of the list gives the first
};

// The index of the filter whose extension `file` carries, or -1.
int32_t FilterIndexOf(const QString& file, const QStringList& filters);

// Runs the open or save dialog; returns the chosen path or empty text.
QString FileDialog(QWidget* owner, const FileDialogRequest& request);

// The open-movie chooser. Clears the movie information and the previews; a
// cancelled choice closes any open movie. Returns the chosen path or empty text.
std::string ChooseInputMovie(MainWindow& window, ChooserMode mode);
// The output-movie chooser, proposing "<movie>_Unwrapped" in the last-used folder
// and, for Convert Doughnut, the type chosen last. In Act mode a cancel leaves the
// movie and its labels alone; otherwise it closes the movie as the input chooser does.
std::string ChooseOutputMovie(MainWindow& window, ChooserMode mode);
// The output chooser of the re-export dialog, proposing "Output Video" in `folder`.
// `outputType` is the type proposed first and, when the name chosen has one of the
// listed types, becomes that type (the save chooser's own, kept across restarts).
std::string ChooseOutputFile(QWidget* owner, const QString& folder, std::string& lastFolder,
                             int32_t& outputType);
// The folder browser on `path`; the chosen folder without trailing separators, or
// empty text when cancelled.
std::string ChooseFolder(QWidget* owner, const std::string& path);

}  // namespace corvinex
