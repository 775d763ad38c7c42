// The command dispatcher: every menu item, accelerator, button, check box and
// list of the main window arrives here under its identifier.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QThread>
#include <QUrl>
#include <filesystem>

#include "app/window/bitmap_button.h"
#include "app/window/click_sound.h"
#include "app/window/command_ids.h"
#include "app/window/control_styles.h"
#include "app/window/file_choosers.h"
#include "app/window/main_window.h"
#include "app/window/photo_output.h"
#include "app/window/qt_shutdown_hooks.h"
#include "convert/encoder_command.h"
#include "convert/hardware_probe.h"
#include "extras/external_links.h"
#include "media/photo_decode.h"
#include "media/picture_check.h"
#include "settings/leading_number.h"
#include "settings/settings_file.h"
#include "transform/cut_area.h"

namespace corvinex {
namespace {

// Commands that start or change an operation. While one command runs in place
// (a conversion pumping events) none of these may start: a nested one would run
// over the first and switch the operation controls back on under it.
bool IsOperationCommand(int32_t id) {
  switch (id) {
    case cmd::kLoad:
    case cmd::kPlayPause:
    case cmd::kSave:
    case cmd::kConvert:
    case cmd::kMovieToAvi:
    case cmd::kTempPath:
    case cmd::kAddLogo:
    case cmd::kLogoMaker:
    case cmd::kViewer:
    case cmd::kR3d:
    case cmd::kDirectShowAuto:
    case cmd::kDirectShowFfmpeg:
    case cmd::kStereoPair:
    case cmd::kFastConversion:
    case cmd::kFlipHorizontal:
    case cmd::kFlipVertical:
    case cmd::kExit:
    case cmd::kAbout:
    case cmd::kFindRing:
      return true;
    default:
      return (id >= cmd::kLensFirst && id <= cmd::kLensLast) || IsCutAreaButton(id);
  }
}

bool Checked(QWidget* widget) {
  auto* box = qobject_cast<QCheckBox*>(widget);
  return box && box->isChecked();
}

}  // namespace

void MainWindow::Dispatch(int32_t id, int32_t notification) {
  if (runningCommand_ != 0 && IsOperationCommand(id)) return;
  const int32_t outer = runningCommand_;
  runningCommand_ = id;
  const bool finished = RunCommand(id, notification);
  runningCommand_ = outer;
  if (finished) RefreshCutAreaLabels();
  PublishView();
  // A question to stop a run that has ended meanwhile no longer applies.
  if (outer == 0 && !closePending_ && stopQuestion_) stopQuestion_->reject();
  if (outer == 0 && closePending_) FinishPendingClose();
}

void MainWindow::FinishPendingClose() {
  closePending_ = false;
  WindowShutdownHooks hooks(*this);
  RunShutdown(state_, hooks);
  shutdownDone_ = true;
  close();
}

void MainWindow::SleepScaled(int32_t ms) {
  const auto scaled = static_cast<unsigned long>(ms * feedbackScale_);
  if (scaled > 0) QThread::msleep(scaled);
}

void MainWindow::Click() {
  sounds_->PlayResourceSound("TICK", "SOUND3");
}

void MainWindow::Feedback(int32_t buttonId, const QString& image, int32_t sleepMs) {
  auto* button = ControlAs<BitmapButton>(buttonId);
  button->SetButtonImage(image + "2");
  Click();
  SleepScaled(sleepMs);
  button->SetButtonImage(image + "1");
}

void MainWindow::Placeholder(const char* what) {
  state_.log.LogLine(std::string(what) + ": not available in this build");
}

void MainWindow::ToggleSwitch(int32_t id, int32_t& value, int32_t onValue) {
  value = value != 0 ? 0 : onValue;
  actions_[id]->setChecked(value != 0);
  if (auto* box = ControlAs<QCheckBox>(id)) box->setChecked(value != 0);
}

void MainWindow::SetSlider(int32_t id, int32_t value) {
  if (auto* slider = ControlAs<QSlider>(id)) slider->setValue(value);
}

void MainWindow::ShowTempFolder() {
  if (auto* label = ControlAs<QLabel>(cmd::kTempPathLabel)) {
    label->setText(QString::fromStdString(state_.settings.APATH));
  }
}

bool MainWindow::RunCutAreaButton(int32_t id) {
  RingGeometry ring = RingFromSettings(state_.settings);
  const CutAreaClick result =
      ClickCutAreaButton(ring, id, state_.StreamState != 0, flags_.cutAreaAdjustable != 0,
                         flags_.frameWidth, flags_.frameHeight);
  if (result == CutAreaClick::Ignored) return false;
  sounds_->PlayResourceSound("TICKB", "SOUND5");
  if (result == CutAreaClick::Applied) {
    StoreRing(ring, state_.settings);
    flags_.cutAreaRedraw = 1;
    emit cutAreaChanged();
  }
  // The value labels follow at once rather than waiting for another command.
  return true;
}

bool MainWindow::CutAreaPlaceable() const {
  const QWidget* pad = Control(kCutLeft);
  // Find Ring runs as a command and places the ring it found itself.
  const bool free = runningCommand_ == 0 || runningCommand_ == cmd::kFindRing;
  return free && state_.StreamState != 0 && flags_.cutAreaAdjustable != 0 && pad != nullptr &&
         pad->isEnabled();
}

bool MainWindow::ApplyCutArea(const RingGeometry& next) {
  if (!CutAreaPlaceable()) return false;
  RingGeometry ring = RingFromSettings(state_.settings);
  if (ChangeCutArea(ring, next, true, true, flags_.frameWidth, flags_.frameHeight) !=
      CutAreaClick::Applied) {
    return false;
  }
  StoreRing(ring, state_.settings);
  flags_.cutAreaRedraw = 1;
  RefreshCutAreaLabels();
  PublishView();
  emit cutAreaChanged();
  return true;
}

bool MainWindow::RunCommand(int32_t id, int32_t notification) {
  AppSettings& s = state_.settings;
  SessionOptions& o = state_.options;
  if (IsCutAreaButton(id)) return RunCutAreaButton(id);
  if (id >= cmd::kLensFirst && id <= cmd::kLensLast) {
    SelectLens(id, s.HSIZE, lensMenu_);
    RefreshLensChecks();
    return true;
  }
  auto radio = [this](int32_t& field, int32_t value) {
    field = value;
    RefreshRadioChecks();
    return true;
  };
  if (id >= cmd::kWidthAsBefore && id <= cmd::kHeadingDialog) return RunPanoramaShapeCommand(id);
  if (id >= cmd::kBitRateFirst && id <= cmd::kBitRateLast) return radio(s.BITRATE, id - 830);
  if (id >= cmd::kCodecFirst && id <= cmd::kCodecLast) return radio(s.CODECMODE, id - 840);
  if (id >= cmd::kResizeFirst && id <= cmd::kResizeLast) return radio(o.RESIZE, id - 870);
  if (id >= cmd::kVideoCodecFirst && id <= cmd::kVideoCodecLast) {
    // A codec with a hardware choice in view: the encoders' test encodes start now,
    // in the background, rather than at the conversion.
    if (WantsHardwareProbe(id - cmd::kVideoCodecFirst, o.ENCODER)) {
      StartHardwareProbe(EncoderToolPath(state_.paths.programFolder));
    }
    return radio(o.CODEC, id - cmd::kVideoCodecFirst);
  }
  if (id >= cmd::kRateFirst && id <= cmd::kRateLast) return radio(o.AUDIO_RATE, id - 880);
  if (id >= cmd::kChannelsFirst && id <= cmd::kChannelsLast) {
    return radio(o.AUDIO_CHANNELS, id - 890);
  }
  if (id >= cmd::kStereoTypeFirst && id <= cmd::kStereoTypeLast) {
    return radio(o.STEREO_TYPE, id - 897);
  }
  if (id >= cmd::kDepthFirst && id <= cmd::kDepthLast) {
    Click();
    return radio(o.DEPTH, 20 + 5 * (id - cmd::kDepthFirst));
  }

  switch (id) {
    case cmd::kLoad:
      LoadMovie();
      return true;
    case cmd::kPlayPause: {
      if (state_.StreamState == 0 || flags_.movieOpen == 0) return false;
      Feedback(cmd::kPlayPause, "b_pause", 500);
      // A movie that played to its end has stopped: the click plays it again.
      if (services_.movieAtEnd && services_.movieAtEnd(*this)) flags_.paused = 1;
      flags_.paused = flags_.paused != 0 ? 0 : 1;
      SleepScaled(100);
      if (services_.playPause) {
        services_.playPause(*this, flags_.paused == 0);
      } else {
        Placeholder("Play/Pause Video");
      }
      return true;
    }
    case cmd::kSave:
      if (state_.StreamState == 0) return false;
      Feedback(cmd::kSave, "b_save", 500);
      if (!WriteSettings(state_.paths.settingsFile, s, o)) {
        // A full disk or a read-only folder must not pass silently for a save.
        QMessageBox::warning(this, "Error",
                             "The parameters could not be saved to\r\n" +
                                 QString::fromStdString(state_.paths.settingsFile.string()));
      }
      return true;
    case cmd::kAbout:
      Click();
      SleepScaled(500);
      if (services_.showAbout) {
        services_.showAbout(*this);
      } else {
        Placeholder("About");
      }
      return true;
    case cmd::kConvert:
      if (state_.StreamState == 0) return false;
      ConvertDoughnut();
      return true;
    case cmd::kMovieToAvi:
      ConvertMovieToAvi();
      return true;
    case cmd::kExit:
      if (flags_.encoderBusy) return false;
      Click();
      close();
      return true;
    case cmd::kHelp: {
      Feedback(cmd::kHelp, "help", 500);
      const std::filesystem::path manual = state_.paths.programFolder / "TLVPUB.pdf";
      const QString shown = QString::fromStdString(manual.string());
      std::error_code error;
      if (!std::filesystem::is_regular_file(manual, error)) {
        QMessageBox::warning(this, "Help", "The manual was not found:\r\n" + shown);
      } else if (!services_.openUrl || !services_.openUrl(QUrl::fromLocalFile(shown))) {
        QMessageBox::information(
            this, "Help", "No program to show PDF files was found. The manual is:\r\n" + shown);
      }
      return true;
    }
    case cmd::kTempPath:
      Click();
      ChooseTempFolder();
      return true;
    case cmd::kAspect: {
      Click();
      const bool on = Checked(Control(id));
      s.ASPECT = on ? 1 : 0;
      CheckStyle(id, on, kWhiteOnBlack, kGreyOnBlack);
      if (on) {
        QMessageBox::warning(
            this, "Warning !",
            "Fix aspect ratio PARxDAR\r\nUse the option only, if a frame of image is stretched.");
      }
      return true;
    }
    case cmd::kSharpenCheck:
    case cmd::kContrastCheck:
    case cmd::kBrightnessCheck:
    case cmd::kCpuCheck:
    case cmd::kNoiseCheck: {
      Click();
      const bool on = Checked(Control(id));
      int32_t& field = id == cmd::kSharpenCheck      ? s.SHARPEN_CH
                       : id == cmd::kContrastCheck   ? s.CONTRAST_CH
                       : id == cmd::kBrightnessCheck ? s.BRIGHTNESS_CH
                       : id == cmd::kCpuCheck        ? s.CPU_CH
                                                     : s.NOISE_CH;
      field = on ? 1 : 0;
      CheckStyle(id, on, kAdjustOn, kAdjustOff);
      return true;
    }
    case cmd::kAddLogo: {
      o.LOGO.clear();
      auto* label = ControlAs<QLabel>(cmd::kAddLogo);
      label->setText("Logo not present, cylindrical format");
      Restyle(*label, "QLabel { color: #000000; background-color: #999999; border: none; }");
      flags_.logoState = 10;
      flags_.cutAreaRedraw = 1;
      if (services_.chooseLogo) {
        services_.chooseLogo(*this);
      } else {
        Placeholder("Add Logo to video");
      }
      return true;
    }
    case cmd::kLogoMaker:
      if (flags_.logoMakerRunning) return false;
      flags_.logoMakerRunning = 1;
      if (services_.runLogoMaker) {
        services_.runLogoMaker(*this);
      } else {
        Placeholder("DedeZoze converter");
      }
      flags_.logoMakerRunning = 0;
      return true;
    case cmd::kResetSharpen:
      s.SHARPEN = 1;
      s.RADIUS = 0;
      SetSlider(cmd::kSharpenSlider, 1);
      SetSlider(cmd::kRadiusSlider, 0);
      return true;
    case cmd::kResetBrightness:
      s.BRIGHTNESS = 127;
      SetSlider(cmd::kBrightnessSlider, 127);
      return true;
    case cmd::kResetContrast:
      s.CONTRAST = 127;
      SetSlider(cmd::kContrastSlider, 127);
      return true;
    case cmd::kResetNoise:
      s.NOISE = 1;
      SetSlider(cmd::kNoiseSlider, 1);
      return true;
    case cmd::kResetCpu:
      s.CPU = 100;
      SetSlider(cmd::kCpuSlider, 100);
      return true;
    case cmd::kFileInformation: {
      QString text;
      {
        std::lock_guard<std::mutex> hold(flags_.textMutex);
        text = QString::fromStdString(flags_.movieInformation);
      }
      if (text.trimmed().isEmpty()) return false;
      QMessageBox::information(this, "Video file information", text);
      return true;
    }
    case cmd::kFastConversion: {
      const bool on = Checked(Control(id));
      o.OS_PREVIEW = on ? 1 : 0;
      CheckStyle(id, on, kWhiteOnBlack, kGreyOnBlack);
      return true;
    }
    case cmd::kShowLayout: {
      const bool on = Checked(Control(id));
      o.SHOW_LAYOUT = on ? 1 : 0;
      CheckStyle(id, on, kWhiteOnBlack, kGreyOnBlack);
      return true;  // the view published after every command redraws the preview
    }
    case cmd::kAutoSave:
      ToggleSwitch(id, s.AUTOSAVE, 1);
      return true;
    case cmd::kFlipVertical:
    case cmd::kFlipHorizontal: {
      const bool horizontal = Checked(Control(cmd::kFlipHorizontal));
      const bool vertical = Checked(Control(cmd::kFlipVertical));
      o.FLIP_MODE = (horizontal ? 1 : 0) | (vertical ? 2 : 0);
      flags_.viewerReady = 0;
      CheckStyle(cmd::kFlipHorizontal, horizontal, kFlipHorizontalOn, kFlipHorizontalOff);
      CheckStyle(cmd::kFlipVertical, vertical, kFlipVerticalOn, kFlipVerticalOff);
      return true;
    }
    case cmd::kStereoPair:
      ToggleSwitch(id, s.STEREO_OUT_TYPE, 8);
      return true;
    case cmd::kStop:
      if (flags_.conversionRunning == 0) return false;
      Feedback(cmd::kStop, "b_stopt", 300);
      state_.stopFlag = 1;
      return true;
    case cmd::kStereo3dp:
      Click();
      ToggleSwitch(id, o.STEREO_3DP, 1);
      return true;
    case cmd::kOutputWindow:
      OpenOutputWindow();
      return true;
    case cmd::kDirectShowAuto:
    case cmd::kDirectShowFfmpeg:
      s.DSSETUP = id == cmd::kDirectShowAuto ? 0 : 2;
      RefreshRadioChecks();
      QMessageBox::information(
          this, "Direct Show Setup",
          id == cmd::kDirectShowAuto
              ? "The hardware acceleration.\r\nUse this option by Default"
              : "The FFMpeg internal interface.\r\nUse this option - if you have any sync "
                "problem with MTS, M2TS video conversion");
      return true;
    case cmd::kViewer:
      if (flags_.viewerOpen || !flags_.viewerReady) return false;
      if (services_.startViewer) {
        services_.startViewer(*this);
      } else {
        Placeholder("360 video viewer");
      }
      return true;
    case cmd::kDepthCheck:
      Click();
      ToggleSwitch(id, o.DEPTH_CH, 1);
      return true;
    case cmd::kDepthList: {
      if (notification != 1) return false;
      Click();
      auto* list = ControlAs<QComboBox>(cmd::kDepthList);
      const auto depth = static_cast<int32_t>(LeadingNumber(list->currentText().toStdString()));
      if (depth < 20 || depth > 90) return false;
      o.DEPTH = depth;
      RefreshDepthChecks();
      return true;
    }
    case cmd::kCutAreaDialog:
      OpenCutAreaDialog();
      return true;
    case cmd::kFindRing:
      FindRing();
      return true;
    case cmd::kR3d:
      Click();
      SetOperationControls(false);
      if (services_.startR3dConverter) {
        services_.startR3dConverter(*this);
      } else {
        Placeholder("Convert R3D to MOV");
      }
      SetOperationControls(true);
      return true;
    case cmd::kWebSite: {
      Click();
      // The same address as the About box's link.
      const QString address =
          QString::fromUtf8(kWebPageAddress.data(), static_cast<qsizetype>(kWebPageAddress.size()));
      if (!services_.openUrl || !services_.openUrl(QUrl(address))) {
        QMessageBox::information(this, "Web Site",
                                 "No web browser was found. The web site is:\r\n" + address);
      }
      return true;
    }
    default:
      return false;
  }
}

void MainWindow::LoadMovie() {
  Feedback(cmd::kLoad, "b_load", 0);
  // What the chooser clears, kept so that a file refused below leaves the movie loaded
  // as it was.
  const bool wasPlaying = flags_.movieOpen != 0 && flags_.paused == 0;
  std::string information;
  std::array<std::string, 4> probeLines;
  std::map<int32_t, QString> labels;
  for (int32_t id : {409, 309, 303, 304, 305, 306, 307}) {
    if (auto* label = ControlAs<QLabel>(id)) labels[id] = label->text();
  }
  {
    std::lock_guard<std::mutex> hold(flags_.textMutex);
    information = flags_.movieInformation;
    probeLines = flags_.probeLines;
  }
  flags_.paused = 0;
  SleepScaled(300);
  const std::string path = ChooseInputMovie(*this, ChooserMode::Act);
  if (path.empty()) return;
  if (const std::string problem = NotAMovieReason(path); !problem.empty()) {
    state_.log.LogLine("Load Video: refused " + path + ": " + problem);
    {
      std::lock_guard<std::mutex> hold(flags_.textMutex);
      flags_.movieInformation = information;
      flags_.probeLines = probeLines;
    }
    for (const auto& [id, text] : labels) ControlAs<QLabel>(id)->setText(text);
    QMessageBox::warning(
        this, "Load Video",
        QString("%1\ncannot be opened as a movie: %2.%3")
            .arg(QString::fromStdString(path), QString::fromStdString(problem),
                 flags_.movieOpen != 0 ? "\nThe movie loaded stays as it was." : ""));
    if (flags_.movieOpen != 0) {
      if (wasPlaying && services_.playPause) services_.playPause(*this, true);
      flags_.paused = wasPlaying ? 0 : 1;
    }
    return;
  }
  // Ends the stream loop of a movie already open.
  state_.StreamState = 0;
  QtShutdownHooks().Pump(10);
  state_.StreamState = 1;
  state_.movieLoaded = 1;
  if (services_.openMovie) {
    services_.openMovie(*this, path);
  } else {
    Placeholder("Load Doughnut Movie");
  }
}

void MainWindow::ConvertDoughnut() {
  if (flags_.viewerOpen && services_.closeViewer) services_.closeViewer(*this);
  Feedback(cmd::kConvert, "b_convert", 500);
  std::string openPath;
  {
    std::lock_guard<std::mutex> hold(flags_.textMutex);
    openPath = flags_.moviePath;
  }
  if (flags_.movieOpen && IsPhotoPath(openPath)) {
    // A photo becomes a picture: no encoder, no frame files.
    SetOperationControls(false);
    ConvertPhotoInWindow(*this, openPath);
    SetOperationControls(true);
    return;
  }
  if (flags_.movieOpen) {
    if (services_.stopForConversion) services_.stopForConversion(*this);
    SetPositionBarWidth(flags_.progressBarWidth);
  }
  SetOperationControls(false);
  const std::string output = ChooseOutputMovie(*this, ChooserMode::Act);
  if (!output.empty()) {
    if (services_.convertMovie) {
      services_.convertMovie(*this, output);
    } else {
      Placeholder("Convert Doughnut");
    }
  }
  SetOperationControls(true);
  // Neither a cancelled chooser nor a finished run takes the movie away from the user,
  // unless the window is about to close.
  if (!closePending_ && services_.resumeMovie) services_.resumeMovie(*this);
}

void MainWindow::ConvertMovieToAvi() {
  Click();
  SetOperationControls(false);
  const int32_t streamBefore = state_.StreamState;
  state_.StreamState = 1;
  SleepScaled(100);
  const std::string input = ChooseInputMovie(*this, ChooserMode::ChooseOnly);
  ClearPreviews();
  std::string output;
  if (input.empty()) {
    QMessageBox::warning(this, "Attention", "Input file not found");
  } else {
    output = ChooseOutputMovie(*this, ChooserMode::ChooseOnly);
    if (output.empty()) QMessageBox::warning(this, "Attention", "Output file not found");
  }
  if (!input.empty() && !output.empty()) {
    if (services_.transcodeMovie) {
      services_.transcodeMovie(*this, input, output);
    } else {
      Placeholder("Convert Movie to AVI");
    }
  }
  // Whatever the outcome, the controls come back and no movie is left pretending
  // to stream when none was open before.
  if (flags_.movieOpen == 0 && state_.StreamState == 1) state_.StreamState = streamBefore;
  SetOperationControls(true);
}

void MainWindow::ChooseTempFolder() {
  const std::string chosen = ChooseFolder(this, state_.settings.APATH);
  const QString trimmed = QString::fromStdString(chosen).remove(QChar(0)).trimmed();
  // A cancelled browser keeps the folder in use.
  if (!trimmed.isEmpty()) state_.settings.APATH = CutFolderText(trimmed.toStdString());
  ShowTempFolder();
}

}  // namespace corvinex
