#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "convert/convert_movie.h"
#include "convert/frame_source_feed.h"
#include "convert/movie_convert.h"
#include "media/frame_source.h"
#include "media/movie_info.h"
#include "settings/diagnostic_log.h"
#include "support/ffprobe.h"
#include "support/recording_ui.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::RecordingUi;

const fs::path kTool = fs::path(CORVINEX_PLUGIN_DIR) / "ffmpeg_III";

// One open sample movie and everything a conversion run needs around it.
struct ConversionFixture : ::testing::Test {
  test::TempDir dir{"convert run é"};
  fs::path movie = dir / "doughnut in.mp4";
  fs::path temp = dir / "TEMP";
  AppSettings settings;
  SessionOptions options;
  DiagnosticLog log{dir / "TLVPUB.log"};
  RecordingUi ui;
  std::atomic<int32_t> stop{0};
  std::atomic<int32_t> streamState{1};
  FrameSource source;
  std::unique_ptr<FrameSourceFeed> feed;
  MovieInfo info;

  void Open(int frames = 24, bool sound = true) {
    fs::create_directories(temp);
    test::MakeSampleMovie(
        movie, {.width = 320, .height = 240, .frames = frames, .fps = "25", .sound = sound});
    ASSERT_TRUE(source.Open(movie, info).ok());
    info.timePerFrame = TimePerFrameFrom("", source.AverageTimePerFrame());
    info.frameCount = FrameCountFrom(info.duration, info.timePerFrame);
    feed = std::make_unique<FrameSourceFeed>(source);
    // The sample ring.
    settings.X1 = 150;
    settings.Y1 = 20;
    settings.X2 = 316;
    settings.Y2 = 306;
    settings.RSIZE = 32;
  }

  ConversionOutcome Convert(const fs::path& output, const fs::path& frameFolder = {}) {
    ConversionContext context{.settings = settings,
                              .options = options,
                              .log = log,
                              .ui = ui,
                              .tempFolder = temp,
                              .encoderTool = kTool,
                              .input = {.moviePath = movie.string(),
                                        .width = info.width,
                                        .height = info.height,
                                        .timePerFrame = info.timePerFrame,
                                        .frameCount = info.frameCount,
                                        .durationText = DurationText(info.durationSeconds),
                                        .movieOpen = true,
                                        .canStep = false},
                              .graph = feed.get(),
                              .stopRequest = stop,
                              .StreamState = streamState,
                              .frameFolder = frameFolder,
                              .framesOnly = !frameFolder.empty()};
    return ConvertMovie(context, output.string());
  }

  std::string Log() { return test::ReadFileBytes(dir / "TLVPUB.log"); }

  bool TempIsEmptyOfFrames() {
    for (const auto& entry : fs::directory_iterator(temp)) {
      const auto ext = entry.path().extension();
      if (ext == ".bmp" || ext == ".wav") return false;
    }
    return true;
  }
};

