#pragma once
// The output choices that outlive a run (flips, output type, resize, quality,
// sound, draft, stereo, depth): tagged lines after the 25 original values of the
// settings file. Older files without them read as before; older readers skip them.

#include <string>
#include <string_view>

#include "settings/app_settings.h"

namespace corvinex {

// The lines of the kept choices, each "<TAG>value</TAG>" ended by CR LF.
std::string KeptChoicesText(const SessionOptions& options);

// Overlays the kept choices found in `text` onto `options`. A missing tag keeps
// the value in `options`; a value that is not a whole number in the control's
// range gives that choice's built-in default.
void ReadKeptChoices(std::string_view text, SessionOptions& options);

}  // namespace corvinex
