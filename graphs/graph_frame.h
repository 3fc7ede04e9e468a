#pragma once
#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPen>
#include <QRect>
#include <QString>
#include <QWidget>

class QPainter;

namespace graphs {

// A rectangle as the drawing formulas state it: right and bottom are one past the last pixel.
struct GraphRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
};

// The colours every graph shares.
namespace colors {
inline constexpr QRgb kClient = qRgb(236, 233, 216);  // client area outside the plot
inline constexpr QRgb kPlot = qRgb(158, 186, 199);    // plot background
inline constexpr QRgb kGrid = qRgb(127, 127, 127);
inline constexpr QRgb kFrame = qRgb(0, 64, 128);     // plot frame, brackets and dimension lines
inline constexpr QRgb kSameCurve = qRgb(0, 0, 255);  // left and right settings agree
inline constexpr QRgb kLeftCurve = qRgb(0, 255, 0);
inline constexpr QRgb kRightCurve = qRgb(255, 0, 0);
inline constexpr QRgb kText = qRgb(0, 0, 0);
}  // namespace colors

// Level axes run from 0 to this many dB, 0 at the bottom or left edge of the plot.
inline constexpr int kLevelScaleTop = 120;

// Text placement inside a rectangle.
enum class Align { Left, Center, Right };

// The frame shared by the four graphs: client and plot rectangles, the level scale, and the drawing
// primitives with the conventions the graphs are specified in (1-pixel fills, lines that leave out their
// end point, no antialiasing). Setters in the graphs store values and repaint only the plot; painting
// only reads members.
class CGraphFrame : public QWidget {
  Q_OBJECT
 public:
  // `plotMargins`: the plot is the client less these (left, top, right, bottom).
  CGraphFrame(QWidget* parent, QMargins plotMargins);

  const GraphRect& ClientRect() const { return client_; }
  const GraphRect& PlotRect() const { return plot_; }

  // Row of a level on the plot's vertical level axis: top + trunc(H * (120 - level) / 120).
  int LevelRow(double level) const;
  // Column of a level on a horizontal level axis: left + trunc(W * level / 120).
  int LevelColumn(double level) const;

  // Truncates toward zero; an offset beyond any screen (or not a number) becomes a far but defined pixel.
  static int PixelOffset(double offset);

  // The label font: "Arial" with a character cell `cellHeight` pixels high, Liberation Sans here.
  static QFont LabelFont(int cellHeight);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

  // The two painting steps; the frame calls both on every painting, clipped to the invalid region.
  virtual void DrawBackground(QPainter& painter) = 0;
  virtual void DrawCurve(QPainter& painter) = 0;
  // Called once the rectangles are known (and again should the widget ever be resized).
  virtual void LayoutChanged() {}
  // Repaints the plot area only (what every setter does).
  void InvalidatePlot();

  // Drawing primitives, all in client pixels.
  static void Fill(QPainter& painter, const GraphRect& rect, QRgb color);
  static void Fill(QPainter& painter, int x, int y, int width, int height, QRgb color);
  // A 1-pixel frame inside `rect`.
  static void Frame(QPainter& painter, const GraphRect& rect, QRgb color);
  // A 1-pixel line from `from` up to, not including, `to`, in the painter's current pen.
  static void Line(QPainter& painter, QPoint from, QPoint to);
  // The pen for Line and polylines: solid, 1 pixel, flat ends (the end point is left out).
  static QPen LinePen(QRgb color);
  // Text in `rect`, vertically at its top as a single line, horizontally as `align` says.
  static void Text(QPainter& painter, const GraphRect& rect, const QString& text, Align align);
  // The common start of every background: client fill, plot fill, text settings and the label font.
  void FillClientAndPlot(QPainter& painter) const;

 private:
  QMargins margins_;
  GraphRect client_;
  GraphRect plot_;
};

}  // namespace graphs
