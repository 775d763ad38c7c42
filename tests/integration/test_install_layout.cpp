// `cmake --install` of this build into a fresh prefix: the program folder, the
// commands, the desktop entry and the icon, the man pages and the shell completion,
// and the installed tools really run. Then the Debian package that scripts/package
// made, unpacked: its layout, its control fields and its programs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "convert/child_process.h"
#include "support/ffprobe.h"
#include "support/sample_movie.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "version.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun RunIn(const test::TempDir& dir, const std::vector<std::string>& argv,
              const std::string& tag) {
  ChildIo io;
  io.stdoutFile = dir / (tag + ".out");
  io.stderrFile = dir / (tag + ".err");
  ToolRun run;
  run.exitCode = RunProcess(argv, io, std::chrono::minutes(5)).exitCode;
  run.out = test::ReadFileBytes(io.stdoutFile);
  run.err = test::ReadFileBytes(io.stderrFile);
  return run;
}

// The keys of the [Desktop Entry] group.
std::map<std::string, std::string> DesktopEntry(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::istringstream lines(text);
  std::string line;
  bool inGroup = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    const size_t eq = line.find('=');
    if (inGroup && eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

// The program of an Exec value: the first argument, unquoted and unescaped the
// way a desktop launcher reads it (string escapes, then quoting, then %%).
std::string ExecProgram(const std::string& exec) {
  std::string unescaped;
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size() && exec[i + 1] == '\\') ++i;
    unescaped += exec[i];
  }
  std::string program;
  if (unescaped.empty() || unescaped[0] != '"') {
    program = unescaped.substr(0, unescaped.find(' '));
  } else {
    for (size_t i = 1; i < unescaped.size() && unescaped[i] != '"'; ++i) {
      if (unescaped[i] == '\\' && i + 1 < unescaped.size()) ++i;
      program += unescaped[i];
    }
  }
  std::string result;
  for (size_t i = 0; i < program.size(); ++i) {
    if (program[i] == '%' && i + 1 < program.size() && program[i + 1] == '%') ++i;
    result += program[i];
  }
  return result;
}

// Width and height from a PNG's header; {0, 0} for anything else.
std::pair<uint32_t, uint32_t> PngSize(const fs::path& file) {
  const std::string bytes = test::ReadFileBytes(file);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  auto be32 = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  return {be32(16), be32(20)};
}

bool IsExecutableFile(const fs::path& file) {
  return fs::is_regular_file(file) && ::access(file.c_str(), X_OK) == 0;
}

// The option names a --help lists, each line in its own layout ("  -o,--output OUTPUT").
std::set<std::string> HelpOptions(const std::string& help) {
  std::set<std::string> names;
  std::istringstream lines(help);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == 0 || start == std::string::npos || line[start] != '-') continue;
    std::istringstream words(line.substr(start, line.find(' ', start) - start));
    std::string name;
    while (std::getline(words, name, ',')) names.insert(name);
  }
  return names;
}

// man's complaints while it formats `page` the way lintian checks pages.
ToolRun ManWarnings(const test::TempDir& dir, const fs::path& page) {
  return RunIn(dir,
               {"env", "LC_ALL=C.UTF-8", "MANROFFSEQ=", "MANWIDTH=80", "man", "--warnings", "-E",
                "UTF-8", "-l", "-Tutf8", "-Z", page.string()},
               "man-warnings");
}

// The page as a reader sees it, in ASCII and with lines long enough not to break words.
std::string ManText(const test::TempDir& dir, const fs::path& page) {
  return RunIn(dir, {"env", "LC_ALL=C", "MANWIDTH=1000", "man", "-l", "-P", "cat", page.string()},
               "man-text")
      .out;
}

// What Tab offers for the last of `words` (the line typed so far, starting with the
// command), with the completion file loaded the way bash-completion loads it and the
// commands of `bin` first on PATH, typed in `workDir`.
std::set<std::string> Complete(const test::TempDir& dir, const fs::path& bin,
                               const fs::path& completion, const fs::path& workDir,
                               const std::vector<std::string>& words) {
  std::vector<std::string> argv = {
      "env",
      "PATH=" + bin.string() + ":/usr/bin:/bin",
      "bash",
      "--norc",
      "-c",
      R"(cd "$1" && source /usr/share/bash-completion/bash_completion && source "$2" || exit 9
COMP_WORDS=("${@:3}"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
_corvinex_batch "${COMP_WORDS[0]}" "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
printf '%s\n' "${COMPREPLY[@]}")",
      "complete",
      workDir.string(),
      completion.string()};
  argv.insert(argv.end(), words.begin(), words.end());
  const ToolRun run = RunIn(dir, argv, "complete");
  EXPECT_EQ(run.exitCode, 0) << "bash-completion (scripts/setup installs it):\n" << run.err;
  std::set<std::string> offered;
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) offered.insert(line);
  }
  return offered;
}

