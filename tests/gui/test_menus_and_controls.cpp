// The menu tree, the accelerators, the two window forms and the controls'
// starting state.

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/window/command_ids.h"
#include "app/window/output_window.h"
#include "convert/encoder_command.h"
#include "convert/hardware_probe.h"
#include "gui/dialog_answer.h"
#include "gui/window_fixture.h"
#include "settings/settings_file.h"

namespace corvinex::test {
namespace {

QStringList ItemTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) {
    texts << (action->isSeparator() ? "-"
              : action->menu()      ? action->text() + " >"
                                    : action->text());
  }
  return texts;
}

QMenu* TopMenu(MainWindow& w, int index) {
  return w.menuBar()->actions().at(index)->menu();
}

TEST_F(WindowFixture, MenuTreeHasTheKnownTextsInOrder) {
  MainWindow& w = Open();
  QStringList titles;
  for (QAction* action : w.menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Stereo Vision", "&Option", "&Help"}));

  EXPECT_EQ(ItemTexts(TopMenu(w, 0)),
            QStringList({"Load Doughnut Movie\tCtrl + L", "Play/Pause Video",
                         "Convert Doughnut\tCtrl + C", "-", "360 video viewer\tCtrl + V", "-",
                         "Popup Output Window\tCtrl + O", "-", "File Information", "-",
                         "Convert R3D to MOV\tCtrl + D", "Convert Movie to AVI\tCtrl + F", "-",
                         "Exit\tAlt + F4"}));
  QMenu* stereo = TopMenu(w, 1);
  EXPECT_EQ(ItemTexts(stereo), QStringList({"Enable 3ZU Reduze Vezoro", "Set type of 3DP Stereo >",
                                            "-", "Enable 3DP Depth", "Select value of 3DP Depth >",
                                            "-", "Enable the vertical stereo pair out format"}));
  const QStringList depth = ItemTexts(stereo->actions().at(4)->menu());
  ASSERT_EQ(depth.size(), 17);
  EXPECT_EQ(depth.front(), "  Max Depth value = 20 ");
  EXPECT_EQ(depth.at(2), "      Depth value = 25 ");
  EXPECT_EQ(depth.at(14), "      Depth value = 85 ");
  EXPECT_EQ(depth.at(15), "-");
  EXPECT_EQ(depth.back(), "  Min Depth value = 90 ");

  QMenu* option = TopMenu(w, 2);
  const QStringList optionItems = ItemTexts(option);
  ASSERT_EQ(optionItems.size(), 26);
  EXPECT_EQ(optionItems.at(13), "Set Video Codec >");
  EXPECT_EQ(ItemTexts(option->actions().at(13)->menu()),
            QStringList({"  Output type's own", "-", "  H.264", "  H.265", "  AV1", "  VP9"}));
  EXPECT_EQ(optionItems.mid(19),
            QStringList({"-", "Cut Area...\tCtrl + K", "Find Ring\tCtrl + R", "-",
                         "Panorama width >", "Heading (0.0 degrees)...", "Output projection >"}));
  EXPECT_EQ(ItemTexts(option->actions().at(23)->menu()),
            QStringList({"  As before", "  Full detail", "  Width in pixels..."}));
  EXPECT_EQ(ItemTexts(option->actions().at(25)->menu()),
            QStringList({"  Panorama strip", "  360-degree video (equirectangular 2:1)", "-",
                         "  Fill above and below: black", "  Fill above and below: soft", "-",
                         "Horizon offset >"}));
  EXPECT_EQ(ItemTexts(option->actions().at(0)->menu()),
            QStringList({" Standard", "-", " 7%", "-", " 3%", " 5%", " 10%"}));
  EXPECT_EQ(ItemTexts(option->actions().at(9)->menu()),
            QStringList({" Auto (hardware support)", "-", " FFMpeg Internal "}));
  EXPECT_EQ(ItemTexts(option->actions().at(11)->menu()),
            QStringList({"  Auto", "-", "  500k", "  700k", "  900k", " 1200k", " 1500k", " 2000k",
                         " 3000k", " 4000k", " 5000k"}));
  EXPECT_EQ(ItemTexts(TopMenu(w, 3)),
            QStringList({"Help\tF1", "-", "Tessaline Inc. Web Site", "-", "About"}));
}

TEST_F(WindowFixture, StandardFormGreysThePopupOutputWindow) {
  MainWindow& w = Open(false);
  EXPECT_EQ(w.size(), QSize(1024, 849));
  EXPECT_FALSE(w.Action(810)->isEnabled());
  EXPECT_EQ(w.Control(2008)->pos(), QPoint(5, 624));
  EXPECT_EQ(w.OutputWindowIfOpen(), nullptr);
  // The transform area lies inside the client area.
  EXPECT_LE(w.Control(2008)->geometry().bottom(), w.centralWidget()->height());
}

TEST_F(WindowFixture, ShortenedFormOpensTheOutputWindowAtStart) {
  MainWindow& w = Open(true);
  EXPECT_EQ(w.size(), QSize(1010, 650));
  EXPECT_TRUE(w.Action(810)->isEnabled());
  EXPECT_EQ(w.Control(2008)->pos(), QPoint(5, 824));
  EXPECT_GT(w.Control(2008)->y(), w.centralWidget()->height());
  ASSERT_NE(w.OutputWindowIfOpen(), nullptr);
  EXPECT_EQ(w.OutputWindowIfOpen()->windowTitle(), "Output 360 stream");
  EXPECT_EQ(w.OutputWindowIfOpen()->size(), QSize(1000, 200));

  // Ctrl + O closes the old output window and opens a new one.
  QPointer<OutputWindow> first = w.OutputWindowIfOpen();
  QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
  QCoreApplication::processEvents();
  EXPECT_NE(w.OutputWindowIfOpen(), nullptr);
  EXPECT_TRUE(first.isNull());
  // Its close box destroys it and the window forgets it.
  w.OutputWindowIfOpen()->close();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.OutputWindowIfOpen(), nullptr);
}

