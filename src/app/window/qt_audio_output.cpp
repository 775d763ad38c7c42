#include "app/window/qt_audio_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>

namespace corvinex {
namespace {

constexpr int32_t kBufferedSeconds = 1;

}  // namespace

QtAudioOutput::QtAudioOutput() {
  open(QIODevice::ReadOnly | QIODevice::Unbuffered);  // the sink reads the ring itself
}

QtAudioOutput::~QtAudioOutput() {
  if (sink_) sink_->stop();
}

void QtAudioOutput::Start(int32_t sampleRate, int32_t channels) {
  {
    std::lock_guard lock(mutex_);
    channels_ = static_cast<size_t>(std::max(1, channels));
    ring_.assign(static_cast<size_t>(std::max(1, sampleRate)) * channels_ * kBufferedSeconds, 0);
    head_ = count_ = 0;
  }
  // The sink belongs to the window's thread.
  QMetaObject::invokeMethod(
      this, [this, sampleRate, channels] { OpenSink(sampleRate, channels); }, Qt::QueuedConnection);
}

void QtAudioOutput::OpenSink(int32_t sampleRate, int32_t channels) {
  if (sink_) sink_->stop();
  sink_.reset();
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return;  // no sound device: the movie plays silently
  QAudioFormat format;
  format.setSampleRate(sampleRate);
  format.setChannelCount(channels);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(format)) return;
  sink_ = std::make_unique<QAudioSink>(device, format);
  sink_->start(this);
}

void QtAudioOutput::Write(const int16_t* samples, size_t frames) {
  std::lock_guard lock(mutex_);
  if (ring_.empty()) return;
  size_t values = frames * channels_;
  if (values > ring_.size()) {  // more than the buffer holds: keep the newest
    samples += values - ring_.size();
    values = ring_.size();
  }
  const size_t overflow = count_ + values > ring_.size() ? count_ + values - ring_.size() : 0;
  head_ = (head_ + overflow) % ring_.size();
  count_ -= overflow;
  size_t tail = (head_ + count_) % ring_.size();
  for (size_t i = 0; i < values; ++i) {
    ring_[tail] = samples[i];
    tail = tail + 1 == ring_.size() ? 0 : tail + 1;
  }
  count_ += values;
}

void QtAudioOutput::Flush() {
  std::lock_guard lock(mutex_);
  head_ = count_ = 0;
}

size_t QtAudioOutput::Queued() const {
  std::lock_guard lock(mutex_);
  return count_;
}

qint64 QtAudioOutput::readData(char* data, qint64 maxSize) {
  std::lock_guard lock(mutex_);
  const size_t wanted = static_cast<size_t>(std::max<qint64>(0, maxSize)) / sizeof(int16_t);
  const size_t taken = std::min(wanted, count_);
  auto* out = reinterpret_cast<int16_t*>(data);
  for (size_t i = 0; i < taken; ++i) {
    out[i] = ring_[head_];
    head_ = head_ + 1 == ring_.size() ? 0 : head_ + 1;
  }
  count_ -= taken;
  // Silence rather than an early end keeps the device running through gaps.
  std::memset(data + taken * sizeof(int16_t), 0, (wanted - taken) * sizeof(int16_t));
  return static_cast<qint64>(wanted * sizeof(int16_t));
}

qint64 QtAudioOutput::writeData(const char*, qint64) {
  return -1;
}

qint64 QtAudioOutput::bytesAvailable() const {
  return QIODevice::bytesAvailable() + static_cast<qint64>(Queued() * sizeof(int16_t));
}

}  // namespace corvinex