using Words = std::set<std::string>;

// One install shared by the checks below: installing is the slow part.
class InstallLayout : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir("install prefix ü");
    prefix_ = dir_->path() / "usr local";
    install_ = RunIn(
        *dir_,
        {CORVINEX_CMAKE_COMMAND, "--install", CORVINEX_BUILD_DIR, "--prefix", prefix_.string()},
        "install");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(install_.exitCode, 0) << install_.out << install_.err; }

  static fs::path Folder() { return prefix_ / CORVINEX_INSTALL_DIR; }

  static test::TempDir* dir_;
  static fs::path prefix_;
  static ToolRun install_;
};

test::TempDir* InstallLayout::dir_ = nullptr;
fs::path InstallLayout::prefix_;
ToolRun InstallLayout::install_;

TEST_F(InstallLayout, ProgramFolderHoldsEverythingTheProgramLoads) {
  EXPECT_TRUE(IsExecutableFile(Folder() / "corvinex"));
  EXPECT_TRUE(IsExecutableFile(Folder() / "corvinex-batch"));
  EXPECT_TRUE(IsExecutableFile(Folder() / "PLUG-IN" / "ffmpeg_III"));
  EXPECT_TRUE(IsExecutableFile(Folder() / "PLUG-IN" / "logo_decoder"));
  const std::string manual = test::ReadFileBytes(Folder() / "TLVPUB.pdf");
  EXPECT_EQ(manual.substr(0, 5), "%PDF-");
  EXPECT_GT(fs::file_size(Folder() / "samples" / "demo-doughnut.mp4"), 1000u);
  // Nothing lands loose in the prefix itself.
  EXPECT_FALSE(fs::exists(prefix_ / "TLVPUB.pdf"));
  EXPECT_FALSE(fs::exists(prefix_ / "PLUG-IN"));

  // The commands in bin lead to the program folder, whatever the prefix is called.
  for (const char* command : {"corvinex", "corvinex-batch"}) {
    const fs::path link = prefix_ / "bin" / command;
    ASSERT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_TRUE(fs::read_symlink(link).is_relative());
    EXPECT_TRUE(fs::equivalent(link, Folder() / command));
  }
}

TEST_F(InstallLayout, DesktopEntryNamesTheInstalledProgramAndIcon) {
  const fs::path entryFile = prefix_ / "share" / "applications" / "corvinex.desktop";
  ASSERT_TRUE(fs::is_regular_file(entryFile));
  const auto entry = DesktopEntry(test::ReadFileBytes(entryFile));
  EXPECT_EQ(entry.at("Type"), "Application");
  EXPECT_EQ(entry.at("Name"), "Corvinex");
  // The prefix has a blank and a non-ASCII letter: Exec must still name one program.
  const fs::path program = ExecProgram(entry.at("Exec"));
  EXPECT_EQ(program, prefix_ / "bin" / "corvinex") << entry.at("Exec");
  EXPECT_TRUE(fs::equivalent(program, Folder() / "corvinex"));

  ASSERT_EQ(entry.at("Icon"), "corvinex");
  for (uint32_t size : {48u, 128u, 256u}) {
    const std::string square = std::to_string(size) + "x" + std::to_string(size);
    const fs::path icon = prefix_ / "share/icons/hicolor" / square / "apps/corvinex.png";
    EXPECT_EQ(PngSize(icon), std::make_pair(size, size)) << icon;
  }

  const ToolRun check = RunIn(*dir_, {"desktop-file-validate", entryFile.string()}, "validate");
  EXPECT_EQ(check.exitCode, 0) << "desktop-file-validate (scripts/setup installs it):\n"
                               << check.out << check.err;
  EXPECT_EQ(check.out.find("error"), std::string::npos) << check.out;
}

