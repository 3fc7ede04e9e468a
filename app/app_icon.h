#pragma once
#include <QIcon>
#include <QImage>

namespace desktop {

// The program's icon, drawn rather than loaded so that it needs no image plug-in: eight equalizer bars
// on a dark rounded square, the same drawing as resources/desktop/tonvex.svg.
QImage DrawAppIcon(int size);
QIcon AppIcon();

}  // namespace desktop
