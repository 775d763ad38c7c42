#include "convert/hardware_probe.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>

#include "convert/child_process.h"
#include "convert/ffmpeg_rewrite.h"
#include "settings/diagnostic_log.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// A device that hangs must not hold the run: a test encode of one small frame takes
// well under a second where it works.
constexpr std::chrono::seconds kProbeTimeLimit{15};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The last line of a report, for the log.
std::string LastLine(const std::string& text) {
  std::string line;
  std::istringstream in(text);
  for (std::string next; std::getline(in, next);)
    if (!next.empty()) line = next;
  return line;
}

fs::path ScratchFile(const std::string& name) {
  std::error_code error;
  fs::path folder = fs::temp_directory_path(error);
  if (error) folder = "/tmp";
  return folder / ("corvinex-" + std::to_string(::getpid()) + "-" + name);
}

HardwareProbeResult RunProbe(const fs::path& tool, DiagnosticLog& log) {
  HardwareProbeResult result;
  const fs::path report = ScratchFile("encoders.txt");
  ChildIo io;
  io.stdoutFile = report;
  io.stderrToStdout = true;
  const ChildExit listed =
      RunProcess({tool.string(), "-hide_banner", "-encoders"}, io, kProbeTimeLimit);
  result.listed = listed.exited && listed.exitCode == 0 ? ListedHardwareEncoders(ReadAll(report))
                                                        : std::vector<std::string>{};
  for (const std::string& name : result.listed) {
    const EncoderRow* row = FindEncoder(name);
    const ChildExit tried =
        RunProcess(HardwareProbeCommand(tool, *row).Argv(), io, kProbeTimeLimit);
    if (tried.exited && tried.exitCode == 0) {
      result.working.push_back(name);
      log.LogLine("Hardware encoder " + name + ": test encode passed");
    } else {
      log.LogLine("Hardware encoder " + name + ": test encode failed (" +
                  (tried.exited ? LastLine(ReadAll(report)) : std::string("no answer")) + ")");
    }
  }
  std::error_code error;
  fs::remove(report, error);
  return result;
}

std::mutex gProbeMutex;
std::map<fs::path, HardwareProbeResult>& Probes() {
  static std::map<fs::path, HardwareProbeResult> probes;
  return probes;
}

}  // namespace

std::vector<std::string> ListedHardwareEncoders(std::string_view encodersList) {
  std::vector<std::string> names;
  std::istringstream in{std::string(encodersList)};
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string flags, name;
    // " V....D h264_vaapi  H.264/AVC (VAAPI) (codec h264)": flags, then the name.
    if (!(words >> flags >> name) || flags.empty() || flags[0] != 'V') continue;
    const EncoderRow* row = FindEncoder(name);
    if (row != nullptr && row->device != Device::None) names.push_back(name);
  }
  return names;
}

CommandLine HardwareProbeCommand(const fs::path& tool, const EncoderRow& encoder) {
  CommandLine c;
  c.Bare(tool.string()).Text(" -hide_banner ").Text(DeviceInputPiece(encoder.device));
  c.Text(" -f lavfi -i color=c=gray:s=256x256:r=25 -frames:v 1 -vcodec " +
         std::string(encoder.name));
  if (encoder.device == Device::Vaapi) c.Text(" -vf format=nv12,hwupload");
  if (encoder.device == Device::Qsv) c.Text(" -pix_fmt nv12");
  c.Text(" -f null -");
  return c;
}

const HardwareProbeResult& ProbeHardwareEncoders(const fs::path& tool, DiagnosticLog& log) {
  // Held while probing: a second caller waits for the one probe rather than making its own.
  std::lock_guard lock(gProbeMutex);
  auto found = Probes().find(tool);
  if (found != Probes().end()) return found->second;
  return Probes().emplace(tool, RunProbe(tool, log)).first->second;
}

bool HardwareProbed(const fs::path& tool) {
  std::lock_guard lock(gProbeMutex);
  return Probes().count(tool) > 0;
}

int32_t EncoderChoiceOfName(std::string_view name) {
  if (name == "auto") return kEncoderAuto;
  if (name == "software") return kEncoderSoftware;
  const auto& rows = EncoderRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].name == name && rows[i].device != Device::None) return static_cast<int32_t>(i) + 2;
  return -1;
}

std::string EncoderChoiceWord(int32_t choice) {
  const auto& rows = EncoderRows();
  if (choice >= 2 && static_cast<size_t>(choice - 2) < rows.size()) {
    return std::string(rows[static_cast<size_t>(choice - 2)].name);
  }
  return choice == kEncoderSoftware ? "software" : "auto";
}

EncoderDecision DecideEncoder(const fs::path& tool, Codec codec, int32_t choice,
                              DiagnosticLog& log) {
  if (codec == Codec::Default || choice == kEncoderSoftware) {
    return {
        {},
        choice == kEncoderSoftware ? "software chosen" : "no codec chosen: the container's own"};
  }
  const std::string word = EncoderChoiceWord(choice);
  const EncoderRow* named = choice >= 2 ? FindEncoder(word) : nullptr;
  if (named != nullptr && named->codec != codec) {
    return {{}, word + " does not encode " + std::string(CodecLabel(codec)) + ": software used"};
  }
  const bool firstProbe = !HardwareProbed(tool);
  const HardwareProbeResult& probe = ProbeHardwareEncoders(tool, log);
  auto works = [&](std::string_view name) {
    return std::find(probe.working.begin(), probe.working.end(), name) != probe.working.end();
  };
  if (named != nullptr) {
    if (works(named->name)) return {word, word + " chosen and its test encode passed"};
    return {{}, word + " did not pass its test encode (no working device): software used"};
  }
  for (const EncoderRow& row : EncoderRows()) {
    if (row.codec == codec && row.device != Device::None && works(row.name)) {
      return {std::string(row.name), "auto: " + std::string(row.name) + " passed its test encode"};
    }
  }
  std::string reason =
      "auto: no working hardware encoder for " + std::string(CodecLabel(codec)) + ", software used";
  // Said once per run of the program: later movies of the batch only log it.
  if (!firstProbe) reason += " (as found before)";
  return {{}, reason};
}

}  // namespace corvinex