TEST_F(InstallLayout, MetainfoLaunchesTheDesktopEntryAndValidates) {
  const fs::path metainfo = prefix_ / "share/metainfo/org.example.corvinex.metainfo.xml";
  ASSERT_TRUE(fs::is_regular_file(metainfo));
  EXPECT_NE(test::ReadFileBytes(metainfo).find(
                R"(<launchable type="desktop-id">corvinex.desktop</launchable>)"),
            std::string::npos);
  const ToolRun check =
      RunIn(*dir_, {"appstreamcli", "validate", "--no-net", metainfo.string()}, "appstream");
  EXPECT_EQ(check.exitCode, 0) << "appstreamcli (scripts/setup installs it):\n"
                               << check.out << check.err;
}

TEST_F(InstallLayout, ManPagesRenderWithoutWarningsAndListEveryOption) {
  const fs::path batch = prefix_ / "bin" / "corvinex-batch";
  const std::set<std::string> options = HelpOptions(RunIn(*dir_, {batch, "--help"}, "help").out);
  ASSERT_TRUE(options.contains("--progress") && options.contains("-o")) << "the help changed";
  for (const char* command : {"corvinex", "corvinex-batch"}) {
    const fs::path page = prefix_ / "share/man/man1" / (std::string(command) + ".1.gz");
    ASSERT_TRUE(fs::is_regular_file(page)) << page;
    const ToolRun check = ManWarnings(*dir_, page);
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.err, "") << page;
    EXPECT_FALSE(check.out.empty());

    const std::string text = ManText(*dir_, page);
    EXPECT_NE(text.find(std::string(command) + " " + kVersion), std::string::npos) << text;
    for (const char* section : {"SYNOPSIS", "OPTIONS", "FILES", "ENVIRONMENT", "EXIT STATUS",
                                "EXAMPLES", "XDG_DATA_HOME", "--version"}) {
      EXPECT_NE(text.find(section), std::string::npos) << command << ": " << section;
    }
  }
  // Made from the tool itself: every option it takes is in its page, and the recipes too.
  const std::string text = ManText(*dir_, prefix_ / "share/man/man1/corvinex-batch.1.gz");
  for (const std::string& option : options) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  for (const char* recipe : {"parallel -0", "--sshlogin", "SBATCH --array"}) {
    EXPECT_NE(text.find(recipe), std::string::npos) << recipe;
  }
}

TEST_F(InstallLayout, TabCompletesOptionsChoicesAndFiles) {
  const fs::path bin = prefix_ / "bin";
  const fs::path completion = prefix_ / "share/bash-completion/completions/corvinex-batch";
  ASSERT_TRUE(fs::is_regular_file(completion));
  const fs::path work = dir_->path() / "typing here";
  fs::create_directories(work / "out folder");
  test::WriteFileBytes(work / "movie one.mp4", "x");
  test::WriteFileBytes(work / "logo.jpg", "x");
  auto tab = [&](const std::vector<std::string>& words) {
    std::vector<std::string> line = {"corvinex-batch"};
    line.insert(line.end(), words.begin(), words.end());
    return Complete(*dir_, bin, completion, work, line);
  };

  // Every option the tool lists, and only those.
  const std::set<std::string> options =
      HelpOptions(RunIn(*dir_, {(bin / "corvinex-batch").string(), "--help"}, "help").out);
  EXPECT_EQ(tab({"-"}), options);
  EXPECT_EQ(tab({"--prog"}), Words({"--progress"}));
  EXPECT_EQ(tab({"--pro"}), Words({"--progress", "--projection"}));

  // The fixed words of each choice.
  EXPECT_EQ(tab({"--progress", ""}), Words({"auto", "bar", "json", "none"}));
  EXPECT_EQ(tab({"--lens", ""}), Words({"standard", "3", "5", "7", "10"}));
  EXPECT_EQ(tab({"--route", ""}), Words({"graph", "decoder"}));
  EXPECT_EQ(tab({"--flip", "h"}), Words({"h", "hv"}));
  EXPECT_EQ(tab({"--stereo", ""}), Words({"dynamic", "static"}));
  EXPECT_EQ(tab({"--audio-channels", "m"}), Words({"mono"}));
  EXPECT_EQ(tab({"--route=d"}), Words({"decoder"}));
  EXPECT_TRUE(tab({"--depth", ""}).empty()) << "a number has no words to offer";

  // Files for the inputs and the options that take one; folders for DIR.
  EXPECT_EQ(tab({"mo"}), Words({"movie one.mp4"}));
  EXPECT_EQ(tab({"-o", "mo"}), Words({"movie one.mp4"}));
  EXPECT_EQ(tab({"--logo", "lo"}), Words({"logo.jpg"}));
  EXPECT_EQ(tab({"--settings", "lo"}), Words({"logo.jpg"}));
  EXPECT_EQ(tab({"--log-folder", ""}), Words({"out folder"}));
  EXPECT_EQ(tab({"-y", "--lens", "7", "mo"}), Words({"movie one.mp4"}));
}