TEST_F(ConversionFixture, GraphRouteWritesAPanoramaMovieWithSound) {
  Open();
  ui.answers = {false};  // no second compression
  const fs::path output = dir / "out \"quoted\" $x.mp4";
  const ConversionOutcome outcome = Convert(output);
  ASSERT_EQ(outcome.status, ConversionStatus::Exported) << outcome.lastExport.errorLine;
  const auto& g = outcome.geometry;
  EXPECT_EQ(outcome.outputWidth, g.W);
  EXPECT_EQ(outcome.outputHeight, g.outRows + g.corrRows);

  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->width, g.W);
  EXPECT_EQ(facts->height, g.outRows + g.corrRows);
  // The MP4 export writes 30 frames a second, so the duration is what must match.
  EXPECT_NEAR(facts->durationSeconds, 0.96, 0.1) << Log();
  EXPECT_TRUE(facts->hasAudio);

  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Successful termination");
  EXPECT_EQ(ui.messages[0].text,
            "Movie converted successfully.\r\nDo you want to save it with another compression "
            "value ?");
  EXPECT_EQ(ui.exports, 1);
  EXPECT_EQ(ui.labels[309], "");  // cleared after the run
  EXPECT_TRUE(ui.cutAreaEnabled);
  EXPECT_EQ(streamState.load(), 0);
  EXPECT_TRUE(TempIsEmptyOfFrames());

  // The log tells the run's steps in order.
  const std::string text = Log();
  size_t at = 0;
  // The movie is encoded while the frames are made, and that export is the one shown.
  for (const char* line : {"Convert Movie Begin ", "Output file ", "Output Folder Free Space:",
                           "Set Stream to 0 position", "Set MovieDuration",
                           "ConvertRectFFMPEG aVideoEXT .mp4 (one pass)", "LOGO PRESENT = 0",
                           "OS_PREVIEW = 0", "OS_DIRECT_ACCESS = 1", "OS_HRDWARE_SUPPORT = 0",
                           "OS_DSS_SETUP = 0", "Begin Convert Process", "ConvertRectExport Begin",
                           "ConvertRectExport End", "ConvertRectExport 1", "ConvertRectExport 2",
                           "ConvertRectExport 3", "Convert Movie End "}) {
    const size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << text;
    at = found;
  }
  EXPECT_EQ(text.find("END Convert Process"), std::string::npos);
  EXPECT_EQ(text.find("Encoding while spooling failed"), std::string::npos);
  const size_t duration = text.find("Set MovieDuration");
  EXPECT_EQ(text.find("Set MovieDuration", duration + 1), std::string::npos) << "logged twice";
}

TEST_F(ConversionFixture, StereoPairWithLensCorrectionIntoWebmIsTwiceAsHigh) {
  Open(12, false);
  settings.HSIZE = 0.0502f;
  settings.STEREO_OUT_TYPE = 8;
  options.STEREO_3DP = 1;
  ui.answers = {false};
  const fs::path output = dir / "pair.webm";
  const ConversionOutcome outcome = Convert(output);
  ASSERT_EQ(outcome.status, ConversionStatus::Exported) << outcome.lastExport.errorLine;
  const auto& g = outcome.geometry;
  EXPECT_GT(g.corrRows, 0);
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->width, g.W);
  EXPECT_EQ(facts->height, 2 * (g.outRows + g.corrRows));
  EXPECT_NEAR(facts->durationSeconds, 0.48, 0.1);
  EXPECT_FALSE(facts->hasAudio);
}

TEST_F(ConversionFixture, OutputEqualToInputIsRefusedAndLeftAlone) {
  Open(5);
  const std::string before = test::ReadFileBytes(movie);
  const ConversionOutcome outcome = Convert(fs::path("  " + movie.string() + " "));
  EXPECT_EQ(outcome.status, ConversionStatus::Refused);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Error Monitoring");
  EXPECT_EQ(ui.messages[0].text, "Incorrect name of output file");
  EXPECT_EQ(test::ReadFileBytes(movie), before);
  EXPECT_EQ(ui.exports, 0);
}

TEST_F(ConversionFixture, StopDuringTheFrameLoopExportsNothingAndCleansUp) {
  Open(120);
  int pumps = 0;
  ui.onPump = [&] {
    if (++pumps == 3) stop = 1;
  };
  const fs::path output = dir / "stopped.mp4";
  const ConversionOutcome outcome = Convert(output);
  EXPECT_EQ(outcome.status, ConversionStatus::Stopped);
  EXPECT_EQ(ui.exports, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(fs::exists(output));
  EXPECT_TRUE(TempIsEmptyOfFrames());
  EXPECT_EQ(stop.load(), 0);
  EXPECT_NE(Log().find("ConvertRectExport 3"), std::string::npos);
}

TEST_F(ConversionFixture, FailedExportIsReportedAndCanBeRetriedWithAnotherName) {
  Open(8);
  ui.answers = {true, false};  // retry after the failure, then stop
  ui.recompressPaths = {(dir / "second try.mov").string()};
  ui.nextChoice = {.quality = 5, .resize = 2};
  // The output folder goes away during the frame loop, so the export cannot write.
  const fs::path gone = dir / "gone";
  fs::create_directories(gone);
  ui.onPump = [&] { fs::remove_all(gone); };
  const ConversionOutcome outcome = Convert(gone / "first.mp4");
  ASSERT_EQ(ui.messages.size(), 2u) << Log();
  EXPECT_EQ(ui.messages[0].caption, "Error Monitoring");
  EXPECT_EQ(ui.messages[1].caption, "Successful termination") << ui.messages[1].text << Log();
  EXPECT_EQ(ui.messages[1].caption, "Successful termination");
  EXPECT_EQ(outcome.status, ConversionStatus::Exported);
  // The re-export's choices were that export's only: the user's own stay.
  EXPECT_EQ(options.QUALITY, 0);
  EXPECT_EQ(options.RESIZE, 0);
  // The movie encoded beside the frames failed too; the spooled frames were exported.
  EXPECT_NE(Log().find("Encoding while spooling"), std::string::npos) << Log();
  const auto facts = test::ProbeFile(dir / "second try.mov");
  ASSERT_TRUE(facts.has_value());
  // 80 % of each side, to the nearest even number: the picture keeps its proportions.
  EXPECT_EQ(facts->width, 2 * std::lround(outcome.outputWidth * 0.8 / 2));
  EXPECT_EQ(facts->height, 2 * std::lround(outcome.outputHeight * 0.8 / 2));
}

}  // namespace
}  // namespace corvinex

