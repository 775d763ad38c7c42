// Settings files full of garbage and Cut Areas far outside the frame, through the real
// batch tool: the run converts with what it could read or says why it cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "settings/settings_file.h"
#include "support/ffprobe.h"
#include "support/hostile_batch.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;
using test::ConvertedOrRefused;
using test::ExpectNothingLost;
using test::InputGuard;

struct HostileSettings : test::HostileBatchTest {
  fs::path movie;
  fs::path output;
  fs::path garbage;

  void SetUp() override {
    HostileBatchTest::SetUp();
    // Settings that name no temporary folder fall back to the program's own TEMP:
    // a copy, so the test can see what is left in it.
    program = CopyProgram("program");
    movie = Movie("take ü.mp4");
    output = dir / "panorama out.mp4";
    garbage = dir / "garbage settings.ini";
  }

  // Runs with `text` as the settings file; the temporary folder it ends up with,
  // `tempFolder`, must be left empty.
  test::ToolRun RunWith(const std::string& text, const fs::path& tempFolder,
                        std::vector<std::string> extra = {}) {
    test::WriteFileBytes(garbage, text);
    const InputGuard guard(movie);
    const std::string settingsBefore = test::ReadFileBytes(garbage);
    extra.insert(extra.begin(), {movie.string(), "-o", output.string()});
    const test::ToolRun run = RunWithSettings(garbage, extra, "garbage");
    ExpectNothingLost(run, tempFolder, guard);
    EXPECT_EQ(test::ReadFileBytes(garbage), settingsBefore) << "the settings file was rewritten";
    return run;
  }

  std::string GoodText() const { return SettingsFileText(GoodSettings()); }

  static std::string Replace(std::string text, const std::string& tag, const std::string& value) {
    const std::string open = "<" + tag + ">";
    const size_t start = text.find(open) + open.size();
    const size_t end = text.find("<", start);
    return text.replace(start, end - start, value);
  }
};

TEST_F(HostileSettings, RandomBytesFallBackToTheDefaults) {
  std::mt19937 random(20261207);
  std::string text(20000, '\0');
  for (char& c : text) c = static_cast<char>(random());
  const test::ToolRun run = RunWith(text, program / "TEMP");
  EXPECT_TRUE(ConvertedOrRefused(run, movie, output));
}

// A file that is no settings file at all (binary, or text without one value) would only
// reset the Cut Area: it is passed over, and the run says so and what it uses instead.
TEST_F(HostileSettings, AFileThatIsNoSettingsFileIsPassedOverWithAWarning) {
  const std::string binary = GoodText() + std::string(1, '\0');
  const std::string prose = "[General]\nX1=150\nno tags in here\n";
  for (const std::string& text : {binary, prose, std::string()}) {
    SCOPED_TRACE(text.size());
    fs::remove(output);
    const test::ToolRun run = RunWith(text, program / "TEMP");
    EXPECT_TRUE(ConvertedOrRefused(run, movie, output));
    EXPECT_NE(run.err.find("warning: " + garbage.string() +
                           " is not a settings file; the "
                           "default settings are used instead"),
              std::string::npos)
        << run.err;
  }

  // With settings of the program's own beside it, those are used: their temporary folder.
  WriteGoodSettings(program / "tlvpub.ini");
  fs::remove(output);
  const test::ToolRun run = RunWith(prose, temp);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(
      run.err.find(garbage.string() + " is not a settings file; the program's own settings (" +
                   (program / "tlvpub.ini").string() + ") are used instead"),
      std::string::npos)
      << run.err;
  EXPECT_TRUE(test::ProbeFile(output).has_value());

  // The program's own file broken, none given: the defaults, said as much.
  test::WriteFileBytes(program / "tlvpub.ini", binary);
  fs::remove(output);
  const test::ToolRun own = RunWithSettings({}, {movie.string(), "-o", output.string()}, "own");
  EXPECT_TRUE(ConvertedOrRefused(own, movie, output));
  EXPECT_NE(own.err.find((program / "tlvpub.ini").string() +
                         " is not a settings file; the default settings are used instead"),
            std::string::npos)
      << own.err;

  // A file with only some values is a settings file: read as far as it goes, silently.
  fs::remove(output);
  const std::string good = GoodText();
  const test::ToolRun partial = RunWith(good.substr(0, good.find("<SHARPEN_CH>")), temp);
  EXPECT_EQ(partial.exitCode, 0) << partial.err;
  EXPECT_EQ(partial.err.find("warning"), std::string::npos) << partial.err;
}

