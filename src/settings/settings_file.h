#pragma once
// The settings file "tlvpub.ini": 25 tagged values, one per line, CR LF endings.

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/app_settings.h"

namespace corvinex {

inline constexpr std::string_view kSettingsFileName = "tlvpub.ini";
inline constexpr size_t kMaxFolderLength = 259;

// The whole file text for `settings`, exactly as written to disk.
std::string SettingsFileText(const AppSettings& settings);

// Writes the file through a temporary file and a rename, so that a failed write
// (full disk, read-only folder) leaves the previous file intact. False on failure.
bool WriteSettings(const std::filesystem::path& file, const AppSettings& settings);

struct SettingsReadResult {
  bool opened = false;        // the file could be read at all
  bool complete = false;      // all 25 tags were read
  bool stoppedEarly = false;  // a tag was missing or empty: Cut Area fell back, preview 400 x 300
};

// Overlays the values of `text` onto `settings` in table order. A missing or empty
// tag stops the reading: the values read so far stay, the folders are not applied,
// and the Cut Area takes its fallback values.
SettingsReadResult ParseSettings(std::string_view text, AppSettings& settings);

// Whether `text` is a settings file at all: no NUL bytes (a binary file) and at least
// one tag with a value. Anything else would only reset the Cut Area to its fallback.
bool HoldsSettings(std::string_view text);

// Reads the file and parses it. A file that cannot be opened changes nothing.
SettingsReadResult ReadSettings(const std::filesystem::path& file, AppSettings& settings);

// The window's file: the 25 values followed by the kept output choices. A file
// without those lines reads as before and leaves `options` as it was.
std::string SettingsFileText(const AppSettings& settings, const SessionOptions& options);
bool WriteSettings(const std::filesystem::path& file, const AppSettings& settings,
                   const SessionOptions& options);
SettingsReadResult ReadSettings(const std::filesystem::path& file, AppSettings& settings,
                                SessionOptions& options);

// Cuts a folder text to at most kMaxFolderLength bytes without splitting a
// UTF-8 letter.
std::string CutFolderText(std::string_view folder);

}  // namespace corvinex
