#include "widgets/link_label.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QUrl>

namespace widgets {

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  Repaint();
}

void CLinkLabel::SetTooltipText(const QString& text) {
  if (tooltipEnabled_) setToolTip(text);
}

QColor CLinkLabel::TextColour() const {
  if (visited_) return kVisitedColour;
  return hovering_ ? kHoverColour : kLinkColour;
}

void CLinkLabel::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  Repaint();
  QLabel::enterEvent(event);
}

void CLinkLabel::leaveEvent(QEvent* event) {
  hovering_ = false;
  Repaint();
  QLabel::leaveEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Open();
  QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    Open();
    return;
  }
  QLabel::keyPressEvent(event);
}

void CLinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QStylePainter painter(this);
  QStyleOptionFocusRect frame;
  frame.initFrom(this);
  const QRect textRect =
      style()->itemTextRect(fontMetrics(), contentsRect(), static_cast<int>(alignment()), true, text());
  frame.rect = textRect.adjusted(-2, 0, 2, 0).intersected(rect());
  frame.backgroundColor = palette().color(QPalette::Window);
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
}

void CLinkLabel::Open() {
  // A failure to open the address is not reported; the link shows as visited all the same.
  if (openUrl) openUrl(url_);
  visited_ = true;
  Repaint();
}

void CLinkLabel::Repaint() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, TextColour());
  setPalette(colours);
}

}  // namespace widgets
