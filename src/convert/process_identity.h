#pragma once
// A process told apart from a later one that reuses its id: the id and the start time
// (clock ticks after boot, as /proc gives it). Names of temporary outputs carry both,
// so a later run can tell a leftover of a dead run from the work of a living one.

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace corvinex {

struct ProcessIdentity {
  pid_t pid = 0;
  uint64_t startTicks = 0;
};

// The start time of process `pid`; none when there is no such process (or it has
// ended and only waits to be reaped: it writes nothing any more).
std::optional<uint64_t> ProcessStartTicks(pid_t pid);

// This process, read afresh each time (a forked child has another id).
ProcessIdentity ThisProcess();

// Whether the process that `id` names still runs: the id exists and started at that
// time. A process that cannot be read is taken as running, so its files are spared.
bool ProcessIsRunning(const ProcessIdentity& id);

}  // namespace corvinex
