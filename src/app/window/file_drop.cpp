#include "app/window/file_drop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "app/window/main_window.h"

namespace corvinex {
namespace {

class FileDropFilter : public QObject {
 public:
  explicit FileDropFilter(MainWindow& window) : QObject(&window), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &window_) return false;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(event);
      if (Busy() || DroppedFile(drag->mimeData()).empty()) {
        drag->ignore();
      } else {
        drag->acceptProposedAction();
      }
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::string path = DroppedFile(drop->mimeData());
      if (Busy() || path.empty()) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      Open(path);
      return true;
    }
    return false;
  }

 private:
  // A chooser open or a conversion running: no other file may open meanwhile.
  bool Busy() const {
    return window_.Flags().chooserOpen.load() != 0 || window_.Flags().conversionRunning.load() != 0;
  }

  void Open(const std::string& path) {
    WindowServices& services = window_.Services();
    if (!services.openMovie) return;
    if (window_.Flags().movieOpen && services.playPause) services.playPause(window_, false);
    window_.ClearPreviews();
    ProgramState& state = window_.State();
    state.settings.OPATH = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    state.StreamState = 1;
    state.movieLoaded = 1;
    services.openMovie(window_, path);
  }

  MainWindow& window_;
};

}  // namespace

std::string DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  if (!url.isLocalFile()) return {};
  const QFileInfo file(url.toLocalFile());
  return file.isFile() ? file.absoluteFilePath().toStdString() : std::string();
}

void AcceptFileDrops(MainWindow& window) {
  window.setAcceptDrops(true);
  window.installEventFilter(new FileDropFilter(window));
}

}  // namespace corvinex
