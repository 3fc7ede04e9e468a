#include "widgets/ui_text.h"

#include "platform/string_table.h"

namespace widgets {

QString UiText(int id) { return QString::fromStdString(platform::LoadString(id)); }

}  // namespace widgets
