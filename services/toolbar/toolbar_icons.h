#pragma once
#include <QIcon>
#include <QPalette>

namespace services {

// The button image of a toolbar command (Open, Save, Selection, the preset list, Config, About) and
// of a separator (for lists of buttons), drawn at every size the toolbar shows. Outlines, shadows,
// faces and highlights take the palette's button colours, so the images follow the desktop's colour
// scheme as the buttons around them do.
// A command without an image gives a null icon.
QIcon ToolbarIcon(int command, const QPalette& palette);

}  // namespace services
