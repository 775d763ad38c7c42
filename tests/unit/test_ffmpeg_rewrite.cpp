#include <gtest/gtest.h>

#include <algorithm>

#include "convert/ffmpeg_rewrite.h"

namespace corvinex {
namespace {

using Args = std::vector<std::string>;

// The value following `option` in the rewritten arguments ("" when absent).
std::string ValueOf(const Args& args, const std::string& option) {
  auto it = std::find(args.begin(), args.end(), option);
  return it == args.end() || it + 1 == args.end() ? std::string() : *(it + 1);
}
bool Has(const Args& args, const std::string& token) {
  return std::find(args.begin(), args.end(), token) != args.end();
}

const Args kHead = {"-r", "25.00", "-i",   "/t/temp%06d.bmp", "-i", "/t/temp.wav", "-ac",
                    "2",  "-ar",   "44100"};

Args Export(Args tail) {
  Args a = kHead;
  a.insert(a.end(), tail.begin(), tail.end());
  return RewriteForFfmpeg(a);
}

TEST(FfmpegRewrite, PartitionFlagsBecomeTheX264List) {
  EXPECT_EQ(X264Partitions("-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8"), "none");
  EXPECT_EQ(X264Partitions("-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8"), "i4x4,p8x8");
  EXPECT_EQ(X264Partitions("+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8"), "i8x8,i4x4,p8x8,p4x4");
  EXPECT_EQ(X264Partitions(""), "none");
}

TEST(FfmpegRewrite, InputsAndOutputStayInPlaceAndStdinIsNeverRead) {
  Args out = Export(
      {"-t", "00:00:02.000", "-crf", "22", "-qscale", "15", "-f", "flv", "-y", "/o/-x $y.flv"});
  EXPECT_EQ(Args(out.begin(), out.begin() + 12),
            (Args{"ffmpeg", "-nostdin", "-r", "25.00", "-i", "/t/temp%06d.bmp", "-i", "/t/temp.wav",
                  "-ac", "2", "-ar", "44100"}));
  EXPECT_EQ(out.back(), "/o/-x $y.flv");
}

TEST(FfmpegRewrite, SameqAndQscaleBecomeEachEncodersQuality) {
  // x264: the default and the chosen quality as constant rate factors.
  Args mp4 = Export({"-r", "30", "-t", "1", "-sameq", "-qscale", "15", "-f", "mp4", "-y", "o.mp4"});
  EXPECT_FALSE(Has(mp4, "-sameq"));
  EXPECT_FALSE(Has(mp4, "-qscale"));
  EXPECT_EQ(ValueOf(mp4, "-crf"), "22");
  EXPECT_EQ(ValueOf(Export({"-qscale", "5", "-f", "mp4", "-y", "o.mp4"}), "-crf"), "15");
  EXPECT_EQ(ValueOf(Export({"-crf", "22", "-qscale", "15", "-f", "mov", "-y", "o.mov"}), "-crf"),
            "22");
  // Theora counts upwards: quality 1 (largest) is its 10, 21 its 0.
  EXPECT_EQ(ValueOf(Export({"-qscale", "1", "-f", "ogg", "-y", "o.ogg"}), "-q:v"), "10");
  EXPECT_EQ(ValueOf(Export({"-qscale", "21", "-f", "ogg", "-y", "o.ogv"}), "-q:v"), "0");
  // VP9: constant quality needs a zero bit rate.
  Args webm = Export({"-qscale", "5", "-f", "webm", "-y", "o.webm"});
  EXPECT_EQ(ValueOf(webm, "-crf"), "20");
  EXPECT_EQ(ValueOf(webm, "-b:v"), "0");
  // The movie conversion into AVI (FFmpeg's own MPEG-4 encoder).
  Args avi = RewriteForFfmpeg({"-i", "in.mov", "-sameq", "-ar", "44100", "-ac", "2", "-acodec",
                               "pcm_s16le", "-y", "copy.avi"});
  EXPECT_EQ(ValueOf(avi, "-q:v"), "2");
  EXPECT_FALSE(Has(avi, "-sameq"));
}

TEST(FfmpegRewrite, BitRateIsTheVideoBitRate) {
  Args flv = Export(
      {"-vcodec", "libx264", "-t", "1", "-b", "500k", "-crf", "22", "-f", "flv", "-y", "o.flv"});
  EXPECT_FALSE(Has(flv, "-b"));
  EXPECT_EQ(ValueOf(flv, "-b:v"), "500k");
  EXPECT_EQ(ValueOf(flv, "-maxrate"), "500k");  // caps the constant-quality stream
  Args webm = Export({"-b", "900k", "-qscale", "3", "-f", "webm", "-y", "o.webm"});
  EXPECT_EQ(ValueOf(webm, "-b:v"), "900k");
}

TEST(FfmpegRewrite, M4vIsWrittenAsAnAppleMp4WithSound) {
  Args m4v = Export({"-r", "30", "-qscale", "3", "-f", "m4v", "-y", "o.m4v"});
  EXPECT_EQ(ValueOf(m4v, "-f"), "ipod");
  EXPECT_FALSE(Has(m4v, "-an"));
}

TEST(FfmpegRewrite, X264TuningIsTranslatedOrDroppedForOtherEncoders) {
  Args tuning = {"-threads",    "0",
                 "-coder",      "0",
                 "-flags",      "+loop",
                 "-cmp",        "+chroma",
                 "-partitions", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8",
                 "-subq",       "3",
                 "-me_range",   "16",
                 "-g",          "250",
                 "-refs",       "4"};
  Args flv = tuning;
  flv.insert(flv.begin(), {"-vcodec", "libx264", "-acodec", "mp3"});
  flv.insert(flv.end(), {"-f", "flv", "-y", "o.flv"});
  Args x264 = Export(flv);
  EXPECT_EQ(ValueOf(x264, "-partitions"), "i4x4,p8x8");
  EXPECT_EQ(ValueOf(x264, "-coder"), "0");
  EXPECT_EQ(ValueOf(x264, "-acodec"), "libmp3lame");
  Args ogg = tuning;
  ogg.insert(ogg.end(), {"-f", "ogg", "-y", "o.ogv"});
  Args theora = Export(ogg);
  for (const char* gone :
       {"-coder", "-flags", "-cmp", "-partitions", "-subq", "-me_range", "-refs"})
    EXPECT_FALSE(Has(theora, gone)) << gone;
  EXPECT_EQ(ValueOf(theora, "-g"), "250");
  Args webm = tuning;
  webm.insert(webm.end(), {"-f", "webm", "-y", "o.webm"});
  EXPECT_EQ(ValueOf(Export(webm), "-deadline"), "realtime");  // "Fast" (-subq 3)
  EXPECT_EQ(ValueOf(Export(webm), "-cpu-used"), "6");
  EXPECT_EQ(ValueOf(Export({"-f", "webm", "-y", "o.webm"}), "-cpu-used"), "4");
  EXPECT_EQ(ValueOf(theora, "-threads"), "0");
}

TEST(FfmpegRewrite, PlayablePicturesAndAcceptedSampleRates) {
  Args mp4 = Export({"-r", "30", "-f", "mp4", "-y", "o.mp4"});
  EXPECT_EQ(ValueOf(mp4, "-pix_fmt"), "yuv420p");
  // Each output frame is the input frame on screen at its time.
  EXPECT_EQ(ValueOf(mp4, "-vf"), "fps=30:round=up,crop=trunc(iw/2)*2:trunc(ih/2)*2");
  EXPECT_EQ(ValueOf(mp4, "-fps_mode"), "cfr");
  for (auto [asked, used] :
       {std::pair{"44100", "48000"}, {"22050", "24000"}, {"11025", "12000"}, {"48000", "48000"}}) {
    Args webm =
        RewriteForFfmpeg({"-i", "a.bmp", "-i", "t.wav", "-ar", asked, "-f", "webm", "o.webm"});
    EXPECT_EQ(ValueOf(webm, "-ar"), used) << asked;
  }
  // Decoded frames are 24-bit pictures, turned and deinterlaced as the frame source
  // delivers them; the sound track gets no picture options.
  Args decode = RewriteForFfmpeg({"-i", "in.mov", "-y", "/t/temp%06d.bmp"});
  EXPECT_EQ(decode, (Args{"ffmpeg", "-nostdin", "-i", "in.mov", "-vf",
                          "bwdif=mode=send_frame:deint=interlaced", "-fps_mode", "passthrough",
                          "-y", "-pix_fmt", "bgr24", "/t/temp%06d.bmp"}));
  // With a rate the frames follow their timestamps at that constant rate.
  Args paced = RewriteForFfmpeg({"-i", "in.mov", "-r", "20.33", "-y", "/t/temp%06d.bmp"});
  EXPECT_EQ(ValueOf(paced, "-fps_mode"), "cfr");
  EXPECT_EQ(ValueOf(paced, "-r"), "20.33");
  Args sound = RewriteForFfmpeg({"-i", "in.mov", "-f", "wav", "-ar", "44100", "-ac", "2", "-acodec",
                                 "pcm_s16le", "-y", "/t/temp.wav"});
  EXPECT_EQ(sound, (Args{"ffmpeg", "-nostdin", "-i", "in.mov", "-f", "wav", "-ar", "44100", "-ac",
                         "2", "-acodec", "pcm_s16le", "-y", "/t/temp.wav"}));
}

TEST(FfmpegRewrite, ProbeIsPassedThrough) {
  EXPECT_EQ(RewriteForFfmpeg({"-i", "/m/-my movie.mp4"}),
            (Args{"ffmpeg", "-nostdin", "-i", "/m/-my movie.mp4"}));
}

}  // namespace
}  // namespace corvinex