namespace corvinex {
namespace {

// What fails whatever the frames is refused before the first frame, with the reason.
TEST_F(ConversionFixture, AnOutputThatCannotBeWrittenIsRefusedBeforeTheFrames) {
  Open(8);
  const struct {
    fs::path output;
    const char* says;
  } cases[] = {
      {dir / "unknown.xyz", "The movie type \".xyz\" cannot be written."},
      {dir / "no type", "The output file name has no movie type."},
      {dir / "ring.v2_Unwrapped", "cannot be written"},
      {dir / "missing folder" / "out.mp4", "The output folder does not exist:"},
  };
  for (const auto& c : cases) {
    ui.messages.clear();
    const ConversionOutcome outcome = Convert(c.output);
    EXPECT_EQ(outcome.status, ConversionStatus::Refused) << c.output;
    ASSERT_EQ(ui.messages.size(), 1u) << c.output;
    EXPECT_EQ(ui.messages[0].caption, "Error Monitoring");
    EXPECT_NE(ui.messages[0].text.find(c.says), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(outcome.framesProcessed, 0);
  }
  // A Cut Area of no size would give a movie of a few pixels.
  ui.messages.clear();
  settings.X2 = settings.Y2 = 0;
  EXPECT_EQ(Convert(dir / "tiny.mp4").status, ConversionStatus::Refused);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("The Cut Area is too small to unwrap"), std::string::npos)
      << ui.messages[0].text;
  EXPECT_EQ(Log().find("Begin Convert Process"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "missing folder"));
}

TEST_F(ConversionFixture, DecoderRouteProcessesEveryFrameFromOne) {
  Open(30);
  settings.DSSETUP = 2;
  settings.HSIZE = 0.0251f;
  ui.answers = {false};
  const fs::path output = dir / "decoded.webm";
  const ConversionOutcome outcome = Convert(output);
  ASSERT_EQ(outcome.status, ConversionStatus::Exported) << Log();
  EXPECT_EQ(outcome.framesProcessed, 30);  // the last frame too
  const auto& g = outcome.geometry;
  const auto facts = test::ProbeFile(output);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->width, g.W);
  EXPECT_EQ(facts->height, g.outRows + g.corrRows);
  EXPECT_TRUE(facts->hasAudio);
  const std::string text = Log();
  EXPECT_NE(text.find("Begin Convert Process\r\n"), std::string::npos);
  EXPECT_LT(text.find("END Convert Process"), text.find("ConvertRectExport Begin"));
  EXPECT_EQ(text.find("ConvertRectExport 1"), std::string::npos);  // the graph route's lines
  EXPECT_EQ(text.find("RENDERX_FFMPEG ERR"), std::string::npos);
  EXPECT_TRUE(TempIsEmptyOfFrames());
}

TEST_F(ConversionFixture, DecoderRouteStopLogsTheExitAndExportsNothing) {
  Open(150);
  settings.DSSETUP = 2;
  int pumps = 0;
  ui.onPump = [&] {
    if (++pumps == 20) stop = 1;
  };
  const fs::path output = dir / "never.mp4";
  const ConversionOutcome outcome = Convert(output);
  EXPECT_EQ(outcome.status, ConversionStatus::Stopped);
  EXPECT_FALSE(fs::exists(output));
  EXPECT_EQ(ui.exports, 0);
  EXPECT_NE(Log().find("CAVIEXIT = 1"), std::string::npos);
  EXPECT_EQ(Log().find("END Convert Process"), std::string::npos);
  EXPECT_TRUE(TempIsEmptyOfFrames());
}

}  // namespace
}  // namespace corvinex

