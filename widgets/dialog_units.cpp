#include "widgets/dialog_units.h"

#include <cmath>

namespace widgets {
namespace {

constexpr double kPixelsPerUnitAcross = 1.5;
constexpr double kPixelsPerUnitDown = 1.625;

int Across(int units) { return static_cast<int>(std::lround(units * kPixelsPerUnitAcross)); }
int Down(int units) { return static_cast<int>(std::lround(units * kPixelsPerUnitDown)); }

}  // namespace

QRect DialogRect(int x, int y, int width, int height) {
  const int left = Across(x);
  const int top = Down(y);
  return QRect(left, top, Across(x + width) - left, Down(y + height) - top);
}

QFont TemplateFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

}  // namespace widgets
