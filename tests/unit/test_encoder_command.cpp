#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "convert/encoder_command.h"
#include "convert/ffmpeg_rewrite.h"
#include "convert/hardware_probe.h"
#include "settings/diagnostic_log.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const fs::path kTool = "/opt/corvinex/PLUG-IN/ffmpeg_III";
const fs::path kTemp = "/tmp/work";

ExportSettings Flv25() {
  ExportSettings s;
  s.output = "/out/movie.FLV";
  s.pictureWidth = 1998;
  s.pictureHeight = 1000;
  s.timePerFrame = 400000;
  s.durationText = "00:00:02.000";
  s.soundAvailable = true;
  return s;
}

TEST(EncoderCommand, ToolLivesInThePluginFolder) {
  EXPECT_EQ(EncoderToolPath("/opt/corvinex"), kTool);
}

TEST(EncoderCommand, FlvAtDefaultQualityInTheDocumentedOrder) {
  EXPECT_EQ(ExportCommand(kTool, kTemp, Flv25()).LogText(),
            "\"/opt/corvinex/PLUG-IN/ffmpeg_III\"  -r 25.00 -i \"/tmp/work/temp%06d.bmp\" "
            "-i \"/tmp/work/temp.wav\" -ac 2  -ar 44100  -vcodec libx264 -acodec mp3  "
            "-t 00:00:02.000 -crf 22 -qscale 15 -f flv  -y \"/out/movie.FLV\"");
}

TEST(EncoderCommand, EveryExtensionAtDefaultAndChosenQuality) {
  struct Row {
    const char* ext;
    const char* video;
    const char* qualityDefault;
    const char* quality5;
  };
  const Row rows[] = {
      {".flv", " -vcodec libx264 -acodec mp3 ", " -crf 22 -qscale 15 -f flv ", " -crf 15 -f flv "},
      {".mov", " -vcodec libx264 -acodec mp3 ", " -crf 22 -qscale 15 -f mov ", " -crf 15 -f mov "},
      {".avi", " -vcodec libx264 -acodec pcm_s16le ", " -crf 22 -qscale 15 -f avi ",
       " -crf 15 -f avi "},
      {".mp4", " -r 30 ", " -sameq -qscale 15 -f mp4 ", " -qscale 5 -f mp4 "},
      {".m4v", " -r 30 ", " -sameq -qscale 15 -f m4v ", " -qscale 5 -f m4v "},
      {".ogg", " -r 30 ", " -sameq -qscale 15 -f ogg ", " -qscale 5 -f ogg "},
      {".ogv", " -r 30 ", " -sameq -qscale 15 -f ogg ", " -qscale 5 -f ogg "},
      {".webm", " -r 30 ", " -sameq -qscale 15 -f webm ", " -qscale 5 -f webm "},
  };
  for (const auto& row : rows) {
    ExportSettings s = Flv25();
    s.output = std::string("/out/m") + row.ext;
    s.soundAvailable = false;
    std::string head =
        "\"/opt/corvinex/PLUG-IN/ffmpeg_III\"  -r 25.00 -i \"/tmp/work/temp%06d.bmp\"  ";
    std::string tail = " -y \"/out/m" + std::string(row.ext) + "\"";
    EXPECT_EQ(ExportCommand(kTool, kTemp, s).LogText(),
              head + row.video + " -t 00:00:02.000" + row.qualityDefault + tail)
        << row.ext;
    s.quality = QualityFromText("5:");
    EXPECT_EQ(ExportCommand(kTool, kTemp, s).LogText(),
              head + row.video + " -t 00:00:02.000" + row.quality5 + tail)
        << row.ext;
  }
}

TEST(EncoderCommand, UnknownExtensionBuildsNothing) {
  for (const char* name : {"/out/movie.mxf", "/out/movie", "/out/movie.flv.txt"}) {
    ExportSettings s = Flv25();
    s.output = name;
    CommandLine c = ExportCommand(kTool, kTemp, s);
    EXPECT_TRUE(c.empty()) << name;
    EXPECT_EQ(c.LogText(), "");
    EXPECT_TRUE(c.Argv().empty());
  }
}