TEST_F(WindowFixture, ControlsStartFromTheSettings) {
  state.settings.STEREO_OUT_TYPE = 8;
  state.settings.AUTOSAVE = 0;
  state.settings.BRIGHTNESS = 400;
  state.settings.BITRATE = 3;
  state.settings.HSIZE = 0.0251f;
  MainWindow& w = Open();
  EXPECT_TRUE(w.Action(743)->isChecked());
  EXPECT_TRUE(w.ControlAs<QCheckBox>(743)->isChecked());
  EXPECT_FALSE(w.Action(599)->isChecked());
  EXPECT_FALSE(w.ControlAs<QCheckBox>(599)->isChecked());
  // Out of range shows at the nearest end; the stored value waits for a move.
  EXPECT_EQ(w.ControlAs<QSlider>(520)->value(), 255);
  EXPECT_EQ(state.settings.BRIGHTNESS, 400);
  EXPECT_TRUE(w.Action(833)->isChecked());
  EXPECT_FALSE(w.Action(830)->isChecked());
  EXPECT_TRUE(w.Action(804)->isChecked());
  EXPECT_EQ(state.lensName, "Ovalto Lens ");
  EXPECT_TRUE(w.Action(904)->isChecked());  // depth 30
  EXPECT_EQ(w.ControlAs<QComboBox>(900)->currentText(), "30");
  EXPECT_EQ(w.ControlAs<QComboBox>(213)->count(), 22);
  EXPECT_EQ(w.ControlAs<QComboBox>(213)->currentText(), "Default");
  EXPECT_EQ(w.ControlAs<QComboBox>(213)->itemText(21), "21:Min size");
  EXPECT_EQ(LabelText(112), QString::fromStdString(state.settings.APATH));
}

