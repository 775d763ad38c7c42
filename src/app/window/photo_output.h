#pragma once
// CONVERT on an open photo: the save chooser offers picture types and proposes
// NAME_Unwrapped.jpg, and the photo is unwrapped into a picture with the window's
// Cut Area and image settings, without an encoder or frame files.

#include <QStringList>
#include <string>

#include "convert/photo_convert.h"

namespace corvinex {

class MainWindow;
struct LogoState;
struct ProgramState;

// .jpg, .png and .tif, in that order.
QStringList PhotoOutputFilters();

// The save chooser for a photo; a JPEG then asks for its quality (kept in
// `jpegQuality`). Empty when cancelled.
std::string ChoosePhotoOutput(MainWindow& window, const std::string& photoPath,
                              int32_t& jpegQuality);

// Unwraps the photo at `input` into `output` with the state's settings: the upright
// picture the previews show, so that the Cut Area placed on them is the one used. An
// existing `output` is replaced (the chooser asked). A present `logo` goes under the
// panorama, as in a movie's conversion and the batch tool's.
PhotoOutcome ConvertWindowPhoto(ProgramState& state, const std::string& input,
                                const std::string& output, int32_t jpegQuality,
                                const LogoState* logo = nullptr);

// Both, with the result told in a message box.
void ConvertPhotoInWindow(MainWindow& window, const std::string& input);

}  // namespace corvinex