TEST(EncoderCommand, QualityTextIsItsLeadingDigits) {
  EXPECT_EQ(QualityFromText("Default"), 0);
  EXPECT_EQ(QualityFromText("1:Max size"), 1);
  EXPECT_EQ(QualityFromText("2:"), 2);
  EXPECT_EQ(QualityFromText("21:Min size"), 21);
  EXPECT_EQ(QualityFromText(""), 0);
  EXPECT_EQ(QualityFromText("99999999999999"), INT32_MAX);
  ExportSettings s = Flv25();
  s.quality = 21;
  EXPECT_NE(ExportCommand(kTool, kTemp, s).LogText().find(" -crf 31 -f flv "), std::string::npos);
}

TEST(EncoderCommand, RatePieceFormatsTwoDecimalsAndFallsBackTo30) {
  EXPECT_EQ(RatePiece(0), " -r 30 ");
  EXPECT_EQ(RatePiece(-5), " -r 30 ");
  EXPECT_EQ(RatePiece(400000), " -r 25.00 ");
  EXPECT_EQ(RatePiece(333667), " -r 29.97 ");
  EXPECT_EQ(RatePiece(2000000), " -r 05.00 ");
  EXPECT_EQ(RatePiece(83333), " -r 120.00 ");
}

TEST(EncoderCommand, AudioOptionsFollowTheSoundTrack) {
  ExportSettings s = Flv25();
  auto audioOf = [&](ExportSettings v) {
    std::string text = ExportCommand(kTool, kTemp, v).LogText();
    size_t begin = text.find("temp.wav\"");
    size_t end = text.find("-vcodec");
    if (v.output.extension() != ".FLV") end = text.find(" -r 30 ");
    return begin == std::string::npos ? std::string("none")
                                      : text.substr(begin + 9, end - begin - 9);
  };
  EXPECT_EQ(audioOf(s), " -ac 2  -ar 44100  ");
  s.channels = 1;
  s.audioRate = 1;  // 48000 Hz is not possible in FLV
  EXPECT_EQ(audioOf(s), " -ac 1  -ar 44100  ");
  s.output = "/out/movie.mp4";
  EXPECT_EQ(audioOf(s), " -ac 1  -ar 48000 ");
  s.audioRate = 2;
  EXPECT_EQ(audioOf(s), " -ac 1  -ar 44100 ");
  s.audioRate = 3;
  EXPECT_EQ(audioOf(s), " -ac 1  -ar 22050 ");
  s.audioRate = 4;
  EXPECT_EQ(audioOf(s), " -ac 1  -ar 11025 ");
  s.soundAvailable = false;
  std::string text = ExportCommand(kTool, kTemp, s).LogText();
  EXPECT_EQ(audioOf(s), "none");
  EXPECT_NE(text.find("temp%06d.bmp\"   -r 30 "), std::string::npos) << text;
  EXPECT_EQ(text.find("-ac"), std::string::npos);
  EXPECT_EQ(text.find("-ar"), std::string::npos);
}

TEST(EncoderCommand, SoundTrackIsUsableOnlyWhenPresentAndNotEmpty) {
  test::TempDir dir;
  EXPECT_FALSE(SoundTrackUsable(dir.path()));
  test::WriteFileBytes(dir / "temp.wav", "");
  EXPECT_FALSE(SoundTrackUsable(dir.path()));
  test::WriteFileBytes(dir / "temp.wav", "RIFF");
  EXPECT_TRUE(SoundTrackUsable(dir.path()));
}

std::string TailOf(const ExportSettings& s) {
  std::string text = ExportCommand(kTool, kTemp, s).LogText();
  size_t begin = text.find(" -t ");
  size_t end = text.find(" -crf ");
  return text.substr(begin, end - begin);
}

TEST(EncoderCommand, BitRateTable) {
  const char* rates[] = {"500k",  "700k",  "900k",  "1200k", "1500k",
                         "2000k", "3000k", "4000k", "5000k"};
  ExportSettings s = Flv25();
  for (int i = 1; i <= 9; ++i) {
    s.bitRate = i;
    EXPECT_EQ(TailOf(s), std::string(" -t 00:00:02.000 -b ") + rates[i - 1] + " ");
  }
  s.bitRate = 10;  // an odd settings file: treated as automatic
  EXPECT_EQ(TailOf(s), " -t 00:00:02.000");
}

