#include "services/toolbar/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>
#include <numbers>

#include "services/command_ids.h"
#include "services/toolbar/toolbar_layout.h"

namespace services {
namespace {

// Each image is drawn on a 16 × 16 grid and scaled; these are the sizes the toolbar asks for (small
// and large icons, and both at twice the pixel density).
constexpr int kImageSizes[] = {16, 24, 32, 48};
constexpr double kGrid = 16.0;

// The colours of the old bitmaps' four system greys, taken from the palette.
struct ButtonColours {
  QColor text, shadow, face, highlight;
};

using Painter = std::function<void(QPainter&, const ButtonColours&)>;

void DrawOpen(QPainter& p, const ButtonColours& c) {
  p.setPen(QPen(c.text, 1.0));
  p.setBrush(QColor(224, 176, 48));
  p.drawPolygon(QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {13.5, 5}, {13.5, 13.5}, {1.5, 13.5}}));
  p.setBrush(QColor(255, 222, 110));
  p.drawPolygon(QPolygonF({{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {1.5, 13.5}}));
}

void DrawSave(QPainter& p, const ButtonColours& c) {
  p.setPen(QPen(c.text, 1.0));
  p.setBrush(QColor(40, 80, 170));
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  p.setBrush(c.face);
  p.drawRect(QRectF(4.5, 1.5, 7, 5));
  p.fillRect(QRectF(9, 2.5, 1.5, 3), c.shadow);
  p.setBrush(c.highlight);
  p.drawRect(QRectF(3.5, 8.5, 9, 6));
  p.setPen(QPen(c.shadow, 1.0));
  p.drawLine(QPointF(5, 10.5), QPointF(11, 10.5));
  p.drawLine(QPointF(5, 12.5), QPointF(11, 12.5));
}

// Three equalizer sliders: a preset is a setting of them.
void DrawSelection(QPainter& p, const ButtonColours& c) {
  const double knobs[] = {9.5, 4.5, 7.5};
  for (int i = 0; i < 3; ++i) {
    const double x = 3.5 + 4.5 * i;
    p.setPen(QPen(c.shadow, 1.0));
    p.drawLine(QPointF(x, 1.5), QPointF(x, 14.5));
    p.setPen(QPen(c.text, 1.0));
    p.setBrush(QColor(40, 140, 60));
    p.drawRect(QRectF(x - 2, knobs[i] - 1.5, 4, 3));
  }
}

void DrawPresetList(QPainter& p, const ButtonColours& c) {
  p.setPen(QPen(c.text, 1.0));
  p.setBrush(c.highlight);
  p.drawRect(QRectF(0.5, 4.5, 15, 7));
  p.setBrush(c.face);
  p.drawRect(QRectF(9.5, 4.5, 6, 7));
  p.setPen(Qt::NoPen);
  p.setBrush(c.text);
  p.drawPolygon(QPolygonF({{10.5, 7}, {14.5, 7}, {12.5, 9.5}}));
  p.fillRect(QRectF(2, 7.5, 5.5, 1), c.shadow);
}

void DrawConfig(QPainter& p, const ButtonColours& c) {
  constexpr int kTeeth = 8;
  QPainterPath gear;
  for (int i = 0; i < 2 * kTeeth; ++i) {
    // Alternate outer and inner corners, two per tooth and two per gap.
    for (double side : {-0.5, 0.5}) {
      const double angle = (i + side * 0.7) * std::numbers::pi / kTeeth;
      const double radius = i % 2 == 0 ? 7.0 : 5.0;
      const QPointF point(8 + radius * std::cos(angle), 8 + radius * std::sin(angle));
      if (gear.elementCount() == 0)
        gear.moveTo(point);
      else
        gear.lineTo(point);
    }
  }
  gear.closeSubpath();
  gear.addEllipse(QPointF(8, 8), 2.2, 2.2);
  p.setPen(QPen(c.text, 1.0));
  p.setBrush(c.shadow);
  p.drawPath(gear);
}

void DrawAbout(QPainter& p, const ButtonColours& c) {
  p.setPen(QPen(c.text, 1.0));
  p.setBrush(QColor(40, 80, 170));
  p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
  p.setPen(Qt::NoPen);
  p.setBrush(c.highlight);
  p.drawEllipse(QPointF(8, 4.8), 1.2, 1.2);
  p.drawRect(QRectF(7, 7, 2, 5.5));
}

// A signal path that goes around the box of effects: the sound passes by untouched.
void DrawBypass(QPainter& p, const ButtonColours& c) {
  p.setPen(QPen(c.text, 1.0));
  p.setBrush(c.shadow);
  p.drawRect(QRectF(5.5, 8.5, 5, 5));
  p.setPen(QPen(QColor(40, 140, 60), 1.6));
  p.setBrush(Qt::NoBrush);
  QPainterPath path(QPointF(0.5, 10.5));
  path.lineTo(3, 10.5);
  path.cubicTo(3, 2.5, 13, 2.5, 13, 10.5);
  path.lineTo(15.5, 10.5);
  p.drawPath(path);
}

// A groove, as the toolbar draws between groups of buttons.
void DrawSeparator(QPainter& p, const ButtonColours& c) {
  p.fillRect(QRectF(7, 2, 1, 12), c.shadow);
  p.fillRect(QRectF(8, 2, 1, 12), c.highlight);
}

Painter PainterFor(int command) {
  switch (command) {
    case kSeparatorCommand: return DrawSeparator;
    case kCommandOpen: return DrawOpen;
    case kCommandSave: return DrawSave;
    case kCommandSelection: return DrawSelection;
    case kCommandPresetList: return DrawPresetList;
    case kCommandConfig: return DrawConfig;
    case kCommandAbout: return DrawAbout;
    case kCommandBypass: return DrawBypass;
    default: return nullptr;
  }
}

}  // namespace

QIcon ToolbarIcon(int command, const QPalette& palette) {
  const Painter draw = PainterFor(command);
  if (!draw) return {};
  const ButtonColours colours{palette.color(QPalette::ButtonText), palette.color(QPalette::Dark),
                              palette.color(QPalette::Button), palette.color(QPalette::Light)};
  QIcon icon;
  for (int size : kImageSizes) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    draw(painter, colours);
    painter.end();
    icon.addPixmap(image);
  }
  return icon;
}

}  // namespace services
