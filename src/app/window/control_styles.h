#pragma once
// Text and background colours of the controls whose look follows their state.

#include <QFont>
#include <QString>
#include <QWidget>

namespace corvinex {

// Sets a style sheet on a control that is already shown. A new sheet re-polishes
// the control with the inherited default font, larger than the window's: keep its
// own, or its caption grows and is cut off.
inline void Restyle(QWidget& control, const QString& sheet) {
  const QFont font = control.font();
  control.setStyleSheet(sheet);
  control.setFont(font);
}

inline constexpr const char* kWhiteOnBlack = "color: #FFFFFF; background-color: #000000;";
// Off, a light grey: dimmer than white, yet legible on black.
inline constexpr const char* kGreyOnBlack = "color: #C8C8C8; background-color: #000000;";
inline constexpr const char* kAdjustOn = "color: #FFFFFF; background-color: #888888;";
inline constexpr const char* kAdjustOff = "color: #000000; background-color: #888888;";
inline constexpr const char* kFlipHorizontalOn = "color: #FFFFFF; background-color: #4150FF;";
inline constexpr const char* kFlipHorizontalOff = "color: #FFFFFF; background-color: #415072;";
inline constexpr const char* kFlipVerticalOn = "color: #FFFFFF; background-color: #41AF50;";
inline constexpr const char* kFlipVerticalOff = "color: #FFFFFF; background-color: #417250;";

// A drop-down list in white on black, its open list included (which otherwise
// takes the white text onto the light default background).
inline constexpr const char* kDarkListStyle =
    "QComboBox { color: white; background-color: black; }"
    "QComboBox QAbstractItemView { color: white; background-color: black;"
    " selection-color: black; selection-background-color: #C0C0C0; }";

}  // namespace corvinex
