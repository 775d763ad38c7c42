#pragma once
// Hardware encoders: those the encoder tool lists are each tried with a one-frame
// test encode, once per run of the program and only when a hardware choice is first
// needed; only those that pass are offered. And the run's encoder chosen from the
// user's choice (auto, software, or one by name).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "convert/command_line.h"
#include "convert/encoder_table.h"

namespace corvinex {

class DiagnosticLog;

// The hardware encoders of the table named in the tool's "-encoders" list.
std::vector<std::string> ListedHardwareEncoders(std::string_view encodersList);

// The one-frame test encode of `encoder` (a hardware row), written nowhere.
CommandLine HardwareProbeCommand(const std::filesystem::path& tool, const EncoderRow& encoder);

struct HardwareProbeResult {
  std::vector<std::string> listed;   // named by the tool
  std::vector<std::string> working;  // passed the test encode
};

// Starts the probe of `tool` on a thread of its own unless it was started before in
// this run of the program, and returns at once: the window starts it as soon as a
// hardware choice is in view, so that its conversion does not wait for it.
void StartHardwareProbe(const std::filesystem::path& tool);
// The probe of `tool`, made (or started, then waited for) on the first call for that
// tool and kept for the rest of the program's run (safe from any thread). A probe
// still running is waited for within a bound: its test encodes each have a time
// limit. The first run to take it logs each encoder's result.
const HardwareProbeResult& ProbeHardwareEncoders(const std::filesystem::path& tool,
                                                 DiagnosticLog& log);
// Whether the probe of `tool` has ended in this run (its result is at hand).
bool HardwareProbed(const std::filesystem::path& tool);

// The user's encoder choice as kept in the settings: 0 auto, 1 software, 2 + a row
// of EncoderRows() for a named hardware encoder.
inline constexpr int32_t kEncoderAuto = 0;
inline constexpr int32_t kEncoderSoftware = 1;
int32_t EncoderChoiceOfName(std::string_view name);  // -1 for an unknown name
std::string EncoderChoiceWord(int32_t choice);       // "auto", "software", "hevc_nvenc"

// Whether a run with `codec` (SessionOptions::CODEC) under `choice` may use hardware,
// and so needs the probe.
bool WantsHardwareProbe(int32_t codec, int32_t choice);

struct EncoderDecision {
  std::string hardware;  // the hardware encoder to use; empty for software
  std::string reason;    // why, for the log and the summary
};

// The run's encoder for `codec` in `extension` under `choice`. Probes only where the
// choice can lead to hardware (a codec chosen, and auto or a named encoder).
EncoderDecision DecideEncoder(const std::filesystem::path& tool, Codec codec, int32_t choice,
                              DiagnosticLog& log);

}  // namespace corvinex