TEST(EncoderCommand, CodecModeStrings) {
  const std::string g =
      " -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 "
      "-qmax 51 -qdiff 4 ";
  const std::string max =
      " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
      "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 8 ";
  const std::string modes[] = {
      " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
      "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8  -subq 0 -me_range 16 " +
          g,
      " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
      "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16 " +
          g,
      " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
      "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 5 -me_range 16 " +
          g,
      max + " -me_range 16" + g + "-refs 16 ",
      max + " -me_range 16" + g + "-refs 4 ",
  };
  ExportSettings s = Flv25();
  s.bitRate = 4;
  for (int mode = 1; mode <= 5; ++mode) {
    s.codecMode = mode;
    EXPECT_EQ(TailOf(s), " -t 00:00:02.000 -b 1200k " + modes[mode - 1]) << mode;
  }
}

TEST(EncoderCommand, ResizeKeepsTheProportionsAtEvenSizes) {
  ExportSettings s = Flv25();
  s.resize = 5;
  // Half of 1998 x 1000 is 999 x 500: the odd side goes up to the next even number.
  EXPECT_EQ(TailOf(s), " -t 00:00:02.000 -s 1000x500 ");
  s.pictureWidth = 1600;
  s.pictureHeight = 800;
  const char* sizes[] = {" -s 1440x720 ", " -s 1280x640 ", " -s 1120x560 ", " -s 960x480 ",
                         " -s 800x400 "};
  for (int r = 1; r <= 5; ++r) {
    s.resize = r;
    EXPECT_EQ(TailOf(s), std::string(" -t 00:00:02.000") + sizes[r - 1]) << r;
  }
  // The size the batch summary reports is the one on the command line.
  EXPECT_EQ(ExportPictureSize(1, 1600, 800).width, 1440);
  EXPECT_EQ(ExportPictureSize(1, 1600, 800).height, 720);
  EXPECT_EQ(ExportPictureSize(0, 1601, 803).width, 1601);
  s.codecMode = 1;
  s.bitRate = 1;
  s.resize = 1;
  std::string tail = TailOf(s);
  EXPECT_EQ(tail.rfind(" -t 00:00:02.000 -b 500k  -threads 0", 0), 0u) << tail;
  EXPECT_EQ(tail.substr(tail.size() - 14), "  -s 1440x720 ");
}

TEST(EncoderCommand, ResizedSidesAreEvenNearTheFactorAndNeverVanish) {
  // A small panorama lost a fifth of its height to blocks of 16 (406 x 120 became 192 x 48).
  EXPECT_EQ(ExportPictureSize(5, 406, 120).width, 204);
  EXPECT_EQ(ExportPictureSize(5, 406, 120).height, 60);
  EXPECT_EQ(ExportPictureSize(3, 494, 158).width, 346);   // 345.8
  EXPECT_EQ(ExportPictureSize(3, 494, 158).height, 110);  // 110.6
  EXPECT_EQ(ExportPictureSize(5, 3, 1).width, 2);
  EXPECT_EQ(ExportPictureSize(5, 3, 1).height, 2);
  for (int32_t resize = 1; resize <= 5; ++resize) {
    const double factor = 1.0 - 0.1 * resize;
    for (int32_t side : {2, 17, 99, 120, 406, 1080, 1921, 5760, 32767}) {
      const int32_t got = ExportPictureSize(resize, side, side).width;
      EXPECT_EQ(got % 2, 0) << resize << " " << side;
      EXPECT_GE(got, 2);
      EXPECT_LE(std::abs(got - factor * side), 1.0 + 1e-9) << resize << " " << side;
    }
  }
}

TEST(EncoderCommand, ChildCommandsText) {
  fs::path movie = "/m/my movie.avi";
  EXPECT_EQ(SoundExtractionCommand(kTool, movie, kTemp).LogText(),
            "/opt/corvinex/PLUG-IN/ffmpeg_III -i \"/m/my movie.avi\" -af "
            "aresample=async=1:first_pts=0 -f wav -ar 44100 -ac 2 "
            "-acodec pcm_s16le -y \"/tmp/work/temp.wav\"");
  EXPECT_EQ(FrameDecodingCommand(kTool, movie, kTemp).LogText(),
            "/opt/corvinex/PLUG-IN/ffmpeg_III  -i \"/m/my movie.avi\" -y "
            "\"/tmp/work/temp%06d.bmp\"");
  // At the run's rate, as the export plays the frames.
  EXPECT_EQ(FrameDecodingCommand(kTool, movie, kTemp, 491803).LogText(),
            "/opt/corvinex/PLUG-IN/ffmpeg_III  -i \"/m/my movie.avi\" -r 20.33  -y "
            "\"/tmp/work/temp%06d.bmp\"");
  EXPECT_EQ(MovieConversionCommand(kTool, movie, "/o/copy.avi").LogText(),
            "/opt/corvinex/PLUG-IN/ffmpeg_III -i \"/m/my movie.avi\" -sameq -ar 44100 -ac 2 "
            "-acodec pcm_s16le -y \"/o/copy.avi\"");
}

