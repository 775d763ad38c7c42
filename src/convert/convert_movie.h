#pragma once
// The "Convert Doughnut" run: checks, set-up, the frame loop of one of the two
// routes, the export loop and the clean-up.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "convert/conversion_ui.h"
#include "convert/graph_feed.h"
#include "convert/progress.h"
#include "media/spherical_metadata.h"
#include "settings/app_settings.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {

class DiagnosticLog;

// The open movie as the frame source describes it.
struct ConversionInput {
  std::string moviePath;
  int32_t width = 0;
  int32_t height = 0;
  int64_t timePerFrame = 0;  // 100-ns units
  int32_t frameCount = 0;
  std::string durationText;
  bool movieOpen = false;
  bool canStep = false;
  // How far the first video frame starts after the earliest stream (100-ns units):
  // the output's first frames repeat it so that the sound stays in step.
  int64_t pictureStart = 0;
};

// Frames of the constant-rate output: the picture's start offset and its frames.
int64_t ExpectedOutputFrames(const ConversionInput& input);

struct ConversionContext {
  AppSettings& settings;
  SessionOptions& options;
  DiagnosticLog& log;
  ConversionUi& ui;
  std::filesystem::path tempFolder;
  std::filesystem::path encoderTool;
  ConversionInput input;
  GraphFeed* graph = nullptr;  // the graph route's frames
  std::atomic<int32_t>& stopRequest;
  std::atomic<int32_t>& StreamState;
  std::atomic<int32_t> conversionRunning{0};
  std::string lensName = "Vistrel Lens ";
  // A logo canvas of W x C pixels to put under the panorama; empty for none.
  FrameImage* logoCanvas = nullptr;
  // Where the processed frames go; the temporary folder when empty. With
  // `framesOnly` they stay there and no export runs.
  std::filesystem::path frameFolder{};
  bool framesOnly = false;
  // The frames go to the encoder while they are made and the sound comes straight
  // from the movie: no spool, no extracted sound, and one export only (the batch tool).
  bool onePass = false;
  // Nothing but the unwrap reads the frames (no preview shows them): only the part it
  // reads is converted from the movie, when the options allow (the batch tool).
  bool unwrapReadsFramesOnly = false;
  // With a logo the output is an equirectangular 2:1 frame: mark it as 360-degree
  // video after a successful export.
  bool sphericalMetadata = true;
  // An output of that name is replaced (the window asked the user first); without it
  // a name taken meanwhile gives the next free STEM_2, STEM_3 ... name.
  bool replaceOutput = true;
  ProgressClock clock = MonotonicSeconds;
  ProgressState progress{};
};

enum class ConversionStatus {
  Refused,       // a check failed; nothing started
  NoMovie,       // graph route without an open movie
  Stopped,       // the user stopped the frame loop: no export
  Exported,      // the last export wrote the output movie
  ExportFailed,  // the encoder did not write the output movie
  FramesLost,    // a frame could not be written: the run ended there, no export
  FramesOnly,    // frames written, export skipped on request
};

struct ConversionOutcome {
  ConversionStatus status = ConversionStatus::Refused;
  UnwrapGeometry geometry;
  int32_t outputWidth = 0;
  int32_t outputHeight = 0;
  int64_t framesProcessed = 0;
  int64_t framesNotSpooled = 0;
  std::string spoolError;
  std::filesystem::path output;  // the last export's output: the name it got
  // The pictures ended well before the length the file states (a cut file): what the
  // summary tells, e.g. "the movie ends at 1.52 s of the 4.00 s it states".
  std::string timelineNote;
  ExportResult lastExport;
  std::string encoderUsed;  // the encoder that wrote the movie ("libx265", "hevc_vaapi")
  std::string encoderNote;  // why that one, and a fall-back from hardware where there was one
  // Set when the last export was a spherical frame and marking it was tried.
  std::optional<SphericalResult> spherical;
};

ConversionOutcome ConvertMovie(ConversionContext& context, std::string outputPath);

// The route `DSSETUP` chooses: 2 decodes through the encoder tool; anything else
// takes the frames from the graph.
inline bool DecoderRoute(const AppSettings& settings) {
  return settings.DSSETUP == 2;
}

}  // namespace corvinex
