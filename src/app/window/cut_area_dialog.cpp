#include "app/window/cut_area_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "app/window/command_ids.h"
#include "app/window/main_window.h"
#include "transform/cut_area.h"

namespace corvinex {
namespace {

// Why typed values cannot be applied, in the user's terms.
QString RefusalText(uint32_t broken) {
  QStringList reasons;
  if (broken & kLimitCropTooSmall) reasons << "the Cut Area would be too small";
  if (broken & kLimitCropTooLarge) reasons << "the Cut Area would be too large";
  if (broken & kLimitCutRows) reasons << "the inner circle would not fit inside the outer one";
  if (reasons.isEmpty()) return "Not applied: the Cut Area cannot be changed now.";
  return "Not applied: " + reasons.join("; ") + ".";
}

}  // namespace

CutAreaDialog::CutAreaDialog(MainWindow& window) : QDialog(&window), window_(window) {
  setWindowTitle("Cut Area");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  const char* names[] = {"X1 (left edge)", "Y1 (top edge)", "Width", "Height",
                         "Inner circle radius"};
  for (size_t i = 0; i < fields_.size(); ++i) {
    auto* field = new QSpinBox(this);
    field->setRange(-100000, 100000);
    field->setObjectName(QString("cutField%1").arg(i));
    form->addRow(names[i], field);
    fields_[i] = field;
    connect(field, &QSpinBox::valueChanged, this, [this] { TryTyped(); });
    // Leaving a field shows what holds again, should the typed value have been refused.
    connect(field, &QSpinBox::editingFinished, this, [this] { ShowCurrent(); });
  }
  layout->addLayout(form);
  pixels_ = new QLabel(this);
  limits_ = new QLabel(this);
  limits_->setWordWrap(true);
  problem_ = new QLabel(this);
  problem_->setObjectName("cutProblem");
  problem_->setStyleSheet("color: #B00000;");
  problem_->setWordWrap(true);
  layout->addWidget(pixels_);
  layout->addWidget(limits_);
  layout->addWidget(problem_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* find = buttons->addButton("Find Ring", QDialogButtonBox::ActionRole);
  connect(find, &QPushButton::clicked, this, [this] { window_.Dispatch(cmd::kFindRing); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  layout->addWidget(buttons);
  connect(&window_, &MainWindow::cutAreaChanged, this, &CutAreaDialog::ShowCurrent);
  ShowCurrent();
}

QString CutAreaDialog::Problem() const {
  return problem_->text();
}

// The fields, the ring in movie pixels and the limits, from the current Cut Area.
void CutAreaDialog::ShowCurrent() {
  const RingGeometry ring = window_.CurrentRing();
  const int32_t values[] = {ring.X1, ring.Y1, ring.X2, ring.Y2, ring.RSIZE};
  for (size_t i = 0; i < fields_.size(); ++i) {
    const QSignalBlocker quiet(fields_[i]);
    fields_[i]->setValue(values[i]);
  }
  const QSize frame = window_.FrameSize();
  const bool movie = frame.width() > 0 && frame.height() > 0;
  for (QSpinBox* field : fields_) field->setEnabled(movie);
  if (!movie) {
    pixels_->setText("Load a movie to place the Cut Area.");
    limits_->clear();
    return;
  }
  const UnwrapGeometry g = ComputeUnwrapGeometry(frame.width(), frame.height(), ring, 0.0f);
  pixels_->setText(QString("In movie pixels: centre %1, %2; outer radius %3; inner radius %4")
                       .arg(g.cropX + g.halfW)
                       .arg(g.cropY + g.halfH)
                       .arg(g.H)
                       .arg(g.cutRows));
  limits_->setText(QString("Units: the preview's, 600 across the movie (one unit is %1 movie "
                           "pixels). Width and height: at least %2 units; the inner circle "
                           "stays at least 2 pixels inside the outer one.")
                       .arg(static_cast<double>(g.sx), 0, 'f', 2)
                       .arg(static_cast<int>(std::ceil(4.0 / static_cast<double>(g.sx)))));
}

// Applied at each change, so the previews follow the typing; values that break a
// limit are left in the field to be corrected, and the Cut Area stays as it was.
void CutAreaDialog::TryTyped() {
  const RingGeometry typed{fields_[0]->value(), fields_[1]->value(), fields_[2]->value(),
                           fields_[3]->value(), fields_[4]->value()};
  if (window_.ApplyCutArea(typed)) {
    problem_->clear();
    return;
  }
  const QSize frame = window_.FrameSize();
  problem_->setText(RefusalText(CutAreaViolations(typed, frame.width(), frame.height())));
}

}  // namespace corvinex
