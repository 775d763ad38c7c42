#pragma once
// Names of outputs being written: hidden, beside the final name, carrying the id and
// start time of the writing process, e.g. ".clip_Unwrapped.part-4711-123456-1.mp4".
// The extension stays last, since the encoder and the remux choose by it.

#include <cstdint>
#include <optional>
#include <string>

#include "convert/process_identity.h"

namespace corvinex {

// The temporary name of `finalName` (a file name without folder) for `owner`;
// `serial` tells apart the outputs of one process. A long stem is shortened so the
// name stays within the file system's 255 bytes.
std::string PendingName(const std::string& finalName, const ProcessIdentity& owner,
                        uint64_t serial);

// The writer of a name made by PendingName; none for any other name.
std::optional<ProcessIdentity> PendingNameOwner(const std::string& name);

// A fresh serial for this process's next output.
uint64_t NextPendingSerial();

}  // namespace corvinex
