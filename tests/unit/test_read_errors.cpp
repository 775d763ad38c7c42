// Files that cannot be read as files (a folder in their place) and folder texts with
// a NUL inside: the readers report them instead of ending the program or handing on
// a path that the system reads differently.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/settings_file.h"
#include "settings/whole_file.h"
#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

TEST(ReadWholeFile, GivesTheBytesOrNothingNeverAnException) {
  test::TempDir dir;
  // Built by appending: GCC 12 at -O1 takes the inlined `string + string` for an
  // out-of-bounds copy (a false -Warray-bounds).
  std::string bytes("a\0b", 3);
  bytes.append(200000, 'x');
  test::WriteFileBytes(dir / "file.bin", bytes);
  EXPECT_EQ(ReadWholeFile(dir / "file.bin"), bytes);
  test::WriteFileBytes(dir / "empty", "");
  EXPECT_EQ(ReadWholeFile(dir / "empty"), std::string());
  EXPECT_EQ(ReadWholeFile(dir / "missing"), std::nullopt);
  // Opening a folder succeeds; reading it fails.
  EXPECT_EQ(ReadWholeFile(dir.path()), std::nullopt);
}

TEST(ReadWholeFile, SettingsFileThatIsAFolderIsNotOpened) {
  test::TempDir dir;
  fs::create_directory(dir / "tlvpub.ini");
  AppSettings settings;
  settings.X1 = 77;
  EXPECT_FALSE(ReadSettings(dir / "tlvpub.ini", settings).opened);
  EXPECT_EQ(settings.X1, 77);
}

TEST(SettingsFolders, EndAtANulInside) {
  AppSettings s;
  s.APATH = "/home/user/Movies";
  s.OPATH = "/media/disk";
  std::string text = SettingsFileText(s);
  text.insert(text.find("/Movies") + 7, std::string("\0/../../etc", 11));
  text.insert(text.find("<OPATH>") + 7, std::string(" \0 \0", 4));
  AppSettings read;
  ASSERT_TRUE(ParseSettings(text, read).complete);
  EXPECT_EQ(read.APATH, "/home/user/Movies");
  // Leading blanks and NULs are trimmed before the cut, as they always were.
  EXPECT_EQ(read.OPATH, "/media/disk");
  EXPECT_EQ(read.APATH.find('\0'), std::string::npos);
}

}  // namespace
}  // namespace corvinex
