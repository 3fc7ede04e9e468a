#pragma once
#include <QString>

namespace widgets {

inline constexpr int kStringFrameTitle = 57344;  // "Tonvex v1.0": the main window's and the message boxes' title
inline constexpr int kStringOk = 62304;          // the dialogs' own OK and Cancel buttons
inline constexpr int kStringCancel = 62303;

// A string-table text in the interface language, for a widget.
QString UiText(int id);

}  // namespace widgets
