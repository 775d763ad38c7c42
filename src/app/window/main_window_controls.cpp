// Every control of the main window with its identifier, place, size, caption and
// colours. Positions are in pixels of the client area below the menu bar.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "app/window/bitmap_button.h"
#include "app/window/command_ids.h"
#include "app/window/control_styles.h"
#include "app/window/main_window.h"
#include "settings/adjustment_ranges.h"
#include "transform/cut_area.h"
#include "view/preview_canvas.h"

namespace corvinex {
namespace {

QString Colours(const char* text, const char* background) {
  return QString("color: %1; background-color: %2;").arg(text, background);
}

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect place, const char* text_colour,
                  const char* background, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter,
                  bool sunken = false) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(place);
  label->setAlignment(align);
  label->setStyleSheet(QString("QLabel { %1 %2 }")
                           .arg(Colours(text_colour, background),
                                sunken ? "border: 1px inset #404040;" : "border: none;"));
  return label;
}

QCheckBox* MakeCheck(QWidget* parent, const QString& text, QRect place) {
  auto* box = new QCheckBox(text, parent);
  box->setGeometry(place);
  return box;
}

QSlider* MakeSlider(QWidget* parent, QRect place, int32_t low, int32_t high, int32_t page,
                    const char* background) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setGeometry(place);
  slider->setRange(low, high);
  slider->setPageStep(page);
  slider->setSingleStep(1);
  slider->setStyleSheet(QString("QSlider { background-color: %1; }").arg(background));
  return slider;
}

QStringList QualityItems() {
  QStringList items{"Default", "1:Max size"};
  for (int32_t i = 2; i <= 20; ++i) items << QString("%1:").arg(i);
  items << "21:Min size";
  return items;
}

int32_t Low(int32_t AppSettings::*field) {
  return RangeOf(field).low;
}

int32_t High(int32_t AppSettings::*field) {
  return RangeOf(field).high;
}

}  // namespace

QStringList OutputQualityItems() {
  return QualityItems();
}

void MainWindow::Register(int32_t id, QWidget* widget) {
  widget->setObjectName(QString::number(id));
  controls_[id] = widget;
}