TEST_F(InstallLayout, OneVersionEverywhere) {
  const ToolRun batch = RunIn(*dir_, {(prefix_ / "bin/corvinex-batch").string(), "--version"}, "v");
  EXPECT_EQ(batch.out, std::string("corvinex-batch ") + kVersion + "\n");
  const std::string metainfo =
      test::ReadFileBytes(prefix_ / "share/metainfo/org.example.corvinex.metainfo.xml");
  EXPECT_NE(metainfo.find(std::string(R"(<release version=")") + kVersion + "\""),
            std::string::npos)
      << metainfo;
  // The window program answers without a display: no DISPLAY, and Qt told to use X11.
  for (const char* flag : {"--version", "--help"}) {
    const ToolRun window = RunIn(*dir_,
                                 {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                  "QT_QPA_PLATFORM=xcb", (prefix_ / "bin/corvinex").string(), flag},
                                 "window-version");
    EXPECT_EQ(window.exitCode, 0) << flag << ": " << window.err;
    EXPECT_EQ(window.err, "") << flag;
    EXPECT_NE(window.out.find(flag == std::string("--help") ? "Usage: corvinex"
                                                            : std::string("corvinex ") + kVersion),
              std::string::npos)
        << window.out;
  }
}

TEST_F(InstallLayout, ManualIsDocumentationAndStaysBesideTheProgram) {
  const fs::path doc = prefix_ / "share/doc/corvinex/TLVPUB.pdf";
  ASSERT_TRUE(fs::is_regular_file(doc) && !fs::is_symlink(doc));
  ASSERT_TRUE(fs::is_symlink(Folder() / "TLVPUB.pdf"));
  EXPECT_TRUE(fs::read_symlink(Folder() / "TLVPUB.pdf").is_relative());
  EXPECT_TRUE(fs::equivalent(Folder() / "TLVPUB.pdf", doc));
}

TEST_F(InstallLayout, InstalledBatchToolHelpsAndConverts) {
  const fs::path batch = prefix_ / "bin" / "corvinex-batch";
  const ToolRun help = RunIn(*dir_, {batch.string(), "--help"}, "help");
  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_NE(help.out.find("corvinex-batch"), std::string::npos);

  // A conversion with the installed folder's defaults: its own TEMP and encoder adapter.
  const fs::path movie = dir_->path() / "short take.mp4";
  test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 8});
  const ToolRun convert = RunIn(*dir_, {batch.string(), movie.string()}, "convert");
  ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
  const auto facts = test::ProbeFile(dir_->path() / "short take_Unwrapped.mp4");
  ASSERT_TRUE(facts.has_value()) << convert.out << convert.err;
  EXPECT_TRUE(facts->hasVideo);
  // Eight frames at 25 fps, played by the MP4 at its 30: 0.32 s within a frame.
  EXPECT_NEAR(facts->videoSeconds, 0.32, 1.0 / 30 + 0.005);
  EXPECT_GT(facts->width, facts->height);
  // The run kept its files in the installed program folder, which is writable here.
  EXPECT_TRUE(fs::is_directory(Folder() / "TEMP"));
  bool logged = false;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    logged = logged || entry.path().filename().string().starts_with("TLVPUB-batch-");
  }
  EXPECT_TRUE(logged);
}

