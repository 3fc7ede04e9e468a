#include "app/ui_text.h"

#include "platform/string_table.h"

namespace app {

QString UiText(int id) { return QString::fromStdString(platform::LoadString(id)); }

}  // namespace app
