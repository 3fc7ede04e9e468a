#pragma once
#include <QColor>
#include <QLabel>
#include <QString>
#include <functional>

namespace widgets {

// A static text turned into a web link: underlined, blue, red while the pointer is over it, dark blue
// once clicked; a hand pointer; a click (or Space/Enter when it has the focus) opens the address. Tab
// reaches it, and a dotted focus frame around the text shows when it has the focus.
class CLinkLabel : public QLabel {
 public:
  explicit CLinkLabel(const QString& text, QWidget* parent = nullptr);

  void SetUrl(const QString& url) { url_ = url; }
  const QString& Url() const { return url_; }
  void EnableTooltip(bool enable) { tooltipEnabled_ = enable; }
  // Ignored until EnableTooltip(true).
  void SetTooltipText(const QString& text);

  bool Visited() const { return visited_; }
  QColor TextColour() const;

  // How the address is opened; the desktop's default handler unless replaced (tests).
  std::function<void(const QString&)> openUrl;

  static constexpr QColor kLinkColour{0, 0, 255};
  static constexpr QColor kHoverColour{255, 0, 0};
  static constexpr QColor kVisitedColour{5, 34, 143};

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Open();
  void Repaint();

  QString url_;
  bool tooltipEnabled_ = false;
  bool hovering_ = false;
  bool visited_ = false;
};

}  // namespace widgets