TEST_F(WindowFixture, ControlsSitWhereTheLayoutPutsThem) {
  MainWindow& w = Open();
  const std::pair<int32_t, QRect> places[] = {
      {2007, {5, 5, 600, 600}},   {3011, {5, 607, 600, 14}},  {3012, {6, 608, 1, 12}},
      {3907, {620, 26, 21, 21}},  {3918, {664, 68, 21, 21}},  {300, {741, 27, 50, 17}},
      {322, {792, 63, 50, 17}},   {599, {740, 81, 153, 18}},  {110, {900, 25, 100, 22}},
      {303, {701, 120, 295, 17}}, {409, {701, 246, 90, 17}},  {806, {800, 248, 140, 23}},
      {590, {731, 312, 50, 18}},  {585, {942, 393, 54, 18}},  {740, {895, 415, 100, 18}},
      {112, {620, 492, 375, 17}}, {215, {772, 472, 223, 17}}, {809, {849, 606, 60, 15}},
  };
  for (const auto& [id, place] : places) {
    EXPECT_EQ(w.Control(id)->geometry(), place) << id;
  }
  EXPECT_EQ(w.Control(3904)->toolTip(), " Reset ");
  EXPECT_EQ(w.Control(808)->toolTip(), " Use it with the Anaglyph 3D stereo glasses, \"Red-Cyan\"");
  EXPECT_EQ(w.ControlAs<QSlider>(519)->minimum(), 20);
  EXPECT_EQ(w.ControlAs<QSlider>(519)->maximum(), 235);
  EXPECT_EQ(w.ControlAs<QSlider>(809)->minimum(), -10);
}

TEST_F(WindowFixture, EveryCaptionFitsItsControl) {
  MainWindow& w = Open();
  for (QLabel* label : w.centralWidget()->findChildren<QLabel*>()) {
    if (label->text().isEmpty() || label->objectName() == "112") continue;
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
        << label->text().toStdString();
  }
  for (QAbstractButton* button : w.centralWidget()->findChildren<QAbstractButton*>()) {
    if (button->text().isEmpty()) continue;
    const int indicator = qobject_cast<QCheckBox*>(button) ? 18 : 4;
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + indicator, button->width())
        << button->text().toStdString();
  }
}

TEST_F(WindowFixture, SlidersStoreTheirValueAtOnce) {
  MainWindow& w = Open();
  auto* contrast = w.ControlAs<QSlider>(519);
  contrast->setFocus();
  contrast->setValue(100);
  QTest::keyClick(contrast, Qt::Key_PageUp);
  EXPECT_EQ(state.settings.CONTRAST, 108);
  w.ControlAs<QSlider>(809)->setValue(-7);
  EXPECT_EQ(state.options.GLASSES, -7);
  w.ControlAs<QSlider>(590)->setValue(3);
  EXPECT_EQ(state.settings.RADIUS, 3);
}

// Controls whose colours follow their state keep the window's font when restyled;
// a larger default font cut their captions off ("Flip Horizont").
TEST_F(WindowFixture, RestyledControlsKeepTheWindowsFont) {
  MainWindow& w = Open();
  const int size = w.font().pixelSize();
  ClickControl(740);  // Flip Vertical
  ClickControl(741);  // Flip Horizontal
  ClickControl(523);  // Brightness
  for (int id : {740, 741, 523}) {
    EXPECT_EQ(w.Control(id)->font().pixelSize(), size) << id;
    EXPECT_EQ(w.Control(id)->fontInfo().pixelSize(), size) << id;
  }
}

// Each adjustment slider shows the amount the picture gets: on a first start (no
// settings file) and after a restart over a file that holds 0s.
TEST_F(WindowFixture, SlidersShowTheAmountsInUseFromTheFirstStart) {
  const std::pair<int32_t, int32_t AppSettings::*> sliders[] = {
      {cmd::kSharpenSlider, &AppSettings::SHARPEN},
      {cmd::kRadiusSlider, &AppSettings::RADIUS},
      {cmd::kBrightnessSlider, &AppSettings::BRIGHTNESS},
      {cmd::kContrastSlider, &AppSettings::CONTRAST},
      {cmd::kNoiseSlider, &AppSettings::NOISE},
      {cmd::kCpuSlider, &AppSettings::CPU},
  };
  auto expectShownInUse = [&](const char* when) {
    for (const auto& [id, field] : sliders) {
      EXPECT_EQ(window->ControlAs<QSlider>(id)->value(), state.settings.*field)
          << when << ": slider " << id;
    }
  };
  Open();
  EXPECT_EQ(state.settings.BRIGHTNESS, 127);  // neutral: a tick does not darken
  EXPECT_EQ(state.settings.CONTRAST, 127);
  expectShownInUse("first start");

  AppSettings zeros = state.settings;
  zeros.SHARPEN = 0;
  zeros.CPU = 0;
  zeros.BRIGHTNESS = 0;
  ASSERT_TRUE(WriteSettings(state.paths.settingsFile, zeros));
  window->hide();
  window.reset();
  RunStartup(state, {.currentDirectory = dir.path(), .now = {}, .shortenedForm = false});
  Open();
  expectShownInUse("restart");
}

