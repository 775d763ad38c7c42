#include "app/window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <algorithm>
#include <cstdio>

#include "app/window/bitmap_button.h"
#include "app/window/click_sound.h"
#include "app/window/command_ids.h"
#include "app/window/control_styles.h"
#include "app/window/cut_area_dialog.h"
#include "app/window/cut_area_mouse.h"
#include "app/window/file_drop.h"
#include "app/window/heading_drag.h"
#include "app/window/output_window.h"
#include "app/window/qt_shutdown_hooks.h"
#include "media/movie_ring.h"
#include "media/photo_decode.h"
#include "media/photo_ring.h"
#include "transform/cut_area.h"
#include "transform/logo_frame.h"
#include "transform/output_projection.h"
#include "view/preview_canvas.h"

namespace corvinex {
namespace {

QFont WindowFont() {
  QFont font("DejaVu Sans");
  font.setStretch(QFont::Condensed);
  font.setPixelSize(11);
  return font;
}

// Ids of the six buttons with a hover look, in hover-table order, and their images.
constexpr std::array<std::pair<int32_t, const char*>, 6> kHoverButtons = {{
    {cmd::kPlayPause, "b_pause"},
    {cmd::kSave, "b_save"},
    {cmd::kLoad, "b_load"},
    {cmd::kConvert, "b_convert"},
    {cmd::kStop, "b_stopt"},
    {cmd::kHelp, "help"},
}};

}  // namespace

MainWindow::MainWindow(ProgramState& state, WindowServices services, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      state_(state),
      services_(std::move(services)) {
  setWindowTitle("Tessaline Corvinex");
  setFixedSize(state.shortenedForm ? QSize(1010, 650) : QSize(1024, 849));
  setWindowIcon(QIcon(":/icons/VIDEO.png"));
  setFont(WindowFont());
  sounds_ = new ClickSounds(this);
  lensMenu_.lensName = state.lensName;

  BuildMenus();
  AcceptFileDrops(*this);
  RefreshRadioChecks();
  actions_[cmd::kAutoSave]->setChecked(state.settings.AUTOSAVE != 0);
  actions_[cmd::kStereoPair]->setChecked(state.settings.STEREO_OUT_TYPE != 0);
  actions_[cmd::kStereo3dp]->setChecked(state.options.STEREO_3DP != 0);
  actions_[cmd::kDepthCheck]->setChecked(state.options.DEPTH_CH != 0);

  auto* client = new QWidget(this);
  client->setObjectName("client");
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, QColor(0x77, 0x77, 0x77));
  palette.setColor(QPalette::WindowText, Qt::black);
  client->setPalette(palette);
  setCentralWidget(client);
  BuildControls();

  // Every control reaches the dispatcher under its own identifier.
  for (const auto& [id, widget] : controls_) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      const int32_t commandId = id;
      connect(button, &QAbstractButton::clicked, this, [this, commandId] { Dispatch(commandId); });
    }
    if (auto* bitmap = qobject_cast<BitmapButton*>(widget)) {
      const int32_t buttonId = id;
      connect(bitmap, &BitmapButton::hoverChanged, this,
              [this, buttonId](bool inside) { OnHover(buttonId, inside); });
      bitmap->setCursor(QCursor(QPixmap(":/icons/autor.png"), 1, 1));
    }
  }

  cutAreaMouse_ = new CutAreaMouse(*this, *doughnutArea_);
  new HeadingDrag(*this, *transformArea_);

  if (state.shortenedForm && flags_.panoramaPreviewEnabled) OpenOutputWindow();
  BuildTooltips();
  RefreshCutAreaLabels();
  PublishView();
}

MainWindow::~MainWindow() {
  // The output window shares the drawing lock; it must go before the lock does.
  if (outputWindow_) delete outputWindow_.data();
}

