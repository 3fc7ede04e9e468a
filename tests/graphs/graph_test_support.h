#pragma once
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QWidget>

namespace graphs_test {

// The graphs' sizes in the panels: 212 x 143 and 240 x 143 dialog units.
inline constexpr int kGraphWidth = 318, kMonitorWidth = 360, kGraphHeight = 232;

inline QImage Render(QWidget& graph) { return graph.grab().toImage().convertToFormat(QImage::Format_RGB32); }

inline QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

inline ::testing::AssertionResult PixelIs(const QImage& image, int x, int y, QRgb expected) {
  const QRgb found = At(image, x, y);
  if (found == (expected & 0xFFFFFFu)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << x << "," << y << ") is " << QColor(found).name().toStdString()
                                       << ", expected " << QColor(expected).name().toStdString();
}

// True when `color` appears in column x between rows top and bottom (inclusive): for sloped lines,
// whose exact pixels are the rasteriser's business.
inline bool ColumnHas(const QImage& image, int x, int top, int bottom, QRgb color) {
  for (int y = top; y <= bottom; ++y)
    if (At(image, x, y) == (color & 0xFFFFFFu)) return true;
  return false;
}

inline int Count(const QImage& image, QRect area, QRgb color) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) count += At(image, x, y) == (color & 0xFFFFFFu);
  return count;
}

}  // namespace graphs_test
