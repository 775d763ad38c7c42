#include "media/media_probe.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "convert/child_process.h"
#include "convert/command_line.h"
#include "settings/whole_file.h"

namespace corvinex {
namespace {

std::string Trim(const std::string& text, std::string_view chars) {
  size_t begin = text.find_first_not_of(chars);
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(chars);
  return text.substr(begin, end + 1 - begin);
}

const std::string_view kNulSpace("\0 ", 2);
const std::string_view kNulSpaceColon("\0 :", 3);

std::string StreamLine(const std::string& line) {
  size_t colon = line.find(':');
  std::string rest = colon == std::string::npos ? std::string() : line.substr(colon + 1);
  std::string kept = " " + Trim(rest, " ") + " ";
  if (kept.size() > 120) kept.resize(120);
  return kept;
}

}  // namespace

void ParseProbeReport(const std::string& movieName, const std::string& report, ProbeTexts& texts) {
  texts.probeText = " Video file: " + movieName + "\r\n";
  texts.fileLine = " Video file: " + movieName + " ";
  texts.videoLine.clear();
  texts.soundLine.clear();
  std::istringstream in(report);
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = Trim(raw, kNulSpace);
    std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) {
      return c < 0x80 ? static_cast<char>(std::tolower(c)) : static_cast<char>(c);
    });
    // "stream #0:10" and on are other streams, not stream 0:1.
    bool numberEnds = line.size() <= 11 || !std::isdigit(static_cast<unsigned char>(line[11]));
    bool video = numberEnds && line.rfind("stream #0:0", 0) == 0;
    bool sound = numberEnds && line.rfind("stream #0:1", 0) == 0;
    if (video || sound) {
      texts.probeText += "\r\n" + Trim(line, kNulSpaceColon);
      (video ? texts.videoLine : texts.soundLine) = StreamLine(line);
    }
    if (line.rfind("duration:", 0) == 0) texts.probeText += "\r\n" + Trim(line, " ");
  }
}

ProbeRun ProbeMovie(const std::filesystem::path& tool, const std::string& moviePath,
                    const std::filesystem::path& reportFile, ProbeTexts& texts,
                    std::chrono::milliseconds timeout) {
  ProbeRun run;
  std::string path = Trim(moviePath, " ");
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) return run;
  run.probed = true;

  ChildIo io;
  io.stderrFile = reportFile;
  ChildStart start = StartProcess({tool.string(), "-i", MediaPath(path)}, io);
  if (start.ok() && !WaitProcess(start.pid, timeout).exited) {
    KillProcess(start.pid);
    run.timedOut = true;
  }

  const std::string report = ReadWholeFile(reportFile).value_or(std::string());
  std::filesystem::remove(reportFile, ec);
  ParseProbeReport(std::filesystem::path(path).filename().string(), report, texts);
  return run;
}

}  // namespace corvinex