TEST(EncoderCommand, NamesTheToolWouldMisreadBecomeFileAddresses) {
  EXPECT_EQ(MediaPath("out:take.mp4"), "file:out:take.mp4");  // not a protocol
  EXPECT_EQ(MediaPath("-y.mp4"), "file:-y.mp4");              // not an option
  EXPECT_EQ(MediaPath("/films/a:b/take.mp4"), "/films/a:b/take.mp4");
  EXPECT_EQ(MediaPath("take é.mp4"), "take é.mp4");
}

TEST(EncoderCommand, ArgvKeepsEveryPathOneArgument) {
  const std::string folder = "/tmp/-odd $HOME; \"q\" Żółw";
  const fs::path tool = folder + "/PLUG-IN/ffmpeg_III";
  const fs::path movie = "-i rm -rf ; `x` $(y).avi";
  const fs::path temp = folder + "/TEMP";
  // A name that begins with '-' reaches the tool as a file address, never an option.
  const std::string given = "file:" + movie.string();
  EXPECT_EQ(SoundExtractionCommand(tool, movie, temp).Argv(),
            (Args{tool, "-i", given, "-af", "aresample=async=1:first_pts=0", "-f", "wav", "-ar",
                  "44100", "-ac", "2", "-acodec", "pcm_s16le", "-y", temp.string() + "/temp.wav"}));
  EXPECT_EQ(FrameDecodingCommand(tool, movie, temp).Argv(),
            (Args{tool, "-i", given, "-y", temp.string() + "/temp%06d.bmp"}));
  EXPECT_EQ(MovieConversionCommand(tool, movie, folder + "/out.avi").Argv(),
            (Args{tool, "-i", given, "-sameq", "-ar", "44100", "-ac", "2", "-acodec", "pcm_s16le",
                  "-y", folder + "/out.avi"}));

  ExportSettings s = Flv25();
  s.output = folder + "/ - out.webm";
  s.quality = 3;
  s.resize = 5;
  s.bitRate = 1;
  s.channels = 1;
  EXPECT_EQ(ExportCommand(tool, temp, s).Argv(), (Args{tool,
                                                       "-r",
                                                       "25.00",
                                                       "-i",
                                                       temp.string() + "/temp%06d.bmp",
                                                       "-i",
                                                       temp.string() + "/temp.wav",
                                                       "-ac",
                                                       "1",
                                                       "-ar",
                                                       "44100",
                                                       "-r",
                                                       "30",
                                                       "-t",
                                                       "00:00:02.000",
                                                       "-b",
                                                       "500k",
                                                       "-s",
                                                       "1000x500",
                                                       "-qscale",
                                                       "3",
                                                       "-f",
                                                       "webm",
                                                       "-y",
                                                       folder + "/ - out.webm"}));
}

TEST(EncoderCommand, UnknownDurationLeavesTheLimitOut) {
  ExportSettings s = Flv25();
  s.durationText.clear();
  Args argv = ExportCommand(kTool, kTemp, s).Argv();
  EXPECT_EQ(std::count(argv.begin(), argv.end(), "-t"), 0);
  EXPECT_EQ(argv.back(), "/out/movie.FLV");
}