// A log folder that cannot take the log: the run says so and where the log goes instead,
// and converts all the same.
TEST_F(HostileSettings, AnUnwritableLogFolderIsToldWithWhereTheLogGoes) {
  const fs::path notAFolder = dir / "log é.txt";
  test::WriteFileBytes(notAFolder, "a file, not a folder");
  for (const fs::path& folder : {notAFolder, notAFolder / "logs"}) {
    SCOPED_TRACE(folder);
    fs::remove(output);
    const test::ToolRun run = RunWith(GoodText(), temp, {"--log-folder", folder.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("warning: cannot write the log in " + folder.string()),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("; the log goes to " + program.string() + "/TLVPUB-batch-"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.log.find("Batch movie 1 of 1 done"), std::string::npos) << run.log;
    EXPECT_EQ(test::ReadFileBytes(notAFolder), "a file, not a folder");
  }
}

TEST_F(HostileSettings, NoFolderTakesTheLogAndTheRunSaysItHasNone) {
  if (!test::NamespacesWork()) GTEST_SKIP() << "no user and mount namespaces here";
  test::WriteFileBytes(garbage, GoodText());
  const fs::path notAFolder = dir / "log.txt";
  test::WriteFileBytes(notAFolder, "x");
  // A read-only program folder and no user data folder: the log has nowhere to go.
  const test::ToolRun run = RunUnshared(
      "P=\"$1\"; shift; mount --bind \"$P\" \"$P\" && mount -o remount,bind,ro \"$P\" || "
      "exit 97; XDG_DATA_HOME=/dev/null/data HOME=/dev/null exec \"$TOOL\" \"$@\"",
      {program.string(), "--settings", garbage.string(), movie.string(), "-o", output.string(),
       "--log-folder", notAFolder.string()},
      "no log");
  ASSERT_NE(run.exitCode, 97) << "no read-only bind mount: " << run.err;
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("warning: cannot write the log in " + notAFolder.string()),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("; this run has no log"), std::string::npos) << run.err;
  EXPECT_TRUE(test::ProbeFile(output).has_value());
}

TEST_F(HostileSettings, HugeNumbersInEveryTagConvertOrAreRefused) {
  std::string text = GoodText();
  for (const char* tag : {"SHARPEN_CH", "BRIGHTNESS_CH", "CONTRAST_CH", "CPU_CH", "NOISE_CH",
                          "ASPECT", "SHARPEN", "RADIUS", "BRIGHTNESS", "CONTRAST", "CPU", "NOISE",
                          "DSSETUP", "BITRATE", "CODECMODE", "AUTOSAVE", "STEREO_OUT_TYPE"}) {
    if (text.find(std::string("<") + tag + ">") == std::string::npos) continue;
    text = Replace(text, tag, "99999999999999999999");
  }
  text = Replace(text, "HSIZE", "1e39");
  EXPECT_TRUE(ConvertedOrRefused(RunWith(text, temp), movie, output));

  fs::remove(output);
  text = Replace(text, "HSIZE", "-1e39");
  for (const char* tag : {"SHARPEN", "RADIUS", "NOISE", "BRIGHTNESS", "CONTRAST"}) {
    text = Replace(text, tag, "-2147483648");
  }
  EXPECT_TRUE(ConvertedOrRefused(RunWith(text, temp), movie, output));
}

TEST_F(HostileSettings, MissingTagsKeepTheDefaults) {
  // Only the Cut Area: the reading stops at the first missing tag.
  const std::string text = GoodText();
  const test::ToolRun run = RunWith(text.substr(0, text.find("<SHARPEN_CH>")), program / "TEMP");
  EXPECT_TRUE(ConvertedOrRefused(run, movie, output));
  EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST_F(HostileSettings, NulBytesInsideTagsNeverReachAnotherFolder) {
  // A folder holding files of the user's, with a NUL after its name in the settings:
  // whatever the tool makes of it, those files stay.
  const fs::path precious = dir / "precious";
  fs::create_directories(precious);
  test::WriteFileBytes(precious / "holiday.bmp", "mine");
  test::WriteFileBytes(precious / "voice.wav", "mine too");
  std::string text = Replace(GoodText(), "APATH", precious.string() + std::string(1, '\0') + "x");
  text = Replace(text, "X1",
                 std::string("1\0"
                             "50",
                             4));
  const test::ToolRun run = RunWith(text, precious / "corvinex-batch-0");
  EXPECT_TRUE(ConvertedOrRefused(run, movie, output));
  EXPECT_EQ(test::FolderListing(precious), "holiday.bmp, voice.wav");
}

TEST_F(HostileSettings, CutAreaFarOutsideTheFrameConvertsOrIsRefused) {
  for (const std::string cut :
       {"-3000,-3000,-2000,-2000,10", "400,300,100,50,200", "10,10,10,10,10"}) {
    SCOPED_TRACE(cut);
    fs::remove(output);
    const test::ToolRun run = RunWith(GoodText(), temp, {"--cut", cut});
    EXPECT_TRUE(ConvertedOrRefused(run, movie, output));
  }
}

TEST_F(HostileSettings, CutAreaOutsideTheFrameInTheSettingsFile) {
  std::string text = GoodText();
  text = Replace(text, "X1", "2147483647");
  text = Replace(text, "Y1", "-2147483648");
  text = Replace(text, "X2", "-2147483648");
  text = Replace(text, "Y2", "2147483647");
  text = Replace(text, "RSIZE", "2147483647");
  EXPECT_TRUE(ConvertedOrRefused(RunWith(text, temp), movie, output));
}

}  // namespace
}  // namespace corvinex
