#pragma once
// The window program's own command line: --help and --version print and end before
// any window exists, so they work without a display (man pages are made from them).

#include <optional>
#include <string>
#include <vector>

namespace corvinex {

// The text to print on standard output for --help, -h or --version anywhere in `args`
// (the arguments after the program name); nothing when the window should start.
// Everything else is left to Qt, which reads its own options (-platform, ...).
std::optional<std::string> AnswerWithoutWindow(const std::vector<std::string>& args);

}  // namespace corvinex