// The one-pass export: raw frames on standard input, the sound from the movie, and
// the spooled export's output side, read by the adapter as meant.
TEST(EncoderCommand, OnePassReadsThePipeAndTheMovieAndKeepsTheExportsOutputSide) {
  ExportSettings s = Flv25();
  s.output = "/out/movie.mp4";
  s.quality = 5;
  s.codecMode = 1;
  s.resize = 2;
  s.channels = 1;
  const std::string one = OnePassCommand(kTool, "/in/-take.mov", s).LogText();
  EXPECT_NE(
      one.find(
          " -f rawvideo -pix_fmt bgr0 -s 1998x1000  -r 25.00 -thread_queue_size 2 -i pipe:0 -i "
          "\"/in/-take.mov\" -map 0:v -map 1:a:0? "),
      std::string::npos)
      << one;
  // From the container's own pieces on, the same words as the spooled export's,
  // without the duration limit (the pipe's end ends the picture).
  s.soundAvailable = true;
  std::string spooled = ExportCommand(kTool, kTemp, s).LogText();
  spooled.replace(spooled.find(" -t 00:00:02.000"), 16, "");
  const std::string tail = spooled.substr(spooled.find(" -r 30 "));
  EXPECT_EQ(one.substr(one.size() - tail.size()), tail);
  EXPECT_NE(one.find(" -ac 1 "), std::string::npos);
  ExportSettings unknown = s;
  unknown.output = "/o/x.mxf";
  EXPECT_TRUE(OnePassCommand(kTool, "/in/take.mov", unknown).empty());

  const Args argv = OnePassCommand(kTool, "/in/-take.mov", s).Argv();
  EXPECT_EQ(std::count(argv.begin(), argv.end(), "/in/-take.mov"), 1);
  const Args rewritten = RewriteForFfmpeg(Args(argv.begin() + 1, argv.end()));
  auto at = std::find(rewritten.begin(), rewritten.end(), "-shortest");
  ASSERT_NE(at, rewritten.end());
  EXPECT_EQ(*(at + 1), "-ac") << "-shortest takes no value";
  EXPECT_EQ(std::count(rewritten.begin(), rewritten.end(), "-vf"), 1);
  EXPECT_EQ(rewritten.back(), "/out/movie.mp4");

  // Kept at its size, an odd picture goes as 4:2:0 of its even part (the encoder's cut);
  // resized, it goes as full colours for the encoder to scale, as above.
  s.resize = 0;
  s.pictureWidth = 1999;
  s.pictureHeight = 1001;
  EXPECT_TRUE(OnePassTakesYuv420(s));
  EXPECT_NE(OnePassCommand(kTool, "/in/take.mov", s)
                .LogText()
                .find(" -f rawvideo -pix_fmt yuv420p -s 1998x1000  -r 25.00 -thread_queue_size 2 "
                      "-i pipe:0 "),
            std::string::npos);
  s.resize = 2;
  EXPECT_FALSE(OnePassTakesYuv420(s));
}

