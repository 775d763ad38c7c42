#pragma once
// Shutdown hooks for the window program: waits keep the event loop running.

#include "app/shutdown.h"

namespace corvinex {

class QtShutdownHooks : public ShutdownHooks {
 public:
  bool ViewerOpen() override { return false; }
  void CloseViewer() override {}
  bool MovieOpen() override { return false; }
  void StopMovie() override {}
  void KillFrameDecoding() override {}
  void KillSoundExtraction() override {}
  void Pump(int32_t milliseconds) override;
  void Sleep(int32_t milliseconds) override;
};

class MainWindow;

// The window's own shutdown: the viewer closes and the movie stops through the
// window's services before the stream loop is asked to end.
class WindowShutdownHooks : public QtShutdownHooks {
 public:
  explicit WindowShutdownHooks(MainWindow& window) : window_(window) {}
  bool ViewerOpen() override;
  void CloseViewer() override;
  bool MovieOpen() override;
  void StopMovie() override;
  bool MoviePlaying() override;
  // A window run's child processes belong to a conversion, which has ended before
  // the window can close.
  bool ChildProcessesRunning() override { return false; }
  bool StreamLoopRunning() override;
  void EndStreamLoop() override;

 private:
  MainWindow& window_;
};

}  // namespace corvinex