TEST_F(InstallLayout, InstalledWindowProgramStartsFromItsFolder) {
  // An offscreen screen large enough for the standard window form. Qt reads the
  // platform argument as Latin-1, so this file's path stays ASCII.
  std::string name = (fs::temp_directory_path() / "corvinex-screens-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  ASSERT_GE(fd, 0);
  ::close(fd);
  const fs::path screens = name;
  test::WriteFileBytes(screens, R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1920,)"
                                R"( "height": 1080, "logicalDpi": 96, "dpr": 1}]})");
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string before = platform != nullptr ? platform : "";
  ASSERT_EQ(::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens.string()).c_str(), 1),
            0);
  ChildIo io;
  io.stderrFile = dir_->path() / "window.err";
  const ChildStart child = StartProcess({(prefix_ / "bin" / "corvinex").string()}, io);
  ASSERT_TRUE(child.ok()) << child.error;
  // The log beside the installed program says the window is up.
  const fs::path log = Folder() / "TLVPUB.log";
  const bool started = test::WaitFor(
      [&] {
        return fs::exists(log) &&
               test::ReadFileBytes(log).find("Main Form Created Ok") != std::string::npos;
      },
      std::chrono::seconds(60));
  KillProcess(child.pid);
  fs::remove(screens);
  if (platform != nullptr) {
    ::setenv("QT_QPA_PLATFORM", before.c_str(), 1);
  } else {
    ::unsetenv("QT_QPA_PLATFORM");
  }
  EXPECT_TRUE(started) << test::ReadFileBytes(io.stderrFile);
  EXPECT_TRUE(fs::is_directory(Folder() / "TEMP"));
}

// The package scripts/package left in the source folder, unpacked with dpkg-deb as
// dpkg would lay it out, its control fields read. Skipped when there is none.
class PackageLayout : public ::testing::Test {
 protected:
  static fs::path Package() {
    return fs::path(CORVINEX_SOURCE_DIR) / (std::string("corvinex_") + kVersion + "_amd64.deb");
  }
  static void SetUpTestSuite() {
    if (!fs::exists(Package())) return;
    dir_ = new test::TempDir("package root ü");
    root_ = dir_->path() / "root";
    unpack_ = RunIn(*dir_, {"dpkg-deb", "-x", Package().string(), root_.string()}, "unpack");
    control_ = RunIn(*dir_, {"dpkg-deb", "-f", Package().string()}, "control").out;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (dir_ == nullptr) {
      GTEST_SKIP() << "no " << Package() << ": scripts/package builds it";
    }
    ASSERT_EQ(unpack_.exitCode, 0) << unpack_.err;
  }
  // A control field's value (continuation lines left out).
  static std::string Field(const std::string& name) {
    std::istringstream lines(control_);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.starts_with(name + ": ")) return line.substr(name.size() + 2);
    }
    return {};
  }

  static test::TempDir* dir_;
  static fs::path root_;
  static ToolRun unpack_;
  static std::string control_;
};

test::TempDir* PackageLayout::dir_ = nullptr;
fs::path PackageLayout::root_;
ToolRun PackageLayout::unpack_;
std::string PackageLayout::control_;

TEST_F(PackageLayout, ControlNamesThisVersionAndWhatItRuns) {
  EXPECT_EQ(Field("Package"), "corvinex");
  EXPECT_EQ(Field("Version"), kVersion) << "an old package? run scripts/package again";
  EXPECT_EQ(Field("Architecture"), "amd64");
  const std::string depends = Field("Depends");
  // The encoder the adapter runs, the filters loaded at run time, the window's platform
  // plugins, and the libraries dpkg-shlibdeps found.
  for (const char* needed :
       {"ffmpeg,", "libavfilter", "qt6-qpa-plugins", "libavcodec", "libqt6widgets6", "libc6"}) {
    EXPECT_NE(depends.find(needed), std::string::npos) << needed << " in " << depends;
  }
}

