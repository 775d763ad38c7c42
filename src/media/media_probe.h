#pragma once
// Probes a movie with the encoder tool (input only, no output) and keeps the lines
// of its report that the frame source and the preview use.

#include <chrono>
#include <filesystem>
#include <string>

namespace corvinex {

struct ProbeTexts {
  std::string probeText;  // " Video file: " + name + CR LF, then CR LF + each kept line
  std::string fileLine;   // " Video file: " + name + " "
  std::string videoLine;  // " " + description of stream 0:0 + " " (at most 120 characters)
  std::string soundLine;  // the same for stream 0:1
};

struct ProbeRun {
  bool probed = false;    // false: empty path or no such file; the texts are unchanged
  bool timedOut = false;  // the tool did not end in time and was stopped
};

// Runs `tool -i movie` with its error stream captured into `reportFile` (deleted
// afterwards), waits at most `timeout`, and fills `texts` from the report.
ProbeRun ProbeMovie(const std::filesystem::path& tool, const std::string& moviePath,
                    const std::filesystem::path& reportFile, ProbeTexts& texts,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Fills `texts` from a report's text (exposed for the parsing rules' own tests).
void ParseProbeReport(const std::string& movieName, const std::string& report, ProbeTexts& texts);

}  // namespace corvinex