// A chosen codec replaces the container's codecs and quality with the encoder's own;
// the rest of the command stays the container's.
TEST(EncoderCommand, ChosenCodecsUseTheirEncodersScaleAndTag) {
  struct Row {
    const char* output;
    Codec codec;
    const char* piece;
  };
  const Row rows[] = {
      {"/o/a.mp4", Codec::H265,
       " -r 30 -vcodec libx265 -acodec aac -tag:v hvc1  -t 00:00:02.000 -preset fast  -crf 27 "
       "-f mp4  -y "},
      {"/o/a.MOV", Codec::H265,
       " -vcodec libx265 -acodec aac -tag:v hvc1  -t 00:00:02.000 -preset fast  -crf 27 -f mov "},
      {"/o/a.mkv", Codec::H265, " -vcodec libx265 -acodec aac  -t 00:00:02.000"},
      {"/o/a.webm", Codec::AV1,
       " -r 30 -vcodec libsvtav1 -acodec libopus  -t 00:00:02.000 "
       "-preset 8  -crf 35 -f webm "},
      {"/o/a.mkv", Codec::Default,
       " -vcodec libx264 -acodec aac  -t 00:00:02.000 -crf 22 -qscale 15 -f matroska "},
      // The container's own codec keeps its long-standing command.
      {"/o/a.mp4", Codec::H264, " -r 30  -t 00:00:02.000 -sameq -qscale 15 -f mp4 "},
      {"/o/a.webm", Codec::VP9, " -r 30  -t 00:00:02.000 -sameq -qscale 15 -f webm "},
  };
  for (const Row& row : rows) {
    ExportSettings s = Flv25();
    s.output = row.output;
    s.codec = row.codec;
    const std::string text = ExportCommand(kTool, kTemp, s).LogText();
    EXPECT_NE(text.find(row.piece), std::string::npos) << text;
    EXPECT_EQ(OnePassCommand(kTool, "/in/t.mov", s).empty(), false) << row.output;
  }
  // The quality list runs 1 (best) .. 21 on every scale, and a bit rate caps it.
  ExportSettings s = Flv25();
  s.output = "/o/a.mkv";
  s.codec = Codec::AV1;
  s.quality = 1;
  s.bitRate = 3;
  s.codecMode = 1;
  std::string text = ExportCommand(kTool, kTemp, s).LogText();
  EXPECT_NE(text.find(" -maxrate 900k -bufsize 900k  -preset 12  -crf 13 "), std::string::npos)
      << text;
  s.quality = 21;
  s.codec = Codec::H265;
  text = ExportCommand(kTool, kTemp, s).LogText();
  EXPECT_NE(text.find(" -crf 36 "), std::string::npos) << text;
  EXPECT_EQ(text.find(" -b "), std::string::npos) << "x265 would take a bare rate for ABR";
  // A codec the container cannot hold falls back to nothing chosen here; the run
  // refuses it before it starts.
  s.output = "/o/a.avi";
  EXPECT_EQ(ExportCommand(kTool, kTemp, s).LogText().find("x265"), std::string::npos);
  EXPECT_EQ(CodecRefusal(".avi", Codec::H265),
            "A .avi movie cannot hold H.265: choose one of .mp4 .mov .mkv for it.");
  EXPECT_EQ(CodecRefusal(".webm", Codec::AV1), "");
  // The batch tool refuses a bit rate only where nothing takes it.
  EXPECT_TRUE(ExportHonoursBitRate("/o/a.mkv", Codec::H265));
  EXPECT_TRUE(ExportHonoursBitRate("/o/a.webm", Codec::AV1));
  EXPECT_FALSE(ExportHonoursBitRate("/o/a.mkv", Codec::Default));
  EXPECT_FALSE(ExportHonoursBitRate("/o/a.mov", Codec::H264));
  EXPECT_TRUE(ExportHonoursBitRate("/o/a.mp4", Codec::H264));
  EXPECT_EQ(CodecRefusal(".mp4", Codec::VP9),
            "A .mp4 movie cannot hold VP9: choose one of .webm for it.");
}

// The adapter gives each encoder the options it understands: x265 and SVT-AV1 keep
// their own CRF, VA-API gets its frames uploaded, Quick Sync NV12.
TEST(EncoderCommand, NewEncodersReachTheToolAsMeant) {
  ExportSettings s = Flv25();
  s.output = "/o/a.mp4";
  s.codec = Codec::H265;
  Args argv = ExportCommand(kTool, kTemp, s).Argv();
  Args ff = RewriteForFfmpeg(Args(argv.begin() + 1, argv.end()));
  auto crf = std::find(ff.begin(), ff.end(), "-crf");
  ASSERT_NE(crf, ff.end());
  EXPECT_EQ(*(crf + 1), "27");
  EXPECT_NE(std::find(ff.begin(), ff.end(), "hvc1"), ff.end());

  s.encoder = "hevc_vaapi";
  s.timePerFrame = 400000;
  argv = OnePassCommand(kTool, "/in/t.mov", s).Argv();
  ASSERT_GE(argv.size(), 3u);
  EXPECT_EQ(argv[1], "-vaapi_device") << "the device comes before the inputs";
  ff = RewriteForFfmpeg(Args(argv.begin() + 1, argv.end()));
  auto vf = std::find(ff.begin(), ff.end(), "-vf");
  ASSERT_NE(vf, ff.end());
  EXPECT_EQ(*(vf + 1), "fps=30:round=up,crop=trunc(iw/2)*2:trunc(ih/2)*2,format=nv12,hwupload");
  EXPECT_EQ(std::count(ff.begin(), ff.end(), "yuv420p"), 1) << "the pipe's format only";
  auto qp = std::find(ff.begin(), ff.end(), "-qp");
  ASSERT_NE(qp, ff.end());
  EXPECT_EQ(*(qp + 1), "27");

  s.encoder = "av1_qsv";  // not an H.265 encoder: software
  EXPECT_NE(ExportCommand(kTool, kTemp, s).LogText().find("libx265"), std::string::npos);
  s.codec = Codec::AV1;
  argv = ExportCommand(kTool, kTemp, s).Argv();
  ff = RewriteForFfmpeg(Args(argv.begin() + 1, argv.end()));
  auto pix = std::find(ff.begin(), ff.end(), "-pix_fmt");
  ASSERT_NE(pix, ff.end());
  EXPECT_EQ(*(pix + 1), "nv12");
  EXPECT_EQ(ExportEncoderName(s), "av1_qsv");
}

