#pragma once
// Ways out of the program that do not wait for what they start: the R3D converter
// tool, the manual, the maker's web page and support mail.

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace corvinex {

// Our own configured addresses.
inline constexpr std::string_view kWebPageAddress = "https://corvinex.example.org/";
inline constexpr std::string_view kWebPageText = "corvinex.example.org";
inline constexpr std::string_view kSupportMailAddress = "mailto:support@corvinex.example.org";
// The start token the converter expects as its only argument.
inline constexpr std::string_view kR3DStartToken = "5C0A7E19B4";
inline constexpr std::string_view kR3DWindowTitle = "Tessaline R3D Video Converter";

// The converter started last; 0 until the first start.
struct R3DConverterState {
  pid_t pid = 0;
};

enum class R3DStart { Started, AlreadyRunning, Missing, Failed };

// Starts PLUG-IN/TL_R3D with the start token unless the one started before still
// runs. ReportR3DStart tells the user what came of it.
R3DStart StartR3DConverter(R3DConverterState& state, const std::filesystem::path& programFolder);

// Opens TLVPUB.pdf beside the program with the desktop's viewer; false when the
// manual is missing or nothing opened it.
bool OpenManual(const std::filesystem::path& programFolder);
bool OpenWebPage();
bool OpenSupportMail();

}  // namespace corvinex
