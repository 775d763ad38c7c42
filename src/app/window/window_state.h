#pragma once
// Flags of the window that other threads (loader, conversion, viewer) read or
// write. Plain 32-bit atomics: each is written by one side and polled by the other.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "transform/output_projection.h"
#include "transform/process_frame.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

// What the stream thread needs of the user's choices, copied under a lock after
// every command so that no thread reads a field while the window writes it.
struct ViewState {
  RingGeometry ring;
  float HSIZE = 0;
  int32_t flipMode = 0;
  int32_t aspect = 0;                 // OS_ASPECT: the grab fixes the pixel ratio
  FrameOptions frameOptions;          // what the output would get, for the previews
  PanoramaShape shape;                // width and heading the output gets
  bool showLayout = true;             // the panorama preview shows the output's layout
  bool decoderRoute = false;          // the logo canvas's height follows the route
  ProjectionOptions projection = {};  // where the strip sits in the output picture
};

struct WindowState {
  std::atomic<int32_t> paused{0};
  std::atomic<int32_t> encoderBusy{0};
  std::atomic<int32_t> conversionRunning{0};
  std::atomic<int32_t> cutAreaAdjustable{1};
  std::atomic<int32_t> cutAreaRedraw{0};
  std::atomic<int32_t> viewerOpen{0};
  std::atomic<int32_t> viewerReady{0};  // an unwrapped panorama exists for the viewer
  std::atomic<int32_t> logoMakerRunning{0};
  std::atomic<int32_t> movieOpen{0};
  std::atomic<int32_t> chooserOpen{0};
  std::atomic<int32_t> panoramaPreviewEnabled{1};
  std::atomic<int32_t> logoState{0};
  std::atomic<int32_t> frameWidth{0};
  std::atomic<int32_t> frameHeight{0};
  std::atomic<int32_t> progressBarWidth{1};  // last width set by a conversion's progress
  std::atomic<int32_t> previewRefreshBusy{0};

  // Texts written by the probe; read under the mutex.
  std::mutex textMutex;
  std::string movieInformation;           // "File Information"
  std::string moviePath;                  // the open movie
  ViewState view;                         // published by the window
  std::array<std::string, 4> probeLines;  // the probe's first four lines
};

}  // namespace corvinex
