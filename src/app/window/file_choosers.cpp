#include "app/window/file_choosers.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <filesystem>

#include "app/window/main_window.h"
#include "app/window/qt_shutdown_hooks.h"
#include "view/preview_canvas.h"

namespace corvinex {
namespace {

QString BothCases(const QString& patterns) {
  QStringList all;
  for (const QString& pattern : patterns.split(';')) all << pattern << pattern.toUpper();
  return all.join(' ');
}

QStringList Filters(const std::initializer_list<std::pair<const char*, const char*>>& rows,
                    const char* prefix = "") {
  QStringList filters;
  for (const auto& [description, patterns] : rows) {
    filters << QString("%1%2 (%3)").arg(prefix, description, BothCases(patterns));
  }
  return filters;
}

QString FolderOf(const QString& path) {
  return QFileInfo(path).absolutePath();
}

void ClearMovieInformation(MainWindow& window) {
  for (int32_t id : {409, 309, 303, 304, 305, 306, 307}) {
    if (auto* label = window.ControlAs<QLabel>(id)) label->clear();
  }
}

// After a cancelled choice: the movie closes and the doughnut area shows its caption.
void CloseAfterCancel(MainWindow& window) {
  window.State().StreamState = 0;
  window.Flags().movieOpen = 0;
  window.DoughnutArea()->ShowCaption();
}

}  // namespace

QStringList OpenMovieFilters() {
  return Filters({
      {"All videos and photos",
       "*.avi;*.asf;*.mpg;*.mpeg;*.mov;*.qt;*.mkv;*.m2ts;*.mts;*.ts;*.m2t;*.tod;*.mp4;*.flv;*.f4v;"
       "*.m4v;*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.webp"},
      {"All video files",
       "*.avi;*.asf;*.mpg;*.mpeg;*.mov;*.qt;*.mkv;*.m2ts;*.mts;*.ts;*.m2t;*.tod;*.mp4;*.flv;*.f4v;"
       "*.m4v"},
      {"MOV video files (*.MOV)", "*.mov"},
      {"AVI video files (*.AVI)", "*.avi"},
      {"MP4 video files (*.MP4)", "*.mp4"},
      {"ASF video files (*.ASF)", "*.asf"},
      {"MPG video files (*.MPG, *.MPEG)", "*.mpg;*.mpeg"},
      {"QT video files (*.QT)", "*.qt"},
      {"M2TS video files (*.M2TS)", "*.m2ts"},
      {"MTS video files (*.MTS)", "*.mts"},
      {"TS video files (*.TS)", "*.ts"},
      {"M2T video files (*.M2T)", "*.m2t"},
      {"MKV video files (*.MKV)", "*.mkv"},
      {"TOD video files (*.TOD)", "*.tod"},
      {"FLV video files (*.FLV)", "*.flv"},
      {"F4V video files (*.F4V)", "*.f4v"},
      {"M4V video files (*.M4V)", "*.m4v"},
      {"Photos (*.JPG, *.PNG, *.TIF, *.WEBP)", "*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.webp"},
  });
}

QStringList OutputMovieFilters() {
  return Filters({{" FLV video files (*.FLV)", "*.flv"},
                  {" AVI 2.0 video files (*.AVI)", "*.avi"},
                  {" MOV video files (*.MOV)", "*.mov"},
                  {" MP4 video files (*.MP4)", "*.mp4"},
                  {" M4V video files (*.M4V)", "*.m4v"},
                  {" OGG video files (*.OGG)", "*.ogg"},
                  {" OGV video files (*.OGV)", "*.ogv"},
                  {" WEBM video files (*.WEBM)", "*.webm"},
                  {" MKV video files (*.MKV)", "*.mkv"}},
                 "Rectangular Video");
}

QStringList AviMovFilters() {
  return Filters({{" AVI 2.0 video files (*.AVI)", "*.avi"}, {" MOV video files (*.MOV)", "*.mov"}},
                 "Rectangular Video");
}

QString ProposedOutputName(const std::string& moviePath) {
  const std::filesystem::path path(moviePath);
  return QString::fromStdString(path.stem().string()) + "_Unwrapped";
}

QString FilterExtension(const QString& filter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
  const QRegularExpressionMatch match = pattern.match(filter.mid(filter.lastIndexOf('(')));
  return match.hasMatch() ? match.captured(1).toLower() : QString();
}

namespace {

// Whether `name` already ends with the extension of one of the filters.
bool HasFilterExtension(const QString& name, const QStringList& filters) {
  const QString suffix = QFileInfo(name).suffix().toLower();
  return std::any_of(filters.begin(), filters.end(),
                     [&](const QString& f) { return FilterExtension(f) == suffix; });
}

// The name with the type's extension in place of a type extension it had, or added.
QString WithTypeExtension(QString name, const QStringList& filters, const QString& extension) {
  if (extension.isEmpty()) return name;
  if (HasFilterExtension(name, filters)) name.chop(QFileInfo(name).suffix().size() + 1);
  return name + '.' + extension;
}

}  // namespace

int32_t FilterIndexOf(const QString& file, const QStringList& filters) {
  const QString suffix = QFileInfo(file).suffix().toLower();
  for (qsizetype i = 0; i < filters.size(); ++i) {
    if (!suffix.isEmpty() && FilterExtension(filters[i]) == suffix) return static_cast<int32_t>(i);
  }
  return -1;
}

QString FileDialog(QWidget* owner, const FileDialogRequest& request) {
  QFileDialog dialog(owner, request.title,
                     request.initialFolder.isEmpty() ? QDir::currentPath() : request.initialFolder);
  // Our own dialog rather than the platform's, so the details view can be set directly.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setViewMode(QFileDialog::Detail);
  dialog.setNameFilters(request.filters);
  const bool indexInList = request.filterIndex >= 0 && request.filterIndex < request.filters.size();
  const QString firstFilter =
      indexInList ? request.filters[request.filterIndex] : request.filters.value(0);
  if (!request.filters.isEmpty()) dialog.selectNameFilter(firstFilter);
  if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
  }
  const bool typed = request.save && !request.filters.isEmpty();
  if (typed) {
    // As a platform save dialog does: the name carries the chosen type's extension,
    // which follows the type list, and a name typed without one gets it.
    const QString extension = FilterExtension(firstFilter);
    dialog.setDefaultSuffix(extension);
    if (!request.fileName.isEmpty()) {
      dialog.selectFile(WithTypeExtension(request.fileName, request.filters, extension));
    }
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, filters = request.filters](const QString& filter) {
                       const QString next = FilterExtension(filter);
                       dialog.setDefaultSuffix(next);
                       auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
                       if (edit != nullptr && HasFilterExtension(edit->text(), filters)) {
                         edit->setText(WithTypeExtension(edit->text(), filters, next));
                       }
                     });
  } else if (!request.fileName.isEmpty()) {
    dialog.selectFile(request.fileName);
  }
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  QString file = chosen.front();
  // A name with a dot of its own ("take.v2") gets no default suffix from the dialog.
  if (typed && !HasFilterExtension(file, request.filters)) {
    file += '.' + FilterExtension(dialog.selectedNameFilter());
    if (QFileInfo::exists(file) &&
        QMessageBox::question(owner, request.title,
                              QString("%1 already exists.\nDo you want to replace it?")
                                  .arg(QFileInfo(file).fileName())) != QMessageBox::Yes) {
      return {};
    }
  }
  return file;
}

