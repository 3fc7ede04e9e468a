#pragma once
#include <QString>

namespace app {

// A string-table text in the interface language, for a widget.
QString UiText(int id);

}  // namespace app
