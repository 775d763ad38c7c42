#include "app/window/click_sound.h"

#include <QSoundEffect>
#include <QUrl>

namespace corvinex {

ClickSounds::ClickSounds(QObject* parent) : QObject(parent) {
  const char* files[] = {"qrc:/sounds/TICK.wav", "qrc:/sounds/TICKB.wav"};
  for (size_t i = 0; i < effects_.size(); ++i) {
    effects_[i] = new QSoundEffect(this);
    effects_[i]->setSource(QUrl(files[i]));
  }
}

void ClickSounds::PlayResourceSound(const QString& name, const QString& type) {
  int index = -1;
  if (name == "TICK" && type == "SOUND3") index = 0;
  if (name == "TICKB" && type == "SOUND5") index = 1;
  if (index < 0) return;
  for (QSoundEffect* effect : effects_) effect->stop();
  effects_[index]->play();
  ++counts_[index];
}

}  // namespace corvinex