void MainWindow::BuildControls() {
  QWidget* client = centralWidget();
  const AppSettings& s = state_.settings;
  const SessionOptions& o = state_.options;

  // Position bar.
  Register(cmd::kPositionTrack, MakeLabel(client, "", QRect(5, 607, 600, 14), "black", "#808080"));
  auto* bar = new QLabel(client);
  bar->setPixmap(ResourceBitmap("tomline"));
  bar->setScaledContents(true);
  bar->setGeometry(6, 608, 1, 12);
  Register(cmd::kPositionBar, bar);

  // Preview areas.
  doughnutArea_ = new PreviewCanvas(drawingLock_, QSize(600, 600), "Main Window", client);
  doughnutArea_->move(5, 5);
  Register(cmd::kDoughnutArea, doughnutArea_);
  transformArea_ = new PreviewCanvas(drawingLock_, QSize(1000, 200), "Transform Window", client);
  transformArea_->move(5, state_.shortenedForm ? 824 : 624);
  Register(cmd::kTransformArea, transformArea_);

  // Stereo row.
  auto* stereo = MakeCheck(client, "3D Stereo Vision", QRect(610, 605, 108, 17));
  stereo->setStyleSheet(Colours("#C0C0C0", "black"));
  stereo->setChecked(o.STEREO_3DP != 0);
  Register(cmd::kStereo3dp, stereo);
  auto* pair = MakeCheck(client, "Stereo Pair", QRect(719, 605, 88, 17));
  pair->setStyleSheet(Colours("#C0C0C0", "black"));
  pair->setChecked(s.STEREO_OUT_TYPE != 0);
  Register(cmd::kStereoPair, pair);
  auto* glasses = new QLabel(client);
  glasses->setPixmap(ResourceBitmap("glasses"));
  glasses->setGeometry(810, 604, 36, 20);
  glasses->setObjectName("glasses");
  auto* shift = MakeSlider(client, QRect(849, 606, 60, 15), -10, 10, 1, "#808080");
  shift->setValue(o.GLASSES);
  Register(cmd::kGlassesSlider, shift);
  connect(shift, &QSlider::valueChanged, this, [this](int value) {
    state_.options.GLASSES = static_cast<int16_t>(value);
    PublishView();
  });
  auto* depthCheck = MakeCheck(client, "Depth", QRect(912, 605, 51, 17));
  depthCheck->setStyleSheet(Colours("#C0C0C0", "black"));
  depthCheck->setChecked(o.DEPTH_CH != 0);
  Register(cmd::kDepthCheck, depthCheck);
  auto* depthList = new QComboBox(client);
  for (int32_t depth = 20; depth <= 90; depth += 5) depthList->addItem(QString::number(depth));
  depthList->setGeometry(965, 603, 40, 20);
  depthList->setStyleSheet(
      "QComboBox { color: white; background-color: #808080; }"
      "QComboBox QAbstractItemView { color: white; background-color: #606060;"
      " selection-color: black; selection-background-color: #C0C0C0; }");
  depthList->setCurrentIndex(o.DEPTH / 5 - 4);
  Register(cmd::kDepthList, depthList);
  connect(depthList, &QComboBox::activated, this, [this] { Dispatch(cmd::kDepthList, 1); });

  // Cut Area pad.
  const std::pair<int32_t, std::pair<const char*, QPoint>> pad[] = {
      {3907, {"lup", {620, 26}}},   {3902, {"up", {642, 26}}},   {3908, {"rup", {664, 26}}},
      {3900, {"left", {620, 47}}},  {3904, {"stop", {642, 47}}}, {3901, {"right", {664, 47}}},
      {3917, {"ldown", {620, 68}}}, {3903, {"down", {642, 68}}}, {3918, {"rdown", {664, 68}}},
  };
  for (const auto& [id, look] : pad) {
    auto* button = new BitmapButton(look.first, client);
    button->setGeometry(QRect(look.second, QSize(21, 21)));
    // Held down, a button goes on stepping; Reset is one step by nature.
    if (id != kCutReset) {
      button->setAutoRepeat(true);
      button->setAutoRepeatDelay(350);
      button->setAutoRepeatInterval(40);
    }
    Register(id, button);
  }
  // Beside the big buttons: the ring found by the program, or typed in.
  const std::pair<int32_t, const char*> ringButtons[] = {{cmd::kFindRing, "Find\nRing"},
                                                         {cmd::kCutAreaDialog, "Cut\nArea..."}};
  for (int32_t i = 0; i < 2; ++i) {
    auto* button = new QPushButton(ringButtons[i].second, client);
    button->setGeometry(946, 168 + 50 * i, 54, 44);
    Register(ringButtons[i].first, button);
  }

  auto* autoSave = MakeCheck(client, " Auto saving a parameters", QRect(740, 81, 153, 18));
  autoSave->setStyleSheet(Colours("#C0C0C0", "black"));
  autoSave->setChecked(s.AUTOSAVE != 0);
  Register(cmd::kAutoSave, autoSave);

  // Cut Area names and values.
  const struct {
    int32_t nameId, valueId;
    const char* name;
    QPoint namePos, valuePos;
  } cutLabels[] = {
      {200, 300, " X-pos", {690, 27}, {741, 27}},  {201, 301, " Y-pos", {690, 45}, {741, 45}},
      {202, 302, " ZoomL", {690, 63}, {741, 63}},  {220, 310, " X-size", {843, 27}, {792, 27}},
      {221, 311, " Y-size", {843, 45}, {792, 45}}, {222, 322, " ZoomM", {843, 63}, {792, 63}},
  };
  for (const auto& l : cutLabels) {
    Register(l.nameId,
             MakeLabel(client, l.name, QRect(l.namePos, QSize(50, 17)), "white", "#888888"));
    Register(l.valueId, MakeLabel(client, "", QRect(l.valuePos, QSize(50, 17)), "#888888", "black",
                                  Qt::AlignCenter, true));
  }

  // Movie information.
  const struct {
    int32_t nameId, valueId, y;
    const char* name;
  } infoLabels[] = {
      {203, 303, 120, " Video file: "}, {204, 304, 138, " Frame Size:"},
      {205, 305, 156, " FPS rate:"},    {206, 306, 174, " Num of frames:"},
      {207, 307, 192, " Operation:"},   {209, 309, 228, " Doughnut size:"},
      {210, 409, 246, " Duration:"},
  };
  for (const auto& l : infoLabels) {
    Register(l.nameId, MakeLabel(client, l.name, QRect(620, l.y, 80, 17), "white", "#888888"));
    const int32_t width = l.valueId == 303 ? 295 : 90;
    Register(l.valueId, MakeLabel(client, "", QRect(701, l.y, width, 17), "#777777", "black"));
  }

  auto* fast = MakeCheck(client, "Fast conversion, draft quality", QRect(620, 264, 171, 18));
  fast->setChecked(o.OS_PREVIEW != 0);
  Register(cmd::kFastConversion, fast);
  CheckStyle(cmd::kFastConversion, o.OS_PREVIEW != 0, kWhiteOnBlack, kGreyOnBlack);
  // Below the big buttons: the panorama preview as the output, or the plain strip.
  auto* layout = MakeCheck(client, "Show output layout", QRect(800, 274, 140, 17));
  layout->setChecked(o.SHOW_LAYOUT != 0);
  Register(cmd::kShowLayout, layout);
  CheckStyle(cmd::kShowLayout, o.SHOW_LAYOUT != 0, kWhiteOnBlack, kGreyOnBlack);

  // Group frames, kept beneath the controls they surround.
  const struct {
    int32_t id;
    const char* title;
    QRect place;
  } groups[] = {
      {331, " Cut controls ", {610, 3, 395, 105}},
      {330, " Common controls ", {610, 100, 395, 200}},
      {329, " Image controls ", {610, 292, 395, 168}},
      {332, " Input-Output controls: ", {610, 452, 395, 73}},
      {328, " Logo Image: ", {610, 517, 395, 85}},
  };
  // Later frames lie above earlier ones where they overlap, all beneath the controls.
  for (auto it = std::rbegin(groups); it != std::rend(groups); ++it) {
    const auto& g = *it;
    auto* frame = new QGroupBox(g.title, client);
    frame->setGeometry(g.place);
    frame->setStyleSheet(
        "QGroupBox { color: white; background-color: #333333; border: 1px solid #9A9A9A;"
        " margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px; }");
    frame->lower();
    Register(g.id, frame);
  }

  auto* aspect = MakeCheck(client, " Fix aspect ratio PARxDAR", QRect(620, 209, 171, 18));
  aspect->setChecked(s.ASPECT != 0);
  Register(cmd::kAspect, aspect);
  CheckStyle(cmd::kAspect, s.ASPECT != 0, kWhiteOnBlack, kGreyOnBlack);

  // Image adjustment rows.
  const struct {
    int32_t checkId, checkWidth, y, sliderId, low, high, page, minId, maxId, resetId, resetY;
    const char* caption;
    int32_t on, value;
  } rows[] = {
      {208, 111, 312, 518, Low(&AppSettings::SHARPEN), High(&AppSettings::SHARPEN), 1, 551, 525,
       581, 311, " Sharpen", s.SHARPEN_CH, s.SHARPEN},
      {523, 161, 332, 520, Low(&AppSettings::BRIGHTNESS), High(&AppSettings::BRIGHTNESS), 8, 552,
       526, 582, 331, " Brightness", s.BRIGHTNESS_CH, s.BRIGHTNESS},
      {522, 161, 352, 519, Low(&AppSettings::CONTRAST), High(&AppSettings::CONTRAST), 8, 553, 527,
       583, 351, " Contrast", s.CONTRAST_CH, s.CONTRAST},
      {573, 161, 372, 572, Low(&AppSettings::NOISE), High(&AppSettings::NOISE), 1, 554, 529, 584,
       371, " Noise Median", s.NOISE_CH, s.NOISE},
      {571, 161, 392, 570, Low(&AppSettings::CPU), High(&AppSettings::CPU), 8, 555, 530, 585, 393,
       " CPU usage", s.CPU_CH, s.CPU},
  };
  for (const auto& r : rows) {
    auto* check = MakeCheck(client, r.caption, QRect(620, r.y, r.checkWidth, 18));
    check->setChecked(r.on != 0);
    Register(r.checkId, check);
    CheckStyle(r.checkId, r.on != 0, kAdjustOn, kAdjustOff);
    auto* slider = MakeSlider(client, QRect(815, r.y, 90, 18), r.low, r.high, r.page, "#808080");
    // A saved value out of range shows at the nearest end; the field keeps it until moved.
    {
      const QSignalBlocker quiet(slider);
      slider->setValue(r.value);
    }
    Register(r.sliderId, slider);
    Register(r.minId, MakeLabel(client, "Min.", QRect(790, r.y + 1, 24, 15), "black", "#888888"));
    Register(r.maxId, MakeLabel(client, "Max.", QRect(910, r.y + 1, 24, 15), "black", "#888888"));
    auto* reset = new QPushButton("Reset", client);
    reset->setGeometry(942, r.resetY, 54, 18);
    Register(r.resetId, reset);
  }
  auto* radius = MakeSlider(client, QRect(731, 312, 50, 18), Low(&AppSettings::RADIUS),
                            High(&AppSettings::RADIUS), 1, "#666666");
  {
    const QSignalBlocker quiet(radius);
    radius->setValue(s.RADIUS);
  }
  Register(cmd::kRadiusSlider, radius);
  const std::pair<int32_t, int32_t AppSettings::*> sliderFields[] = {
      {518, &AppSettings::SHARPEN},  {590, &AppSettings::RADIUS}, {520, &AppSettings::BRIGHTNESS},
      {519, &AppSettings::CONTRAST}, {572, &AppSettings::NOISE},  {570, &AppSettings::CPU},
  };
  for (const auto& [id, field] : sliderFields) {
    connect(ControlAs<QSlider>(id), &QSlider::valueChanged, this, [this, f = field](int value) {
      state_.settings.*f = value;
      PublishView();
    });
  }
  Register(cmd::kFlipLabel,
           MakeLabel(client, " Flip control: ", QRect(620, 415, 161, 18), "white", "#888888"));
  auto* flipH = MakeCheck(client, " Flip Horizontal", QRect(790, 415, 100, 18));
  Register(cmd::kFlipHorizontal, flipH);
  auto* flipV = MakeCheck(client, " Flip Vertical", QRect(895, 415, 100, 18));
  Register(cmd::kFlipVertical, flipV);
  flipH->setChecked((o.FLIP_MODE & 1) != 0);
  flipV->setChecked((o.FLIP_MODE & 2) != 0);
  CheckStyle(cmd::kFlipHorizontal, flipH->isChecked(), kFlipHorizontalOn, kFlipHorizontalOff);
  CheckStyle(cmd::kFlipVertical, flipV->isChecked(), kFlipVerticalOn, kFlipVerticalOff);

  // The big bitmap buttons.
  const std::pair<int32_t, const char*> big[] = {
      {cmd::kLoad, "b_load1"}, {cmd::kPlayPause, "b_pause1"}, {cmd::kConvert, "b_convert1"},
      {cmd::kSave, "b_save1"}, {cmd::kStop, "b_stopt1"},
  };
  int32_t y = 148;
  for (const auto& [id, image] : big) {
    auto* button = new BitmapButton(image, client);
    button->setGeometry(800, y, 140, 23);
    Register(id, button);
    y += 25;
  }
  auto* help = new BitmapButton("help1", client);
  help->setGeometry(900, 25, 100, 22);
  Register(cmd::kHelp, help);

  Register(cmd::kQualityLabel, MakeLabel(client, "Output quality", QRect(900, 53, 98, 15), "white",
                                         "#777777", Qt::AlignCenter));
  auto* quality = new QComboBox(client);
  quality->addItems(QualityItems());
  quality->setGeometry(900, 69, 99, 20);
  quality->setMaxVisibleItems(6);
  quality->setStyleSheet(kDarkListStyle);
  quality->setCurrentIndex(std::clamp(o.QUALITY, 0, 21));
  Register(cmd::kQualityList, quality);
  // The export reads the quality from here.
  connect(quality, &QComboBox::currentIndexChanged, this,
          [this](int index) { state_.options.QUALITY = index; });

  auto* tempButton = new QPushButton("Set path for temporary Stream", client);
  tempButton->setGeometry(620, 472, 150, 17);
  Register(cmd::kTempPath, tempButton);
  Register(cmd::kTempPathLabel, MakeLabel(client, "", QRect(620, 492, 375, 17), "#00009F",
                                          "#C0C0C0", Qt::AlignLeft | Qt::AlignVCenter, true));
  ShowTempFolder();
  Register(cmd::kAddLogo, MakeLabel(client, "Logo not present, cylindrical format",
                                    QRect(772, 472, 223, 17), "black", "#999999", Qt::AlignCenter));
  // The logo preview: black until a logo is loaded.
  Register(cmd::kLogoArea, MakeLabel(client, "", QRect(620, 539, 375, 52), "white", "#000000"));
}

