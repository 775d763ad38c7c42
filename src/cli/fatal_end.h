#pragma once
// The last word of a batch run that cannot go on: an exception that no thread caught
// (memory running out in a worker thread) ends the tool with a message naming the movie
// and exit status 1, its temporary folder removed, rather than an abort.

#include <exception>
#include <filesystem>
#include <string>

namespace corvinex {

void InstallFatalEnd();

// Why a movie's conversion broke off on `thrown`: memory running out (an allocation, or
// a thread that found no room for its stack) is told as such.
std::string WhyBrokenOff(const std::exception_ptr& thrown);
// Set on the main thread before the workers of a movie start, and not while they run.
void SetFatalEndFolder(const std::filesystem::path& temp);
void SetFatalEndInput(const std::filesystem::path& input);

}  // namespace corvinex