QWidget* MainWindow::Control(int32_t id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

QAction* MainWindow::Action(int32_t id) const {
  const auto found = actions_.find(id);
  return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::CheckStyle(int32_t id, bool on, const char* onStyle, const char* offStyle) {
  if (QWidget* box = Control(id)) {
    // Coloured captions hide the usual disabled look: greyed during a run, they say so.
    Restyle(*box, QString("QCheckBox { %1 } QCheckBox:disabled { color: #606060; }")
                      .arg(on ? onStyle : offStyle));
    box->update();
  }
}

void MainWindow::RefreshCutAreaLabels() {
  for (const LabelText& label : corvinex::RefreshCutAreaLabels(RingFromSettings(state_.settings))) {
    if (auto* widget = ControlAs<QLabel>(label.control)) {
      widget->setText(QString::fromStdString(label.text));
    }
  }
}

void MainWindow::RefreshLensChecks() {
  ShowLens(state_.settings.HSIZE, lensMenu_);
  for (size_t i = 0; i < kLensProfiles.size(); ++i) {
    actions_[kLensProfiles[i].menuId]->setChecked(lensMenu_.checked[i]);
  }
  state_.lensName = lensMenu_.lensName;
}

void MainWindow::RefreshDepthChecks() {
  const int32_t depth = state_.options.DEPTH;
  for (int32_t id = cmd::kDepthFirst; id <= cmd::kDepthLast; ++id) {
    actions_[id]->setChecked(id == 898 + depth / 5);
  }
  if (auto* list = ControlAs<QComboBox>(cmd::kDepthList)) list->setCurrentIndex(depth / 5 - 4);
}

void MainWindow::RefreshRadioChecks() {
  auto group = [this](int32_t first, int32_t last, int32_t index) {
    for (int32_t id = first; id <= last; ++id) actions_[id]->setChecked(id - first == index);
  };
  const AppSettings& s = state_.settings;
  const SessionOptions& o = state_.options;
  RefreshLensChecks();
  actions_[cmd::kDirectShowAuto]->setChecked(s.DSSETUP == 0);
  actions_[cmd::kDirectShowFfmpeg]->setChecked(s.DSSETUP == 2);
  group(cmd::kBitRateFirst, cmd::kBitRateLast, s.BITRATE);
  group(cmd::kCodecFirst, cmd::kCodecLast, s.CODECMODE);
  group(cmd::kResizeFirst, cmd::kResizeLast, o.RESIZE);
  group(cmd::kVideoCodecFirst, cmd::kVideoCodecLast, o.CODEC);
  group(cmd::kChannelsFirst, cmd::kChannelsLast, o.AUDIO_CHANNELS);
  group(cmd::kRateFirst, cmd::kRateLast, o.AUDIO_RATE);
  group(cmd::kStereoTypeFirst, cmd::kStereoTypeLast, o.STEREO_TYPE);
  RefreshDepthChecks();
  RefreshPanoramaShapeChecks();
}

void MainWindow::SetOperationControls(bool enabled) {
  static constexpr int32_t kControls[] = {
      3900, 3901, 3902, 3903, 3904, 3907, 3908, 3917, 3918, cmd::kLoad, cmd::kSave, cmd::kConvert,
      cmd::kPlayPause, cmd::kFastConversion, cmd::kFlipHorizontal, cmd::kFlipVertical,
      cmd::kStereoPair,
      // Ignored or without effect until the run ends.
      cmd::kAspect, cmd::kFindRing, cmd::kCutAreaDialog, cmd::kTempPath, cmd::kShowLayout};
  static constexpr int32_t kItems[] = {cmd::kLoad,
                                       cmd::kSave,
                                       cmd::kTempPath,
                                       cmd::kConvert,
                                       cmd::kMovieToAvi,
                                       cmd::kPlayPause,
                                       cmd::kDirectShowAuto,
                                       cmd::kDirectShowFfmpeg,
                                       801,
                                       802,
                                       803,
                                       804,
                                       805,
                                       cmd::kLogoMaker,
                                       cmd::kAddLogo,
                                       cmd::kViewer,
                                       cmd::kStereoPair,
                                       cmd::kR3d,
                                       cmd::kAbout,
                                       cmd::kCutAreaDialog,
                                       cmd::kFindRing};
  for (int32_t id : kControls) {
    if (QWidget* control = Control(id)) control->setEnabled(enabled);
  }
  for (int32_t id : kItems) {
    if (QAction* action = Action(id)) action->setEnabled(enabled);
  }
  // An open Cut Area dialog cannot place the ring during a run either.
  if (cutAreaDialog_) cutAreaDialog_->setEnabled(enabled);
  if (enabled) {
    actions_[cmd::kDirectShowAuto]->setChecked(state_.settings.DSSETUP == 0);
    actions_[cmd::kDirectShowFfmpeg]->setChecked(state_.settings.DSSETUP == 2);
    RefreshLensChecks();
  }
}

void MainWindow::ClearPreviews() {
  transformArea_->ShowCaption();
  doughnutArea_->ShowCaption();
  if (outputWindow_) outputWindow_->Area()->ShowCaption();
}

void MainWindow::OpenOutputWindow() {
  if (outputWindow_) {
    std::lock_guard<std::mutex> hold(drawingLock_);
    delete outputWindow_.data();
  }
  auto* window = new OutputWindow(drawingLock_, this);
  new HeadingDrag(*this, *window->Area());  // the panorama shows here in the short form
  {
    std::lock_guard<std::mutex> hold(drawingLock_);
    outputWindow_ = window;
  }
  window->show();
}

ViewState MainWindow::PublishedView() {
  std::lock_guard<std::mutex> hold(flags_.textMutex);
  return flags_.view;
}

void MainWindow::PublishView() {
  {
    std::lock_guard<std::mutex> hold(flags_.textMutex);
    flags_.view = {RingFromSettings(state_.settings),
                   state_.settings.HSIZE,
                   state_.options.FLIP_MODE,
                   state_.settings.ASPECT,
                   FrameOptionsFrom(state_.settings, state_.options),
                   ShapeFromOptions(state_.options)};
    flags_.view.showLayout = state_.options.SHOW_LAYOUT != 0;
    flags_.view.decoderRoute = state_.settings.DSSETUP == 2;
    flags_.view.projection = ProjectionOptionsFrom(state_.options);
  }
  ShowFrameWithoutLogo();
  // A paused movie shows the change at once rather than at its next idle refresh.
  if (services_.refreshPreview) services_.refreshPreview(*this);
}

// Without a logo the label names the output's frame, which the projection decides:
// "cylindrical format" would be wrong for a 2:1 frame.
void MainWindow::ShowFrameWithoutLogo() {
  auto* label = ControlAs<QLabel>(cmd::kAddLogo);
  if (label == nullptr) return;
  static const QString strip = QString::fromUtf8(kLogoAbsentText.data(), kLogoAbsentText.size());
  static const QString frame = QStringLiteral("Logo not present, 360-degree video (2:1)");
  const QString text = label->text();
  if (text != strip && text != frame) return;  // a logo is present
  label->setText(state_.options.PROJECTION == kProjectionEquirect ? frame : strip);
}

void MainWindow::FindRing() {
  Click();
  if (flags_.movieOpen == 0 || flags_.moviePath.empty() || !CutAreaPlaceable()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // A photo is searched in its upright picture, the one shown: its EXIF orientation
  // would otherwise make it count as turned.
  const MovieRing found =
      IsPhotoPath(flags_.moviePath) ? FindRingInShownPhoto() : FindRingInMovie(flags_.moviePath);
  QApplication::restoreOverrideCursor();
  const FoundRing& ring = found.ring;
  // The frames searched are the stored ones; a movie turned by its rotation data shows
  // them turned, and the ring found would be in the wrong place.
  const bool turned = ring.found && (found.shownTurned || found.frameWidth != flags_.frameWidth ||
                                     found.frameHeight != flags_.frameHeight);
  if (!found.error.empty() || !ring.found || turned) {
    const std::string why = !found.error.empty() ? found.error
                            : turned ? "the picture is turned by the movie's rotation data"
                                     : ring.reason;
    state_.log.LogLine("Find Ring: none (" + why + ")");
    QMessageBox::information(this, "Find Ring",
                             QString("No ring was found with confidence: %1.\nThe Cut Area is "
                                     "unchanged; place it on the preview by hand.")
                                 .arg(QString::fromStdString(why)));
    return;
  }
  RingGeometry next = found.cutArea;
  // Without a dark centre to measure, the inner circle the user set stays.
  if (ring.innerRadius <= 0) next.RSIZE = CurrentRing().RSIZE;
  char text[160];
  std::snprintf(text, sizeof text,
                "Find Ring: centre %.1f, %.1f; radii %.1f, %.1f; confidence %.2f", ring.centreX,
                ring.centreY, ring.outerRadius, ring.innerRadius, ring.confidence);
  state_.log.LogLine(text);
  if (!ApplyCutArea(next)) {
    QMessageBox::information(this, "Find Ring",
                             "The ring found does not fit the Cut Area's limits.\nThe Cut Area "
                             "is unchanged; place it on the preview by hand.");
    return;
  }
  ShowRingFound(ring);
}

MovieRing MainWindow::FindRingInShownPhoto() {
  // The picture on show is the decoded photo: decoding a large one again takes longer
  // than the search. The file is read only when no picture of the photo's size is there.
  FrameImage picture;
  if (services_.shownPicture && services_.shownPicture(*this, picture) &&
      picture.width == flags_.frameWidth && picture.height == flags_.frameHeight) {
    return FindRingInPhoto(picture);
  }
  return FindRingInPhotoFile(flags_.moviePath);
}

void MainWindow::ShowRingFound(const FoundRing& ring) {
  // Not modal: the user compares the report with the circles on the preview.
  if (ringReport_) ringReport_->close();
  const bool doubtful = ring.confidence < kDoubtfulRingConfidence;
  QString text = QString(
                     "The Cut Area is placed on the ring found:\ncentre %1, %2; outer radius "
                     "%3 (movie pixels).\nConfidence: %4.")
                     .arg(ring.centreX, 0, 'f', 1)
                     .arg(ring.centreY, 0, 'f', 1)
                     .arg(ring.outerRadius, 0, 'f', 1)
                     .arg(ring.confidence, 0, 'f', 2);
  if (ring.innerRadius <= 0) {
    text += "\nNo dark centre was seen: the inner circle is left as it was.";
  }
  if (doubtful) {
    text +=
        "\n\nThe confidence is low, so the circle may be off. Check that the circles "
        "lie on the ring's edges and move them if not.";
  }
  auto* box = new QMessageBox(doubtful ? QMessageBox::Warning : QMessageBox::Information,
                              "Find Ring", text, QMessageBox::Ok, this);
  box->setObjectName("ringReport");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
  ringReport_ = box;
}

void MainWindow::OpenCutAreaDialog() {
  Click();
  if (!cutAreaDialog_) {
    cutAreaDialog_ = new CutAreaDialog(*this);
    // Over the controls, not over the preview it changes.
    cutAreaDialog_->move(mapToGlobal(QPoint(610, 300)));
  }
  cutAreaDialog_->show();
  cutAreaDialog_->raise();
  cutAreaDialog_->activateWindow();
}

void MainWindow::SetCutAreaButtonsEnabled(bool enabled) {
  for (const CutAreaButton& button : kCutAreaButtons) {
    if (QWidget* control = Control(button.id)) control->setEnabled(enabled);
  }
}

OutputWindow* MainWindow::OutputWindowIfOpen() const {
  return outputWindow_.data();
}

void MainWindow::DrawPreview(const PreviewScene& scene) {
  PreviewCanvas* panorama = nullptr;
  int32_t changed = 0;
  {
    std::lock_guard<std::mutex> hold(drawingLock_);
    panorama = outputWindow_ ? outputWindow_->Area() : transformArea_;
    changed = corvinex::PreviewDraw(scene, &panorama->BackBuffer(), &doughnutArea_->BackBuffer());
  }
  if (scene.panoramaEnabled) {
    shownPanoramaColumns_ =
        scene.output != nullptr
            ? FitInPanoramaArea(scene.output->width, scene.output->height).width()
            : kPanoramaAreaWidth;
  }
  if (changed & 1) panorama->RequestRepaint();
  if (changed & 2) doughnutArea_->RequestRepaint();
}

void MainWindow::SetLabelText(int32_t id, const QString& text) {
  QMetaObject::invokeMethod(
      this,
      [this, id, text] {
        if (auto* label = ControlAs<QLabel>(id)) label->setText(text);
      },
      Qt::AutoConnection);
}

void MainWindow::SetPositionBarWidth(int32_t width) {
  QMetaObject::invokeMethod(
      this,
      [this, width] {
        if (QWidget* bar = Control(cmd::kPositionBar)) bar->resize(std::clamp(width, 1, 598), 12);
      },
      Qt::AutoConnection);
}

void MainWindow::OnHover(int32_t id, bool inside) {
  for (size_t i = 0; i < kHoverButtons.size(); ++i) {
    auto* button = ControlAs<BitmapButton>(kHoverButtons[i].first);
    const QString base = kHoverButtons[i].second;
    if (inside && kHoverButtons[i].first == id) {
      hover_[i] = 1;
      button->SetButtonImage(base + "3");
    } else if (hover_[i] == 1) {
      hover_[i] = 0;
      button->SetButtonImage(base + "1");
    }
  }
}

bool MainWindow::ConfirmExit() {
  const auto answer = QMessageBox::warning(this, "Exit IDE", "Are you sure?",
                                           QMessageBox::Ok | QMessageBox::Cancel);
  if (answer != QMessageBox::Ok) return false;
  WindowShutdownHooks hooks(*this);
  RunShutdown(state_, hooks);
  shutdownDone_ = true;
  return true;
}

void MainWindow::AskStopAndQuit() {
  if (stopQuestion_) {
    stopQuestion_->raise();
    return;
  }
  const bool converting = runningCommand_ == cmd::kConvert || flags_.conversionRunning != 0;
  auto* box = new QMessageBox(
      QMessageBox::Warning, converting ? "Conversion running" : "Operation running",
      converting ? "Stop the conversion and quit? The movie being written will be discarded."
                 : "Stop the running operation and quit?",
      QMessageBox::Ok | QMessageBox::Cancel, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  stopQuestion_ = box;
  connect(box, &QMessageBox::finished, this, [this](int answer) {
    if (answer != QMessageBox::Ok) return;
    closePending_ = true;
    state_.stopFlag = 1;
    // The run may have ended while the question was open.
    if (runningCommand_ == 0) FinishPendingClose();
  });
  box->open();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (shutdownDone_) {
    event->accept();
    return;
  }
  if (runningCommand_ == cmd::kExit) {
    // Exit closes once its command has returned.
    if (QMessageBox::warning(this, "Exit IDE", "Are you sure?",
                             QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok) {
      closePending_ = true;
    }
    event->ignore();
    return;
  }
  if (runningCommand_ != 0) {
    // A command runs in place below this event: ask it to stop, and close once it
    // has returned, so that nothing it still uses goes away under it. The question
    // does not block: the command goes on working while it is open.
    event->ignore();
    AskStopAndQuit();
    return;
  }
  if (flags_.encoderBusy) {
    event->ignore();
    return;
  }
  if (!ConfirmExit()) {
    event->ignore();
    return;
  }
  QtShutdownHooks().Pump(10);
  if (outputWindow_) outputWindow_->close();
  event->accept();
}

}  // namespace corvinex