void MainWindow::BuildTooltips() {
  const std::pair<int32_t, const char*> tips[] = {
      {213, "Set FLV Compression/Quality"},
      {208, " Sharpen control - On/Off "},
      {523, " Brightness control - On/Off "},
      {522, " Contrast control - On/Off "},
      {573, " Noise Median control - On/Off "},
      {571, " CPU usage control - On/Off "},
      {518, " Sharpen Amount "},
      {520, " Brightness Amount "},
      {519, " Contrast Value "},
      {572, " Noise Median Value "},
      {570, " CPU usage Value "},
      {590, " Sharpen Radius Value "},
      {3900, " Move the Cut Area to the left "},
      {3901, " Move the Cut Area to the right "},
      {3902, " Move the Cut Area to the up "},
      {3903, " Move the Cut Area to the down "},
      {3907, " Increase the size of External circle "},
      {3908, " Decrease the size of External circle "},
      {3917, " Increase the size of Internal circle "},
      {3918, " Decrease the size of Internal circle "},
      {3904, " Reset "},
      {809, " 3ZU Reduze Vezoro Tuning "},
      {808, " Use it with the Anaglyph 3D stereo glasses, \"Red-Cyan\""},
      {899, " Use it for Enable/Disable the 3D Stereo Depth effect "},
      {900, " Select a value of 3D Stereo Depth effect "},
  };
  for (const auto& [id, text] : tips) Control(id)->setToolTip(text);
}

}  // namespace corvinex
