#include "graphs/graph_frame.h"

#include <QPaintEvent>
#include <QPainter>

namespace graphs {

CGraphFrame::CGraphFrame(QWidget* parent, QMargins plotMargins) : QWidget(parent), margins_(plotMargins) {
  // Every pixel is painted each time, so Qt need not erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CGraphFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  client_ = {0, 0, width(), height()};
  plot_ = {client_.left + margins_.left(), client_.top + margins_.top(), client_.right - margins_.right(),
           client_.bottom - margins_.bottom()};
  LayoutChanged();
}

int CGraphFrame::PixelOffset(double offset) {
  constexpr double kFar = 1e6;
  if (!(offset < kFar)) return static_cast<int>(kFar);
  if (!(offset > -kFar)) return static_cast<int>(-kFar);
  return static_cast<int>(offset);
}

int CGraphFrame::LevelRow(double level) const {
  return plot_.top + PixelOffset(plot_.Height() * (kLevelScaleTop - level) / kLevelScaleTop);
}

int CGraphFrame::LevelColumn(double level) const {
  return plot_.left + PixelOffset(plot_.Width() * level / kLevelScaleTop);
}

QFont CGraphFrame::LabelFont(int cellHeight) {
  // Liberation Sans has Arial's metrics. The graphs' heights are character cell heights (ascent plus
  // descent, 1.117 em in both fonts), so a 14-pixel cell is a 12.5-pixel em.
  constexpr double kCellPerEm = (1854.0 + 434.0) / 2048.0;
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(qRound(cellHeight / kCellPerEm));
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void CGraphFrame::InvalidatePlot() { update(plot_.ToQRect()); }

void CGraphFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  DrawBackground(painter);
  DrawCurve(painter);
}

void CGraphFrame::Fill(QPainter& painter, const GraphRect& rect, QRgb color) {
  if (!rect.Empty()) painter.fillRect(rect.ToQRect(), QColor(color));
}

void CGraphFrame::Fill(QPainter& painter, int x, int y, int width, int height, QRgb color) {
  if (width > 0 && height > 0) painter.fillRect(x, y, width, height, QColor(color));
}

void CGraphFrame::Frame(QPainter& painter, const GraphRect& rect, QRgb color) {
  if (rect.Empty()) return;
  Fill(painter, rect.left, rect.top, rect.Width(), 1, color);
  Fill(painter, rect.left, rect.bottom - 1, rect.Width(), 1, color);
  Fill(painter, rect.left, rect.top, 1, rect.Height(), color);
  Fill(painter, rect.right - 1, rect.top, 1, rect.Height(), color);
}

QPen CGraphFrame::LinePen(QRgb color) {
  QPen pen{QColor(color)};
  pen.setWidth(0);               // cosmetic: one pixel whatever the transform
  pen.setCapStyle(Qt::FlatCap);  // leaves out the end point, as a line to a point does on the frame's scale
  return pen;
}

void CGraphFrame::Line(QPainter& painter, QPoint from, QPoint to) {
  if (from != to) painter.drawLine(from, to);
}

void CGraphFrame::Text(QPainter& painter, const GraphRect& rect, const QString& text, Align align) {
  const Qt::Alignment horizontal =
      align == Align::Left ? Qt::AlignLeft : (align == Align::Center ? Qt::AlignHCenter : Qt::AlignRight);
  // Text is not clipped to its rectangle: a label wider than its box overhangs it, so it is read whole,
  // but never past the control's own edges, where it would be cut ("120" beside a 21-pixel margin).
  const int flags = int(horizontal | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip);
  QRect box = rect.ToQRect();
  const QRect drawn = painter.boundingRect(box, flags, text);
  const int deviceWidth = painter.device() ? painter.device()->width() : drawn.right() + 1;
  if (drawn.left() < 0)
    box.translate(-drawn.left(), 0);
  else if (drawn.right() >= deviceWidth && drawn.width() <= deviceWidth)
    box.translate(deviceWidth - 1 - drawn.right(), 0);
  painter.drawText(box, flags, text);
}

void CGraphFrame::FillClientAndPlot(QPainter& painter) const {
  Fill(painter, client_, colors::kClient);
  Fill(painter, plot_, colors::kPlot);
  painter.setPen(QColor(colors::kText));
  painter.setFont(LabelFont(14));
}

}  // namespace graphs
