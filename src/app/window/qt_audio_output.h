#pragma once
// The movie's sound during preview playback, through Qt Multimedia. The decode
// thread writes into a bounded buffer and never waits: when the device lags, the
// oldest sound is dropped, never the picture delayed. Without an audio device the
// sound is silently dropped.

#include <QIODevice>
#include <QObject>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/audio_output.h"

class QAudioSink;

namespace corvinex {

class QtAudioOutput : public QIODevice, public AudioOutput {
  Q_OBJECT

 public:
  QtAudioOutput();
  ~QtAudioOutput() override;

  // AudioOutput, from any thread.
  void Start(int32_t sampleRate, int32_t channels) override;
  void Write(const int16_t* samples, size_t frames) override;
  void Flush() override;

  // Samples waiting for the device (for tests).
  size_t Queued() const;

 protected:
  // QIODevice: the sink pulls the queued samples on the window's thread.
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;
  qint64 bytesAvailable() const override;

 private:
  void OpenSink(int32_t sampleRate, int32_t channels);

  mutable std::mutex mutex_;
  std::vector<int16_t> ring_;  // sized once per format
  size_t head_ = 0;            // next sample to read
  size_t count_ = 0;           // samples queued
  size_t channels_ = 2;
  std::unique_ptr<QAudioSink> sink_;
};

}  // namespace corvinex
