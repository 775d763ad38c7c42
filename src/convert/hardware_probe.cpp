#include "convert/hardware_probe.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
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

// The probe's findings, with the lines the log gets for them: the probe may run on a
// thread of its own, and the log is written by the run that takes the result.
struct ProbeFindings {
  HardwareProbeResult result;
  std::vector<std::string> logLines;
};

ProbeFindings RunProbe(const fs::path& tool) {
  ProbeFindings found;
  HardwareProbeResult& result = found.result;
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
      found.logLines.push_back("Hardware encoder " + name + ": test encode passed");
    } else {
      found.logLines.push_back(
          "Hardware encoder " + name + ": test encode failed (" +
          (tried.exited ? LastLine(ReadAll(report)) : std::string("no answer")) + ")");
    }
  }
  std::error_code error;
  fs::remove(report, error);
  return found;
}

// One probe per tool and run of the program, started by whoever needs it first.
struct ProbeSlot {
  std::shared_future<ProbeFindings> findings;
  bool taken = false;  // a run has taken (and logged) the findings
};

// Each probe's children end within their own time limit: the whole probe within this.
std::chrono::seconds ProbeWaitLimit() {
  return kProbeTimeLimit * static_cast<int>(1 + EncoderRows().size()) + std::chrono::seconds(5);
}

std::mutex gProbeMutex;
// Never destroyed: a probe still running when the program ends must not hold its exit
// (the end of an std::async state waits for its thread).
std::map<fs::path, ProbeSlot>& Probes() {
  static auto* probes = new std::map<fs::path, ProbeSlot>;
  return *probes;
}

// The slot of `tool`, its probe started on a thread of its own if it was not yet.
ProbeSlot& StartedSlot(const fs::path& tool) {
  auto found = Probes().find(tool);
  if (found != Probes().end()) return found->second;
  ProbeSlot slot;
  slot.findings = std::async(std::launch::async, [tool] { return RunProbe(tool); }).share();
  return Probes().emplace(tool, std::move(slot)).first->second;
}

// The probe's result for `tool` (waited for, within the limit); `first` tells whether
// this is the first run to take it, which logs its lines.
const HardwareProbeResult& TakeProbe(const fs::path& tool, DiagnosticLog& log, bool& first) {
  std::shared_future<ProbeFindings> findings;
  {
    std::lock_guard lock(gProbeMutex);
    ProbeSlot& slot = StartedSlot(tool);
    findings = slot.findings;
    first = !slot.taken;
    slot.taken = true;
  }
  if (findings.wait_for(ProbeWaitLimit()) != std::future_status::ready) {
    // Cannot happen while the children keep their limits; a hung probe offers nothing.
    static const HardwareProbeResult none;
    if (first) log.LogLine("Hardware encoders: the test encodes did not end: none used");
    return none;
  }
  const ProbeFindings& found = findings.get();
  if (first) {
    for (const std::string& line : found.logLines) log.LogLine(line);
  }
  return found.result;
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

void StartHardwareProbe(const fs::path& tool) {
  std::lock_guard lock(gProbeMutex);
  StartedSlot(tool);
}

const HardwareProbeResult& ProbeHardwareEncoders(const fs::path& tool, DiagnosticLog& log) {
  bool first = false;
  return TakeProbe(tool, log, first);
}

bool HardwareProbed(const fs::path& tool) {
  std::lock_guard lock(gProbeMutex);
  const auto found = Probes().find(tool);
  return found != Probes().end() &&
         found->second.findings.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool WantsHardwareProbe(int32_t codec, int32_t choice) {
  return codec >= 1 && codec <= 4 && choice != kEncoderSoftware;
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
  bool firstProbe = false;
  const HardwareProbeResult& probe = TakeProbe(tool, log, firstProbe);
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
