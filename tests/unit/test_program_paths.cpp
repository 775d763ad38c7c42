// Where an installed program keeps the settings, the log and TEMP: beside itself
// when it may write there, else in the user's data folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/program_paths.h"
#include "app/startup.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// /proc takes no new files even from root, so it stands for a read-only
// program folder whoever runs the tests.
const fs::path kReadOnlyFolder = "/proc";

TEST(UserDataFolder, FollowsXdgDataHomeThenHome) {
  EXPECT_EQ(UserDataFolder("/data/ü home", "/home/me"), fs::path("/data/ü home/corvinex"));
  EXPECT_EQ(UserDataFolder(nullptr, "/home/me"), fs::path("/home/me/.local/share/corvinex"));
  // A relative or empty XDG_DATA_HOME is ignored, as the XDG rules ask.
  EXPECT_EQ(UserDataFolder("relative", "/home/me"), fs::path("/home/me/.local/share/corvinex"));
  EXPECT_EQ(UserDataFolder("", "/home/me"), fs::path("/home/me/.local/share/corvinex"));
  EXPECT_TRUE(UserDataFolder(nullptr, nullptr).empty());
  EXPECT_TRUE(UserDataFolder("", "not/absolute").empty());
}

TEST(FolderIsWritable, TriesACreateAndLeavesNothingBehind) {
  test::TempDir dir("writable ü");
  EXPECT_TRUE(FolderIsWritable(dir.path()));
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_FALSE(FolderIsWritable(dir / "missing"));
  EXPECT_FALSE(FolderIsWritable(kReadOnlyFolder));
}

TEST(PathsForProgram, WritableProgramFolderKeepsEverythingBesideTheProgram) {
  test::TempDir program("program ü");
  test::TempDir data("data");
  const ProgramPaths paths = PathsForProgram(program.path(), data.path().c_str(), nullptr);
  const ProgramPaths beside = PathsForFolder(program.path());
  EXPECT_EQ(paths.settingsFile, beside.settingsFile);
  EXPECT_EQ(paths.logFile, beside.logFile);
  EXPECT_EQ(paths.defaultTemp, beside.defaultTemp);
  EXPECT_FALSE(KeepsDataElsewhere(paths));
  EXPECT_TRUE(fs::is_empty(data.path()));
}

TEST(PathsForProgram, ReadOnlyProgramFolderMovesUserFilesToTheDataFolder) {
  test::TempDir home("home ü");
  const fs::path xdg = home / "my data";
  const ProgramPaths paths = PathsForProgram(kReadOnlyFolder, xdg.c_str(), home.path().c_str());
  ASSERT_TRUE(KeepsDataElsewhere(paths));
  EXPECT_EQ(paths.settingsFile, xdg / "corvinex" / kSettingsFileName);
  EXPECT_EQ(paths.logFile, xdg / "corvinex" / "TLVPUB.log");
  EXPECT_EQ(paths.defaultTemp, xdg / "corvinex" / "TEMP");
  EXPECT_TRUE(fs::is_directory(xdg / "corvinex"));
  // What ships with the program is still found beside it.
  EXPECT_EQ(paths.programFolder, kReadOnlyFolder);
  EXPECT_EQ(paths.pluginFolder, kReadOnlyFolder / "PLUG-IN");

  // Without XDG_DATA_HOME the home folder's share folder is used.
  const ProgramPaths fromHome = PathsForProgram(kReadOnlyFolder, nullptr, home.path().c_str());
  EXPECT_EQ(fromHome.settingsFile.parent_path(), home / ".local/share/corvinex");

  // Nowhere to write at all: the old paths, so the usual messages say what failed.
  const ProgramPaths nowhere = PathsForProgram(kReadOnlyFolder, "/proc/corvinex", nullptr);
  EXPECT_FALSE(KeepsDataElsewhere(nowhere));
}

TEST(PathsForProgram, InstalledUnderUsrKeepsUserFilesOutEvenForRoot) {
  EXPECT_TRUE(IsSystemFolder("/usr/lib/corvinex"));
  EXPECT_TRUE(IsSystemFolder("/usr/local/lib/corvinex/"));
  EXPECT_TRUE(IsSystemFolder("/opt/../usr/lib/corvinex"));
  EXPECT_FALSE(IsSystemFolder("/usr/../home/me/corvinex"));
  EXPECT_FALSE(IsSystemFolder("/usrlocal/corvinex"));
  EXPECT_FALSE(IsSystemFolder("usr/lib/corvinex"));
  EXPECT_FALSE(IsSystemFolder("/home/me/usr/corvinex"));

  // /usr/lib is writable when the tests run as root; the answer must not depend on it.
  test::TempDir data("data ü");
  const ProgramPaths paths = PathsForProgram("/usr/lib/corvinex", data.path().c_str(), nullptr);
  ASSERT_TRUE(KeepsDataElsewhere(paths));
  EXPECT_EQ(paths.defaultTemp, data / "corvinex" / "TEMP");
  EXPECT_EQ(paths.pluginFolder, fs::path("/usr/lib/corvinex/PLUG-IN"));
}

TEST(PathsForProgram, SettingsSavedFromAReadOnlyInstallAreReadNextTime) {
  test::TempDir data("data ü");
  const ProgramPaths paths = PathsForProgram(kReadOnlyFolder, data.path().c_str(), nullptr);
  {
    ProgramState state(paths);
    RunStartup(state, {.currentDirectory = data.path(), .now = {}, .shortenedForm = false});
    // The default temporary folder exists and the log is written.
    EXPECT_EQ(state.settings.APATH, (data / "corvinex" / "TEMP").string());
    EXPECT_TRUE(fs::is_directory(state.settings.APATH));
    EXPECT_GT(fs::file_size(paths.logFile), 0u);
    state.settings.SHARPEN = 4;  // within the slider's range, which start-up keeps to
    ASSERT_TRUE(WriteSettings(paths.settingsFile, state.settings));
  }
  ProgramState next(PathsForProgram(kReadOnlyFolder, data.path().c_str(), nullptr));
  RunStartup(next, {.currentDirectory = data.path(), .now = {}, .shortenedForm = false});
  EXPECT_EQ(next.settings.SHARPEN, 4);
}

}  // namespace
}  // namespace corvinex
