#include "app/window/recompress_dialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/window/command_ids.h"
#include "app/window/control_styles.h"
#include "app/window/file_choosers.h"
#include "app/window/main_window.h"
#include "convert/encoder_command.h"
#include "convert/hardware_probe.h"

namespace corvinex {
namespace {

QStringList QualityItems() {
  QStringList items{"Default", "1:Max size"};
  for (int32_t i = 2; i <= 20; ++i) items << QString("%1:").arg(i);
  items << "21:Min size";
  return items;
}

QPushButton* FlatButton(const QString& text, QRect place, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setFlat(true);
  button->setGeometry(place);
  button->setStyleSheet(
      "QPushButton { color: white; background-color: rgb(128,128,128); text-align: left; }");
  return button;
}

QLabel* GreyLabel(const QString& text, QRect place, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(place);
  label->setStyleSheet("color: white; background-color: rgb(128,128,128);");
  return label;
}

}  // namespace

RecompressDialog::RecompressDialog(MainWindow& window, const std::string& output,
                                   ExportChoice& choice)
    : QDialog(&window), window_(window), choice_(choice), result_(output) {
  setWindowTitle("Save a Video with another compression");
  setWindowIcon(QIcon(":/icons/VIDEO1.png"));
  setFixedSize(720, 182);
  setStyleSheet("QDialog { background-color: rgb(88,88,88); color: red; }");
  setFont(window.font());

  auto* select = FlatButton("  Select file path", QRect(8, 8, 165, 26), this);
  select->setObjectName("100");
  path_ = new QLineEdit(QString::fromStdString(output), this);
  path_->setObjectName("101");
  path_->setGeometry(8, 37, 705, 26);
  path_->setStyleSheet("color: blue; background-color: white;");
  GreyLabel("  Select quality", QRect(8, 73, 165, 26), this)->setObjectName("102");
  auto* quality = new QComboBox(this);
  quality->setObjectName("213");
  quality->addItems(QualityItems());
  quality->setGeometry(8, 104, 165, 24);
  quality->setStyleSheet(kDarkListStyle);
  quality->setCurrentIndex(std::clamp(choice.quality, 0, 21));
  GreyLabel("  Resize output video", QRect(177, 73, 165, 26), this)->setObjectName("103");
  auto* resize = new QComboBox(this);
  resize->setObjectName("870");
  resize->addItems(
      {"Natural size", "Resize 90%", "Resize 80%", "Resize 70%", "Resize 60%", "Resize 50%"});
  resize->setGeometry(177, 104, 165, 24);
  resize->setStyleSheet(kDarkListStyle);
  resize->setCurrentIndex(std::clamp(choice.resize, 0, 5));
  GreyLabel("  Video codec", QRect(346, 73, 165, 26), this)->setObjectName("104");
  auto* codec = new QComboBox(this);
  codec->setObjectName("codec");
  codec->addItems({"Output type's own", "H.264", "H.265", "AV1", "VP9"});
  codec->setGeometry(346, 104, 165, 24);
  codec->setStyleSheet(kDarkListStyle);
  codec->setCurrentIndex(std::clamp(choice.codec, 0, 4));
  GreyLabel("  Encoder", QRect(515, 73, 198, 26), this)->setObjectName("105");
  auto* encoder = new QComboBox(this);
  encoder->setObjectName("encoder");
  encoder->setGeometry(515, 104, 198, 24);
  encoder->setStyleSheet(kDarkListStyle);
  // Hardware encoders are offered once a run has found them working; the test
  // encode is not made here, where it would hold the window.
  encoder->addItem("Auto", kEncoderAuto);
  encoder->addItem("Software", kEncoderSoftware);
  const std::filesystem::path tool = EncoderToolPath(window.State().paths.programFolder);
  if (HardwareProbed(tool)) {
    for (const std::string& name : ProbeHardwareEncoders(tool, window.State().log).working)
      encoder->addItem(QString::fromStdString(name), EncoderChoiceOfName(name));
  }
  encoder->setCurrentIndex(std::max(encoder->findData(choice.encoder), 0));
  auto* save = FlatButton("Save Video", QRect(390, 130, 150, 40), this);
  save->setObjectName("2002");
  auto* cancel = FlatButton("Exit/Cancel", QRect(552, 130, 150, 40), this);
  cancel->setObjectName("2004");

  connect(select, &QPushButton::clicked, this, &RecompressDialog::SelectFile);
  connect(save, &QPushButton::clicked, this, [this] {
    result_ = path_->text().toStdString();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &RecompressDialog::reject);
  // "Default" is 0; "12:" is 12. Both choices are this export's own: the main
  // window's quality list and Resize menu keep what the user set there.
  connect(quality, &QComboBox::activated, this, [this](int index) { choice_.quality = index; });
  connect(resize, &QComboBox::activated, this, [this](int index) { choice_.resize = index; });
  connect(codec, &QComboBox::activated, this, [this](int index) { choice_.codec = index; });
  connect(encoder, &QComboBox::activated, this,
          [this, encoder](int index) { choice_.encoder = encoder->itemData(index).toInt(); });
}

void RecompressDialog::reject() {
  result_.clear();
  QDialog::reject();
}

void RecompressDialog::SelectFile() {
  const QString folder = QFileInfo(path_->text()).absolutePath();
  ProgramState& state = window_.State();
  const std::string answer =
      ChooseOutputFile(this, folder, state.settings.OPATH, state.options.OUTPUT_TYPE);
  if (!QString::fromStdString(answer).trimmed().isEmpty()) {
    path_->setText(QString::fromStdString(answer));
  }
}

std::string RunRecompressDialog(MainWindow& window, const std::string& output,
                                ExportChoice& choice) {
  RecompressDialog dialog(window, output, choice);
  dialog.exec();
  return dialog.Result();
}

}  // namespace corvinex
