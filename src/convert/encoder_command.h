#pragma once
// The encoder tool's command lines: sound extraction, frame decoding, movie
// conversion and the export of the spooled frames, and the export thread body.
// Each builder gives the exact logged text and the executed arguments together.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "convert/child_process.h"
#include "convert/command_line.h"
#include "convert/encoder_table.h"
#include "media/movie_tags.h"

namespace corvinex {

class DiagnosticLog;

// The tool in the PLUG-IN folder beside the program.
std::filesystem::path EncoderToolPath(const std::filesystem::path& programFolder);

CommandLine SoundExtractionCommand(const std::filesystem::path& tool,
                                   const std::filesystem::path& movie,
                                   const std::filesystem::path& tempFolder);
// With a `timePerFrame` (100-ns units) the frames come at that constant rate, as the
// export will play them; without one, one file per decoded frame.
CommandLine FrameDecodingCommand(const std::filesystem::path& tool,
                                 const std::filesystem::path& movie,
                                 const std::filesystem::path& tempFolder, int64_t timePerFrame = 0);
CommandLine MovieConversionCommand(const std::filesystem::path& tool,
                                   const std::filesystem::path& input,
                                   const std::filesystem::path& output);

struct ExportSettings {
  std::filesystem::path output;
  int32_t pictureWidth = 0;  // size of the spooled pictures
  int32_t pictureHeight = 0;
  int32_t resize = 0;            // 0 natural size, 1..5 = 90%..50%
  int32_t channels = 0;          // 0 stereo, 1 mono
  int32_t audioRate = 0;         // 0 auto, 1 48000, 2 44100, 3 22050, 4 11025
  int32_t bitRate = 0;           // BITRATE: 0 auto, 1..9
  int32_t codecMode = 0;         // CODECMODE: 0 auto, 1..5
  int32_t quality = 0;           // 0 "Default", 1..21
  int64_t timePerFrame = 0;      // 100-ns units; 0 when unknown
  std::string durationText;      // hh:mm:ss.mmm
  bool soundAvailable = false;   // temp.wav exists and is not empty
  Codec codec = Codec::Default;  // Default: the container's own command
  std::string encoder;           // a hardware encoder's name; empty for software
  MovieTags tags;                // the input movie's own metadata, carried over
};

// The encoder an export of these settings runs: the container's own (libx264 ...)
// where no codec row applies.
std::string ExportEncoderName(const ExportSettings& s);

// The output path's extension, lower-cased, with its dot (".webm").
std::string OutputExtension(const std::filesystem::path& output);
// Whether an export can write a movie of this path's extension, and the list of the
// extensions it can write (".flv .avi ...").
bool ExportExtensionKnown(const std::filesystem::path& output);
std::string ExportExtensionList();
// Whether the export's bit rate choice changes the movie of this extension; the
// others are encoded by quality alone.
bool ExportHonoursBitRate(const std::filesystem::path& output);
// The same with a codec chosen: a codec's own encoder always takes the rate as a cap.
bool ExportHonoursBitRate(const std::filesystem::path& output, Codec codec);
// The size of the exported picture for a resize step (0 natural, 1..5 = 90%..50%):
// each side scaled by the step's factor to the nearest even number, at least 2, so the
// picture keeps its proportions.
struct PictureSize {
  int32_t width = 0;
  int32_t height = 0;
};
PictureSize ExportPictureSize(int32_t resize, int32_t width, int32_t height);
// The quality list's text taken as a number: its leading digits, 0 without any.
int32_t QualityFromText(std::string_view text);
// Whether the extracted sound track is there to be used by an export.
bool SoundTrackUsable(const std::filesystem::path& tempFolder);
// " -r 25.00 " and the like: the input frame rate piece of an export.
std::string RatePiece(int64_t timePerFrame);

// Empty for an output extension the export does not know.
CommandLine ExportCommand(const std::filesystem::path& tool,
                          const std::filesystem::path& tempFolder, const ExportSettings& s);

// Whether the one-pass export hands the encoder 4:2:0 frames (cut to even sizes and
// converted as the encoder would): where the picture keeps its size. A resized picture
// is scaled from the full colours by the encoder, as the spooled export does.
bool OnePassTakesYuv420(const ExportSettings& s);

// The one-pass export: raw top-down frames of the settings' picture size (4:2:0 of the
// even size where OnePassTakesYuv420, BGRX otherwise) come on standard input while
// they are made, the sound straight from `movie`; the output side is the export's.
// Empty for an output extension the export does not know.
CommandLine OnePassCommand(const std::filesystem::path& tool, const std::filesystem::path& movie,
                           const ExportSettings& s);

struct ExportResult {
  bool started = false;
  int exitCode = -1;
  std::string errorLine;  // the tool's last error-stream line when it failed
  bool stopped = false;   // ended on request before it finished
  bool ok() const { return started && exitCode == 0 && !stopped; }
};

struct EncoderFlags {
  std::atomic<int32_t>* started = nullptr;  // set to 1 when the export begins
  std::atomic<int32_t>* running = nullptr;  // cleared when the child has ended
  // 1 ends the encoder at once: the export stops and reports `stopped`.
  const std::atomic<int32_t>* stop = nullptr;
  // Told the frames encoded so far, read from the encoder's own report, while it works.
  std::function<void(int64_t framesEncoded)> progress = {};
};

// The last "frame=N" of the encoder's statistics in `report`; -1 when there is none.
int64_t LastEncodedFrame(std::string_view report);

// Why the encoder failed, from its report: its last line, except where an earlier line
// tells a full disk, which the last ("Conversion failed!") no longer says.
std::string EncoderFailureText(const std::filesystem::path& report);

// Waits for the encoder, telling its progress read from its error-stream file
// `report`, and ends it when a stop is asked for (setting `stopped`).
ChildExit WaitForEncoder(pid_t pid, const std::filesystem::path& report, const EncoderFlags& flags,
                         bool& stopped);

// The export thread body: builds and logs the command, runs it to its end (the
// tool's error stream goes to a scratch file in the temporary folder, read back for
// the log when the tool fails), then clears the running flag.
ExportResult EncodeMovie(const std::filesystem::path& tool, const std::filesystem::path& tempFolder,
                         const ExportSettings& s, DiagnosticLog& log, EncoderFlags flags = {});

}  // namespace corvinex
