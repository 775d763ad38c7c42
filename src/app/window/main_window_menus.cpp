// The menu bar: four menus in the order and with the texts the user knows, each
// radio sub-menu checked from the current values right after it is filled.

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/window/command_ids.h"
#include "app/window/main_window.h"
#include "app/window/projection_menu.h"

namespace corvinex {

QAction* MainWindow::AddItem(QMenu* menu, int32_t id, const QString& text, const QString& keys) {
  QAction* action = menu->addAction(keys.isEmpty() ? text : text + "\t" + keys);
  // Only switches and radio items carry a check mark; the dispatcher sets it.
  const bool radio = (id >= 801 && id <= 805) || (id >= 821 && id <= 824) ||
                     (id >= 830 && id <= 845) || (id >= 870 && id <= 898) ||
                     (id >= 902 && id <= 916);
  const bool toggle = id == cmd::kAutoSave || id == cmd::kStereoPair || id == cmd::kStereo3dp ||
                      id == cmd::kDepthCheck;
  action->setCheckable(radio || toggle);
  action->setData(id);
  actions_[id] = action;
  connect(action, &QAction::triggered, this, [this, id] { Dispatch(id, 0); });
  return action;
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = new QMenuBar(this);

  QMenu* file = bar->addMenu("&File");
  AddItem(file, cmd::kLoad, "Load Doughnut Movie", "Ctrl + L");
  AddItem(file, cmd::kPlayPause, "Play/Pause Video");
  AddItem(file, cmd::kConvert, "Convert Doughnut", "Ctrl + C");
  file->addSeparator();
  AddItem(file, cmd::kViewer, "360 video viewer", "Ctrl + V");
  file->addSeparator();
  AddItem(file, cmd::kOutputWindow, "Popup Output Window", "Ctrl + O")
      ->setEnabled(state_.shortenedForm);
  file->addSeparator();
  AddItem(file, cmd::kFileInformation, "File Information");
  file->addSeparator();
  AddItem(file, cmd::kR3d, "Convert R3D to MOV", "Ctrl + D");
  AddItem(file, cmd::kMovieToAvi, "Convert Movie to AVI", "Ctrl + F");
  file->addSeparator();
  AddItem(file, cmd::kExit, "Exit", "Alt + F4");

  QMenu* stereo = bar->addMenu("&Stereo Vision");
  AddItem(stereo, cmd::kStereo3dp, "Enable 3ZU Reduze Vezoro");
  QMenu* type = stereo->addMenu("Set type of 3DP Stereo");
  AddItem(type, 897, "  Dynamic stereo effect");
  type->addSeparator();
  AddItem(type, 898, "  Static stereo effect");
  stereo->addSeparator();
  AddItem(stereo, cmd::kDepthCheck, "Enable 3DP Depth");
  QMenu* depth = stereo->addMenu("Select value of 3DP Depth");
  AddItem(depth, 902, "  Max Depth value = 20 ");
  depth->addSeparator();
  for (int32_t id = 903; id <= 915; ++id) {
    AddItem(depth, id, QString("      Depth value = %1 ").arg(20 + 5 * (id - 902)));
  }
  depth->addSeparator();
  AddItem(depth, 916, "  Min Depth value = 90 ");
  stereo->addSeparator();
  AddItem(stereo, cmd::kStereoPair, "Enable the vertical stereo pair out format");

  QMenu* option = bar->addMenu("&Option");
  QMenu* lens = option->addMenu("Select vertical lens correction");
  for (const LensProfile& profile : kLensProfiles) {
    AddItem(lens, profile.menuId, profile.menuLabel);
    if (profile.menuId == 801 || profile.menuId == 802) lens->addSeparator();
  }
  option->addSeparator();
  AddItem(option, cmd::kAutoSave, "Auto saving a parameters");
  AddItem(option, cmd::kSave, "Save parameters", "Ctrl + S");
  AddItem(option, cmd::kTempPath, "Set path for temporary Stream");
  option->addSeparator();
  AddItem(option, cmd::kLogoMaker, "DedeZoze converter");
  AddItem(option, cmd::kAddLogo, "Add Logo to video");
  option->addSeparator();
  QMenu* directShow = option->addMenu("Direct Show Setup");
  AddItem(directShow, cmd::kDirectShowAuto, " Auto (hardware support)");
  directShow->addSeparator();
  AddItem(directShow, cmd::kDirectShowFfmpeg, " FFMpeg Internal ");
  option->addSeparator();
  QMenu* bitRate = option->addMenu("Set Compression Bit Rate");
  const char* rates[] = {"  Auto", "  500k", "  700k", "  900k", " 1200k",
                         " 1500k", " 2000k", " 3000k", " 4000k", " 5000k"};
  for (int32_t i = 0; i < 10; ++i) {
    AddItem(bitRate, cmd::kBitRateFirst + i, rates[i]);
    if (i == 0) bitRate->addSeparator();
  }
  QMenu* codec = option->addMenu("Set Codec Mode");
  const char* modes[] = {"  Auto", "  Ultra Fast", "  Fast", "  Medium", "  Max", "  Slower"};
  for (int32_t i = 0; i < 6; ++i) {
    AddItem(codec, cmd::kCodecFirst + i, modes[i]);
    if (i == 0) codec->addSeparator();
  }
  QMenu* videoCodec = option->addMenu("Set Video Codec");
  const char* codecs[] = {"  Output type's own", "  H.264", "  H.265", "  AV1", "  VP9"};
  for (int32_t i = 0; i < 5; ++i) {
    AddItem(videoCodec, cmd::kVideoCodecFirst + i, codecs[i])->setCheckable(true);
    if (i == 0) videoCodec->addSeparator();
  }
  option->addSeparator();
  QMenu* resize = option->addMenu("Resize the output video stream");
  const char* sizes[] = {"  Natural size", "  Resize 90%", "  Resize 80%",
                         "  Resize 70%",   "  Resize 60%", "  Resize 50%"};
  for (int32_t i = 0; i < 6; ++i) {
    AddItem(resize, cmd::kResizeFirst + i, sizes[i]);
    if (i == 0) resize->addSeparator();
  }
  option->addSeparator();
  QMenu* channels = option->addMenu("Set audio channels");
  AddItem(channels, 890, "  Stereo");
  channels->addSeparator();
  AddItem(channels, 891, "  Mono");
  QMenu* rate = option->addMenu("Set audio sampling rate");
  const char* hertz[] = {"  Auto", "  48000Hz", "  44100Hz", "  22050Hz", "  11025Hz"};
  for (int32_t i = 0; i < 5; ++i) {
    AddItem(rate, cmd::kRateFirst + i, hertz[i]);
    if (i == 0) rate->addSeparator();
  }

  // Ours, after the established items so that their places stay as users know them.
  option->addSeparator();
  AddItem(option, cmd::kCutAreaDialog, "Cut Area...", "Ctrl + K");
  AddItem(option, cmd::kFindRing, "Find Ring", "Ctrl + R");
  option->addSeparator();
  QMenu* width = option->addMenu("Panorama width");
  AddItem(width, cmd::kWidthAsBefore, "  As before")->setCheckable(true);
  AddItem(width, cmd::kWidthFullDetail, "  Full detail")->setCheckable(true);
  AddItem(width, cmd::kWidthPixels, "  Width in pixels...")->setCheckable(true);
  AddItem(option, cmd::kHeadingDialog, "Heading...");
  // The previews show a new choice at once, as for every other option.
  AddProjectionMenu(option, state_.options, this, [this] { PublishView(); });

  QMenu* help = bar->addMenu("&Help");
  AddItem(help, cmd::kHelp, "Help", "F1");
  help->addSeparator();
  AddItem(help, cmd::kWebSite, "Tessaline Inc. Web Site");
  help->addSeparator();
  AddItem(help, cmd::kAbout, "About");

  // Accelerators; "Alt + F4" is the system close, handled by closeEvent.
  const std::pair<int32_t, QKeySequence> keys[] = {
      {cmd::kLoad, QKeySequence("Ctrl+L")},          {cmd::kConvert, QKeySequence("Ctrl+C")},
      {cmd::kSave, QKeySequence("Ctrl+S")},          {cmd::kOutputWindow, QKeySequence("Ctrl+O")},
      {cmd::kHelp, QKeySequence(Qt::Key_F1)},        {cmd::kViewer, QKeySequence("Ctrl+V")},
      {cmd::kMovieToAvi, QKeySequence("Ctrl+F")},    {cmd::kR3d, QKeySequence("Ctrl+D")},
      {cmd::kCutAreaDialog, QKeySequence("Ctrl+K")}, {cmd::kFindRing, QKeySequence("Ctrl+R")},
  };
  for (const auto& [id, sequence] : keys) {
    QAction* action = actions_[id];
    action->setShortcut(sequence);
    action->setShortcutContext(Qt::WindowShortcut);
    // The menu shows the text after the tab; the shortcut itself stays hidden there.
    action->setShortcutVisibleInContextMenu(false);
  }
  QAction* close = new QAction(this);
  close->setShortcut(QKeySequence("Alt+F4"));
  connect(close, &QAction::triggered, this, &QWidget::close);
  addAction(close);

  setMenuBar(bar);
}

}  // namespace corvinex