namespace corvinex {
namespace {

TEST_F(ConversionFixture, TranscodeMakesAPlayableAviCopyInTheTemporaryFolder) {
  Open(10);
  const fs::path named = dir / "take 1.mp4";
  fs::copy_file(movie, named);
  test::WriteFileBytes(temp / "take 1.avi", "an older copy");
  const std::string copy = TranscodeToTempAvi(named.string(), temp, kTool, ui, streamState);
  EXPECT_EQ(copy, (temp / "take 1.avi").string());
  EXPECT_EQ(ui.exportCaptions, std::vector<std::string>{"Movie Conversion"});
  EXPECT_EQ(streamState.load(), 1);
  const auto facts = test::ProbeFile(copy);
  ASSERT_TRUE(facts.has_value());
  EXPECT_EQ(facts->formatName, "avi");
  EXPECT_EQ(facts->width, 320);
  EXPECT_NEAR(facts->frameCount, 10, 1);

  // A container the tool does not know: nothing written, and the result says so.
  const MovieConvertResult bad =
      MovieConvert({kTool, named.string(), (dir / "x.notacontainer").string()}, ui, streamState);
  EXPECT_FALSE(bad.outputWritten);
}

// Mean of the colour bytes of a spooled frame file.
double MeanLevel(const fs::path& bmp) {
  const std::string bytes = test::ReadFileBytes(bmp);
  double sum = 0;
  size_t count = 0;
  for (size_t i = 54; i + 3 < bytes.size(); i += 4) {
    sum += static_cast<uint8_t>(bytes[i]) + static_cast<uint8_t>(bytes[i + 1]) +
           static_cast<uint8_t>(bytes[i + 2]);
    count += 3;
  }
  return count == 0 ? -1 : sum / static_cast<double>(count);
}

// Adjustments changed during a run apply from the next frame, in both routes, and
// the preview is offered each converted panorama with the progress text.
TEST_F(ConversionFixture, OptionsChangedDuringARunApplyFromTheNextFrame) {
  Open(24, false);
  for (const int route : {0, 2}) {
    settings.DSSETUP = route;
    settings.BRIGHTNESS_CH = 0;
    // The processor limit paces the frames (10 ms pauses), so the run outlasts a pump.
    settings.CPU_CH = 1;
    settings.CPU = 99;
    int pumps = 0;
    ui.onPump = [&] {
      if (++pumps == 3) {  // the user drags brightness to the top
        settings.BRIGHTNESS_CH = 1;
        settings.BRIGHTNESS = 255;
      }
    };
    ui.convertedFrames = 0;
    const fs::path frames = dir / ("frames " + std::to_string(route));
    fs::create_directories(frames);
    const ConversionOutcome outcome = Convert(dir / "unused.mp4", frames);
    ASSERT_EQ(outcome.status, ConversionStatus::FramesOnly) << route;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(frames)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 20u) << route;
    const double first = MeanLevel(files.front());
    const double last = MeanLevel(files.back());
    EXPECT_GT(last, first + 40) << route << ": the change never applied";
    EXPECT_GT(ui.convertedFrames, 0) << route;
    EXPECT_EQ(ui.lastConvertedWidth, outcome.geometry.W);
    EXPECT_NE(ui.lastConvertedText.find("Lens uses"), std::string::npos) << ui.lastConvertedText;
    Open(24, false);  // the run closed the movie
  }
}

}  // namespace
}  // namespace corvinex
