#include "app/window/projection_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "settings/app_settings.h"
#include "transform/output_projection.h"

namespace corvinex {
namespace {

// A radio item that sets one option to `value` and is checked while it holds it.
QAction* Radio(QMenu* menu, QActionGroup* group, const QString& text, const QString& name,
               std::function<int32_t&()> field, int32_t value, std::function<void()> changed) {
  QAction* action = menu->addAction(text);
  action->setObjectName(name);
  action->setCheckable(true);
  group->addAction(action);
  QObject::connect(action, &QAction::triggered, menu, [field, value, changed] {
    field() = value;
    changed();
  });
  QObject::connect(menu, &QMenu::aboutToShow, action,
                   [action, field, value] { action->setChecked(field() == value); });
  action->setChecked(field() == value);
  return action;
}

}  // namespace

void AddProjectionMenu(QMenu* parent, SessionOptions& o, QWidget* dialogOwner,
                       std::function<void()> changed) {
  QMenu* menu = parent->addMenu("Output projection");
  menu->setObjectName("projectionMenu");
  auto* kinds = new QActionGroup(menu);
  Radio(
      menu, kinds, "  Panorama strip", "projectionStrip",
      [&o]() -> int32_t& { return o.PROJECTION; }, kProjectionStrip, changed);
  Radio(
      menu, kinds, "  360-degree video (equirectangular 2:1)", "projectionEquirect",
      [&o]() -> int32_t& { return o.PROJECTION; }, kProjectionEquirect, changed);
  menu->addSeparator();
  auto* fills = new QActionGroup(menu);
  Radio(
      menu, fills, "  Fill above and below: black", "fillBlack",
      [&o]() -> int32_t& { return o.FILL; }, kFillBlack, changed);
  Radio(
      menu, fills, "  Fill above and below: soft", "fillSoft",
      [&o]() -> int32_t& { return o.FILL; }, kFillSoft, changed);
  menu->addSeparator();

  QMenu* horizon = menu->addMenu("Horizon offset");
  horizon->setObjectName("horizonMenu");
  auto* offsets = new QActionGroup(horizon);
  for (int32_t degrees = -40; degrees <= 40; degrees += 10) {
    const QString text = degrees == 0
                             ? QString("  0 (middle)")
                             : QString("  %1%2 degrees").arg(degrees > 0 ? "+" : "").arg(degrees);
    Radio(
        horizon, offsets, text, QString("horizon%1").arg(degrees),
        [&o]() -> int32_t& { return o.HORIZON; }, degrees, changed);
  }
  horizon->addSeparator();
  // Any whole degree in range; the item shows the value when it is not a preset.
  QAction* other = horizon->addAction("  Other...");
  other->setObjectName("horizonOther");
  other->setCheckable(true);
  offsets->addAction(other);
  QPointer<QWidget> owner(dialogOwner);
  QObject::connect(other, &QAction::triggered, horizon, [&o, owner, other, changed] {
    bool ok = false;
    const int value = QInputDialog::getInt(
        owner, "Horizon offset",
        "Degrees the strip moves up (+) or down (-) in the 2:1 frame:", o.HORIZON, -kHorizonLimit,
        kHorizonLimit, 1, &ok);
    if (ok) {
      o.HORIZON = value;
      changed();
    }
    other->setChecked(o.HORIZON % 10 != 0);
  });
  QObject::connect(horizon, &QMenu::aboutToShow, other, [&o, other] {
    const bool preset = o.HORIZON % 10 == 0 && o.HORIZON >= -40 && o.HORIZON <= 40;
    other->setChecked(!preset);
    other->setText(preset ? QString("  Other...") : QString("  Other (%1)...").arg(o.HORIZON));
  });
}

}  // namespace corvinex
