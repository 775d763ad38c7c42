#include "app/window_command_line.h"

#include "version.h"

namespace corvinex {

namespace {

// Laid out the way help2man reads it: a usage line, then options indented by two.
constexpr char kHelp[] =
    "Usage: corvinex [OPTION]...\n"
    "Unwraps 360-degree doughnut movies into rectangular panorama movies, with a live\n"
    "preview of the ring and the panorama. corvinex-batch converts without a window.\n"
    "\n"
    "Options:\n"
    "  -h, --help          print this help and exit\n"
    "      --version       print the version and exit\n"
    "  -platform NAME      the Qt platform to show the window on (xcb, wayland,\n"
    "                      offscreen); Qt reads its other standard options too\n";

}  // namespace

std::optional<std::string> AnswerWithoutWindow(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    // Past "--" come file names, never options.
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return std::string(kHelp);
    if (arg == "--version") return std::string("corvinex ") + kVersion + "\n";
  }
  return std::nullopt;
}

}  // namespace corvinex
