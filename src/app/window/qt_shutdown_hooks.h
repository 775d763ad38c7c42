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

}  // namespace corvinex