// Tags reach the tool as one argument each, whatever their text; rotation is never
// among them.
TEST(EncoderCommand, MovieTagsAreOneArgumentEach) {
  ExportSettings s = Flv25();
  s.output = "/o/a.mkv";
  s.tags.container = {{"title", "A \"quoted\" -title; $HOME"}, {"location", "+48.85+002.29/"}};
  s.tags.soundLanguage = "fra";
  const Args argv = ExportCommand(kTool, kTemp, s).Argv();
  auto title = std::find(argv.begin(), argv.end(), "title=A \"quoted\" -title; $HOME");
  ASSERT_NE(title, argv.end());
  EXPECT_EQ(*(title - 1), "-metadata");
  auto language = std::find(argv.begin(), argv.end(), "language=fra");
  ASSERT_NE(language, argv.end());
  EXPECT_EQ(*(language - 1), "-metadata:s:a:0");
  const Args ff = RewriteForFfmpeg(Args(argv.begin() + 1, argv.end()));
  EXPECT_NE(std::find(ff.begin(), ff.end(), "location=+48.85+002.29/"), ff.end());
  EXPECT_EQ(ff.back(), "/o/a.mkv");
}

TEST(HardwareEncoders, OnlyListedTableRowsAreProbedAndChoicesRoundTrip) {
  const std::string list =
      "Encoders:\n"
      " V..... = Video\n"
      " ------\n"
      " V....D libx265              libx265 H.265 / HEVC (codec hevc)\n"
      " V....D h264_vaapi           H.264/AVC (VAAPI) (codec h264)\n"
      " A....D aac                  AAC (Advanced Audio Coding)\n"
      " V....D av1_nvenc            NVIDIA NVENC av1 encoder (codec av1)\n"
      " V....D h264_v4l2m2m         V4L2 mem2mem H.264 encoder wrapper (codec h264)\n";
  EXPECT_EQ(ListedHardwareEncoders(list), (std::vector<std::string>{"h264_vaapi", "av1_nvenc"}));
  EXPECT_TRUE(ListedHardwareEncoders("").empty());
  for (const EncoderRow& row : EncoderRows()) {
    if (row.device == Device::None) {
      EXPECT_EQ(EncoderChoiceOfName(row.name), -1) << row.name;
      continue;
    }
    EXPECT_EQ(EncoderChoiceWord(EncoderChoiceOfName(row.name)), row.name);
    EXPECT_LE(EncoderChoiceOfName(row.name), 14) << "beyond the kept choice's range";
  }
  EXPECT_EQ(EncoderChoiceOfName("auto"), kEncoderAuto);
  EXPECT_EQ(EncoderChoiceWord(kEncoderSoftware), "software");
  EXPECT_EQ(EncoderChoiceWord(99), "auto");
  const Args probe = HardwareProbeCommand("/t/ffmpeg_III", *FindEncoder("hevc_vaapi")).Argv();
  const Args rewritten = RewriteForFfmpeg(Args(probe.begin() + 1, probe.end()));
  EXPECT_EQ(rewritten.back(), "-");
  EXPECT_NE(std::find(rewritten.begin(), rewritten.end(), "format=nv12,hwupload"), rewritten.end());
  EXPECT_EQ(std::find(rewritten.begin(), rewritten.end(), "yuv420p"), rewritten.end());
}

