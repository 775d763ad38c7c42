#include "cli/batch_settings.h"

#include <system_error>

#include "settings/settings_file.h"
#include "settings/whole_file.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

enum class Found { Missing, Unreadable, NotSettings, Read };

Found ReadIfSettings(const fs::path& file, AppSettings& settings) {
  std::error_code error;
  if (!fs::exists(file, error)) return Found::Missing;
  if (!fs::is_regular_file(file, error)) return Found::Unreadable;
  const std::optional<std::string> text = ReadWholeFile(file);
  if (!text) return Found::Unreadable;
  if (!HoldsSettings(*text)) return Found::NotSettings;
  ParseSettings(*text, settings);
  return Found::Read;
}

std::string WhyPassedOver(const fs::path& file, Found found) {
  return file.string() +
         (found == Found::NotSettings ? " is not a settings file" : " cannot be read");
}

}  // namespace

BatchSettingsLoad LoadBatchSettings(const std::optional<fs::path>& given, const fs::path& own,
                                    AppSettings& settings) {
  BatchSettingsLoad load;
  const AppSettings defaults = settings;
  if (given) {
    const Found found = ReadIfSettings(*given, settings);
    if (found == Found::Read) return load;
    // A name mistyped or a file the user cannot read is an error: they named it.
    if (found == Found::Missing) {
      load.error = "settings file not found: " + given->string();
      return load;
    }
    if (found == Found::Unreadable) {
      load.error = "settings file cannot be read: " + given->string();
      return load;
    }
    settings = defaults;
    std::error_code error;
    const bool ownDiffers = !fs::equivalent(*given, own, error);
    if (ownDiffers && ReadIfSettings(own, settings) == Found::Read) {
      load.warning = WhyPassedOver(*given, found) + "; the program's own settings (" +
                     own.string() + ") are used instead";
      return load;
    }
    settings = defaults;
    load.warning = WhyPassedOver(*given, found) + "; the default settings are used instead";
    return load;
  }
  const Found found = ReadIfSettings(own, settings);
  if (found == Found::Read || found == Found::Missing) return load;
  settings = defaults;
  load.warning = WhyPassedOver(own, found) + "; the default settings are used instead";
  return load;
}

}  // namespace corvinex