// A settings file of an earlier version, without the kept choices: the window starts
// with its usual output choices and the file's own values.
TEST_F(WindowFixture, AnOlderSettingsFileStartsWithTheUsualChoices) {
  AppSettings saved = state.settings;
  saved.X1 = -20;
  ASSERT_TRUE(WriteSettings(state.paths.settingsFile, saved));  // the 25 values only
  RunStartup(state, {.currentDirectory = dir.path(), .now = {}, .shortenedForm = false});
  MainWindow& w = Open();
  EXPECT_EQ(state.settings.X1, -20);
  EXPECT_EQ(state.options, SessionOptions{});
  EXPECT_FALSE(w.ControlAs<QCheckBox>(cmd::kFlipVertical)->isChecked());
  EXPECT_TRUE(w.Action(cmd::kResizeFirst)->isChecked());
}

// The codec chosen in the menu is the one the next conversion writes, and it is
// there again after a restart.
TEST_F(WindowFixture, TheVideoCodecMenuChoiceIsCheckedAndKept) {
  MainWindow& w = Open();
  EXPECT_TRUE(w.Action(cmd::kVideoCodecFirst)->isChecked());
  w.Action(cmd::kVideoCodecFirst + 2)->trigger();
  EXPECT_EQ(state.options.CODEC, 2);
  EXPECT_TRUE(w.Action(cmd::kVideoCodecFirst + 2)->isChecked());
  EXPECT_FALSE(w.Action(cmd::kVideoCodecFirst)->isChecked());
  ASSERT_TRUE(WriteSettings(state.paths.settingsFile, state.settings, state.options));
  state.options = SessionOptions{};
  window->hide();
  window.reset();
  RunStartup(state, {.currentDirectory = dir.path(), .now = {}, .shortenedForm = false});
  MainWindow& again = Open();
  EXPECT_EQ(state.options.CODEC, 2);
  EXPECT_TRUE(again.Action(cmd::kVideoCodecFirst + 2)->isChecked());
}

// The hardware encoders' test encodes start when a codec with a hardware choice in
// view is picked, in the background (the menu returns at once), and not for software.
TEST_F(WindowFixture, PickingACodecWithAHardwareChoiceStartsTheProbeInTheBackground) {
  MainWindow& w = Open();
  const std::filesystem::path tool = EncoderToolPath(state.paths.programFolder);
  const std::filesystem::path calls = dir.path() / "probe calls";
  const std::filesystem::path gate = dir.path() / "gate";
  std::filesystem::create_directories(tool.parent_path());
  // Listing waits for the gate, which the test opens only once the menu has returned.
  WriteFileBytes(tool,
                 "#!/bin/sh\n"
                 "n=0; while [ ! -e '" +
                     gate.string() +
                     "' ] && [ $n -lt 100 ]; do\n"
                     "  sleep 0.1; n=$((n+1)); done\n"
                     "if [ -e '" +
                     gate.string() +
                     "' ]; then s=open; else s=shut; fi\n"
                     "echo \"$* $s\" >> '" +
                     calls.string() + "'\n");
  std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  state.options.ENCODER = kEncoderSoftware;
  w.Action(cmd::kVideoCodecFirst + 1)->trigger();
  EXPECT_FALSE(HardwareProbed(tool));
  state.options.ENCODER = kEncoderAuto;
  w.Action(cmd::kVideoCodecFirst + 2)->trigger();
  EXPECT_EQ(state.options.CODEC, 2);
  WriteFileBytes(gate, "");
  for (int i = 0; i < 400 && !HardwareProbed(tool); ++i) QTest::qWait(50);
  ASSERT_TRUE(HardwareProbed(tool));
  EXPECT_EQ(ReadFileBytes(calls), "-hide_banner -encoders open\n");
}

}  // namespace
}  // namespace corvinex::test
