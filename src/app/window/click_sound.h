#pragma once
// The two click sounds, played asynchronously from the program's resources. A new
// sound cuts the previous one; without an audio device the program stays silent.

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

class QSoundEffect;

namespace corvinex {

class ClickSounds : public QObject {
 public:
  explicit ClickSounds(QObject* parent);

  // `name` is "TICK" (type "SOUND3", every click) or "TICKB" (type "SOUND5", the
  // Cut Area buttons). An unknown name or type plays nothing.
  void PlayResourceSound(const QString& name, const QString& type);

  // How often each sound was started: TICK, TICKB.
  std::array<int32_t, 2> PlayCounts() const { return counts_; }

 private:
  std::array<QSoundEffect*, 2> effects_{};
  std::array<int32_t, 2> counts_{};
};

}  // namespace corvinex