TEST_F(PackageLayout, FilesLieWhereDebianLooksForThem) {
  const fs::path usr = root_ / "usr";
  for (const char* command : {"corvinex", "corvinex-batch"}) {
    ASSERT_TRUE(fs::is_symlink(usr / "bin" / command));
    EXPECT_TRUE(fs::equivalent(usr / "bin" / command, usr / "lib/corvinex" / command));
    EXPECT_TRUE(IsExecutableFile(usr / "lib/corvinex" / command));
    EXPECT_GT(fs::file_size(usr / "share/man/man1" / (std::string(command) + ".1.gz")), 500u);
  }
  EXPECT_TRUE(IsExecutableFile(usr / "lib/corvinex/PLUG-IN/ffmpeg_III"));
  EXPECT_TRUE(IsExecutableFile(usr / "lib/corvinex/PLUG-IN/logo_decoder"));
  EXPECT_TRUE(fs::is_regular_file(usr / "share/bash-completion/completions/corvinex-batch"));
  for (const char* doc : {"TLVPUB.pdf", "copyright", "changelog.gz"}) {
    EXPECT_TRUE(fs::is_regular_file(usr / "share/doc/corvinex" / doc)) << doc;
  }
  EXPECT_TRUE(
      fs::equivalent(usr / "lib/corvinex/TLVPUB.pdf", usr / "share/doc/corvinex/TLVPUB.pdf"));
  const auto entry = DesktopEntry(test::ReadFileBytes(usr / "share/applications/corvinex.desktop"));
  EXPECT_EQ(ExecProgram(entry.at("Exec")), "/usr/bin/corvinex") << "not CPack's staging folder";
  EXPECT_NE(test::ReadFileBytes(usr / "share/metainfo/org.example.corvinex.metainfo.xml")
                .find(std::string(R"(<release version=")") + kVersion + "\""),
            std::string::npos);
  EXPECT_EQ(PngSize(usr / "share/icons/hicolor/256x256/apps/corvinex.png"),
            std::make_pair(256u, 256u));
  // Nothing outside /usr, and nothing left writable by others.
  for (const auto& entry : fs::directory_iterator(root_)) EXPECT_EQ(entry.path(), usr);
  for (const auto& entry : fs::recursive_directory_iterator(usr)) {
    if (entry.is_symlink()) continue;
    EXPECT_EQ(entry.status().permissions() & fs::perms::others_write, fs::perms::none)
        << entry.path();
  }
}

// As an installed program: the folder under /usr/lib belongs to root and the user
// cannot write it, so the settings, the log and TEMP go to the XDG data folder, made at
// this first start. Run as root, the tool runs as nobody, for whom the folder is read-only.
TEST_F(PackageLayout, UnpackedBatchToolConvertsWithItsFolderReadOnly) {
  const fs::path batch = root_ / "usr/bin/corvinex-batch";
  const ToolRun version = RunIn(*dir_, {batch.string(), "--version"}, "version");
  EXPECT_EQ(version.out, std::string("corvinex-batch ") + kVersion + "\n") << version.err;

  const fs::path work = dir_->path() / "user files";
  const fs::path data = work / "data home";
  fs::create_directories(work);
  const fs::path movie = work / "short take.mp4";
  test::MakeSampleMovie(movie, {.width = 320, .height = 240, .frames = 8});
  const fs::path program = root_ / "usr/lib/corvinex";
  std::vector<std::string> argv = {"env", "XDG_DATA_HOME=" + data.string(),
                                   "HOME=" + (work / "home").string()};
  if (::geteuid() == 0) {
    // nobody may walk to the unpacked folder and write only the work folder.
    fs::permissions(dir_->path(), fs::perms::owner_all | fs::perms::group_exec |
                                      fs::perms::others_exec | fs::perms::group_read |
                                      fs::perms::others_read);
    ASSERT_EQ(::chown(work.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(movie.c_str(), 65534, 65534), 0);
    argv.insert(argv.end(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  } else {
    fs::permissions(program,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  argv.insert(argv.end(), {batch.string(), movie.string()});
  const ToolRun convert = RunIn(*dir_, argv, "convert");
  fs::permissions(program, fs::perms::owner_write, fs::perm_options::add);
  ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
  const auto facts = test::ProbeFile(work / "short take_Unwrapped.mp4");
  ASSERT_TRUE(facts.has_value()) << convert.err;
  EXPECT_TRUE(facts->hasVideo);
  EXPECT_GT(facts->width, facts->height);

  // The user's files went to the data folder; the program folder was left as it came.
  EXPECT_TRUE(fs::is_directory(data / "corvinex" / "TEMP"));
  bool logged = false;
  for (const auto& entry : fs::directory_iterator(data / "corvinex")) {
    logged = logged || entry.path().filename().string().starts_with("TLVPUB-batch-");
  }
  EXPECT_TRUE(logged);
  std::set<std::string> programFiles;
  for (const auto& entry : fs::directory_iterator(program)) {
    programFiles.insert(entry.path().filename().string());
  }
  EXPECT_EQ(programFiles,
            Words({"PLUG-IN", "TLVPUB.pdf", "corvinex", "corvinex-batch", "samples"}));
}

}  // namespace
}  // namespace corvinex
