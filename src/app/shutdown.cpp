#include "app/shutdown.h"

#include "convert/temp_files.h"
#include "settings/settings_file.h"

namespace corvinex {

bool ShouldAutoSave(const ProgramState& state) {
  return state.settings.AUTOSAVE != 0 && state.movieLoaded.load() == 1;
}

namespace {

// Pumps in short steps while `busy` holds, at most `limit` ms.
template <class Busy>
void WaitWhile(ShutdownHooks& hooks, int32_t limit, Busy busy) {
  constexpr int32_t kStep = 10;
  for (int32_t waited = 0; waited < limit && busy(); waited += kStep) hooks.Pump(kStep);
}

}  // namespace

bool RunShutdown(ProgramState& state, ShutdownHooks& hooks) {
  if (hooks.ViewerOpen()) {
    hooks.CloseViewer();
    WaitWhile(hooks, 500, [&] { return hooks.ViewerOpen(); });
  }
  if (hooks.MovieOpen()) {
    for (int i = 0; i < 5; ++i) {
      hooks.StopMovie();
      if (!hooks.MoviePlaying()) break;
      hooks.Sleep(300);
    }
  }
  hooks.KillFrameDecoding();
  WaitWhile(hooks, 1000, [&] { return hooks.ChildProcessesRunning(); });
  hooks.KillSoundExtraction();
  WaitWhile(hooks, 500, [&] { return hooks.ChildProcessesRunning(); });
  state.log.LogLine("EXIT");

  bool saved = true;
  if (ShouldAutoSave(state)) {
    saved = WriteSettings(state.paths.settingsFile, state.settings, state.options);
    if (!saved) state.log.LogLine("Settings file could not be written");
  }

  // The stream loop answers a 1 by ending and writing 0; give it a bounded time.
  state.stopFlag = 1;
  hooks.EndStreamLoop();
  WaitWhile(hooks, 500, [&] { return hooks.StreamLoopRunning(); });
  if (hooks.StreamLoopRunning()) {
    state.StreamState = 1;
    hooks.Sleep(500);
    for (int i = 0; i < 21 && state.StreamState.load() != 0; ++i) {
      hooks.Pump(100);
      state.StreamState = 1;
    }
  }
  state.StreamState = 0;
  hooks.Pump(1);
  if (hooks.StreamLoopRunning()) hooks.Sleep(100);
  state.log.LogLine("EXIT2");

  CleanTemp(state.settings.APATH, CleanTempOptions{.keepAvi = false});
  state.log.LogLine("EXIT3");
  return saved;
}

}  // namespace corvinex