std::string ChooseInputMovie(MainWindow& window, ChooserMode mode) {
  WindowState& flags = window.Flags();
  ProgramState& state = window.State();
  if (flags.chooserOpen.exchange(1) == 1) return {};
  state.log.LogLine("GetMultipleFiles pMediaControl begin");
  if (flags.movieOpen && window.Services().playPause) {
    window.Services().playPause(window, false);
    QThread::msleep(100);
  }
  state.log.LogLine("GetMultipleFiles pMediaControl Ok");
  ClearMovieInformation(window);
  const QString chosen =
      FileDialog(&window, {.title = "Load Video",
                           .fileName = {},
                           .initialFolder = QString::fromStdString(state.settings.OPATH),
                           .filters = OpenMovieFilters(),
                           .save = false,
                           .fileMustExist = true});
  flags.chooserOpen = 0;
  window.repaint();
  QtShutdownHooks().Pump(10);
  window.ClearPreviews();
  if (chosen.trimmed().isEmpty()) {
    CloseAfterCancel(window);
    return {};
  }
  state.settings.OPATH = FolderOf(chosen).toStdString();
  (void)mode;  // both modes return the name; the caller opens it in Act mode
  return chosen.toStdString();
}

std::string ChooseOutputMovie(MainWindow& window, ChooserMode mode) {
  WindowState& flags = window.Flags();
  ProgramState& state = window.State();
  flags.paused = flags.paused != 0 ? 0 : 1;
  QThread::msleep(100);
  const bool act = mode == ChooserMode::Act;
  // Convert Doughnut keeps its movie on show: a cancel leaves everything as it was.
  if (!act) ClearMovieInformation(window);
  std::string moviePath;
  {
    std::lock_guard<std::mutex> hold(flags.textMutex);
    moviePath = flags.moviePath;
  }
  const QString chosen =
      FileDialog(&window, {.title = act ? "Save Rectangular Video" : "Save Video",
                           .fileName = ProposedOutputName(moviePath),
                           .initialFolder = QString::fromStdString(state.settings.OPATH),
                           .filters = act ? OutputMovieFilters() : AviMovFilters(),
                           .save = true,
                           .fileMustExist = false,
                           .filterIndex = act ? state.options.OUTPUT_TYPE : 0});
  if (chosen.trimmed().isEmpty()) {
    if (!act) CloseAfterCancel(window);
    return {};
  }
  // The type chosen is proposed next time, also after a restart.
  if (act) {
    const int32_t type = FilterIndexOf(chosen, OutputMovieFilters());
    if (type >= 0) state.options.OUTPUT_TYPE = type;
  }
  window.repaint();
  QtShutdownHooks().Pump(10);
  window.ClearPreviews();
  state.settings.OPATH = FolderOf(chosen).toStdString();
  return chosen.toStdString();
}

std::string ChooseOutputFile(QWidget* owner, const QString& folder, std::string& lastFolder,
                             int32_t& outputType) {
  // A save dialog that insisted on an existing file could never name a new movie.
  const QString chosen = FileDialog(owner, {.title = "Save Rectangular Video",
                                            .fileName = "Output Video",
                                            .initialFolder = folder,
                                            .filters = OutputMovieFilters(),
                                            .save = true,
                                            .fileMustExist = false,
                                            .filterIndex = outputType});
  if (chosen.trimmed().isEmpty()) return {};
  lastFolder = FolderOf(chosen).toStdString();
  const int32_t type = FilterIndexOf(chosen, OutputMovieFilters());
  if (type >= 0) outputType = type;
  return chosen.toStdString();
}

std::string ChooseFolder(QWidget* owner, const std::string& path) {
  QString start = QString::fromStdString(path);
  while (start.size() > 1 && start.endsWith('/')) start.chop(1);
  const QString chosen = QFileDialog::getExistingDirectory(
      owner, "Select Folder", start.left(255),
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  QString result = chosen;
  while (result.size() > 1 && result.endsWith('/')) result.chop(1);
  return result.toStdString();
}

}  // namespace corvinex