// The window starts the probe in the background; the conversion then takes its result.
// The stand-in tool lists two encoders, passes one, and notes each call and whether
// the test's gate was open when it was listed: a probe that ran on the caller's thread
// would find it shut.
TEST(HardwareEncoders, ProbeStartedInTheBackgroundRunsOnceAndServesEveryRun) {
  test::TempDir dir("probe ü");
  const fs::path tool = dir / "stand-in tool";
  const fs::path calls = dir / "calls";
  const fs::path gate = dir / "gate";
  test::WriteFileBytes(tool,
                       "#!/bin/sh\n"
                       "case \"$*\" in\n"
                       "  *-encoders*)\n"
                       "    n=0; while [ ! -e '" +
                           gate.string() +
                           "' ] && [ $n -lt 100 ]; do\n"
                           "      sleep 0.1; n=$((n+1)); done\n"
                           "    if [ -e '" +
                           gate.string() +
                           "' ]; then s=open; else s=shut; fi\n"
                           "    echo \"list $s\" >> '" +
                           calls.string() +
                           "'\n"
                           "    echo ' V....D h264_vaapi  H.264/AVC (VAAPI) (codec h264)'\n"
                           "    echo ' V....D hevc_nvenc  NVIDIA NVENC hevc encoder (codec hevc)'\n"
                           "    exit 0;;\n"
                           "  *h264_vaapi*) echo 'try h264_vaapi' >> '" +
                           calls.string() +
                           "'; exit 0;;\n"
                           "  *) echo 'try other' >> '" +
                           calls.string() +
                           "';\n"
                           "     echo 'Cannot load libcuda.so.1'; exit 1;;\n"
                           "esac\n");
  fs::permissions(tool, fs::perms::owner_all);
  StartHardwareProbe(tool);
  StartHardwareProbe(tool);  // a second start is the same probe
  test::WriteFileBytes(gate, "");
  DiagnosticLog log(dir / "run.log");
  std::vector<EncoderDecision> decisions(3);
  {
    std::vector<std::thread> runs;
    for (EncoderDecision& d : decisions) {
      runs.emplace_back([&] { d = DecideEncoder(tool, Codec::H264, kEncoderAuto, log); });
    }
    for (std::thread& t : runs) t.join();
  }
  EXPECT_TRUE(HardwareProbed(tool));
  EXPECT_EQ(test::ReadFileBytes(calls), "list open\ntry h264_vaapi\ntry other\n");
  for (const EncoderDecision& d : decisions) EXPECT_EQ(d.hardware, "h264_vaapi") << d.reason;
  EXPECT_EQ(ProbeHardwareEncoders(tool, log).working, (std::vector<std::string>{"h264_vaapi"}));
  // Each encoder's result is logged once, by the first run that took the probe.
  const std::string logged = test::ReadFileBytes(dir / "run.log");
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 2) << logged;
  EXPECT_NE(logged.find("hevc_nvenc: test encode failed (Cannot load libcuda.so.1)"),
            std::string::npos)
      << logged;
  // A codec for which nothing passed: software, said as found before.
  EXPECT_TRUE(DecideEncoder(tool, Codec::H265, kEncoderAuto, log).hardware.empty());
  EXPECT_FALSE(WantsHardwareProbe(0, kEncoderAuto));
  EXPECT_FALSE(WantsHardwareProbe(2, kEncoderSoftware));
  EXPECT_TRUE(WantsHardwareProbe(2, EncoderChoiceOfName("hevc_nvenc")));
}

TEST(CommandLine, AdjacentPiecesJoinAndEmptyQuotedValuesSurvive) {
  CommandLine c;
  c.Text("-a").Quoted("b c").Text("d  e ").Quoted("").Bare("x y").Text(" ").Quoted("z");
  EXPECT_EQ(c.LogText(), "-a\"b c\"d  e \"\"x y \"z\"");
  EXPECT_EQ(c.Argv(), (Args{"-ab cd", "e", "x y", "z"}));
  CommandLine empty;
  empty.Text("  ").Quoted("");
  EXPECT_EQ(empty.Argv(), (Args{""}));
}

}  // namespace
}  // namespace corvinex

namespace corvinex {
namespace {

// The encoder's statistics come as "\r"-separated updates; the newest count wins,
// and a report without one (or with a garbled one) gives none.
TEST(EncoderProgress, LastFrameCountOfTheReport) {
  EXPECT_EQ(LastEncodedFrame("Input #0 ...\nframe=   12 fps=0.0 q=28.0\rframe=  240 fps=48 q=28.0 "
                             "size=  512kB"),
            240);
  EXPECT_EQ(LastEncodedFrame("frame=7"), 7);
  EXPECT_EQ(LastEncodedFrame("Input #0, image2, from 'temp%06d.bmp':"), -1);
  EXPECT_EQ(LastEncodedFrame("frame=  "), -1);
  EXPECT_EQ(LastEncodedFrame("frame=99999999999999999999"), -1);
}

}  // namespace
}  // namespace corvinex
