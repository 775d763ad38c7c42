#pragma once
// The orderly end of a run: stop what runs, save, clean up, and log each stage.

#include <cstdint>

#include "app/program_state.h"

namespace corvinex {

// What shutdown asks of the parts that may still be running. The window
// implements it; tests record the calls.
class ShutdownHooks {
 public:
  virtual ~ShutdownHooks() = default;
  virtual bool ViewerOpen() = 0;
  virtual void CloseViewer() = 0;
  virtual bool MovieOpen() = 0;
  virtual void StopMovie() = 0;
  // Terminate the encoder tool's decoding and sound-extraction runs, if any.
  virtual void KillFrameDecoding() = 0;
  virtual void KillSoundExtraction() = 0;
  // Wait while the window stays responsive; Sleep just waits.
  virtual void Pump(int32_t milliseconds) = 0;
  virtual void Sleep(int32_t milliseconds) = 0;

  // What each wait of the shutdown waits for. A wait ends as soon as its answer is
  // false; hooks that cannot tell keep the default and wait the whole time.
  virtual bool MoviePlaying() { return MovieOpen(); }
  virtual bool ChildProcessesRunning() { return true; }
  virtual bool StreamLoopRunning() { return true; }
  // Asks the stream loop to end (it ends by itself otherwise only when told by 0).
  virtual void EndStreamLoop() {}
};

// True when shutdown writes the settings file: auto-save on and a movie was
// loaded during this run.
bool ShouldAutoSave(const ProgramState& state);

// Runs the shutdown stages and logs "EXIT", "EXIT2", "EXIT3" as it passes them.
// Returns false when the auto-save was due but the settings file could not be written.
bool RunShutdown(ProgramState& state, ShutdownHooks& hooks);

}  // namespace corvinex
