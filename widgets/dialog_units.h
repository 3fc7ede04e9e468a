#pragma once
#include <QFont>
#include <QRect>

namespace widgets {

// Windows and panels place every control in dialog units of an 8-point "MS Sans Serif": one unit is
// 1.5 pixels across and 1.625 pixels down. Each edge is rounded to the nearest pixel on its own, so two
// controls that touch in units still touch in pixels.
QRect DialogRect(int x, int y, int width, int height);

// The layouts' font ("MS Sans Serif" 8) becomes the desktop's sans at 8 points.
QFont TemplateFont();

}  // namespace widgets
