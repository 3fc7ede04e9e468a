#include "panels/template_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyleOptionSlider>

#include "panels/side_ids.h"
#include "panels/string_ids.h"
#include "widgets/dialog_units.h"
#include "widgets/ui_text.h"

namespace panels {
namespace {

// The panels' check boxes and radio buttons leave 3 pixels between the box and its text; a style's
// wider gap would cut their texts short in the space the layout gives them. The sliders hold their largest
// value at the top, which a style draws as a groove filled from the top; here the fill runs from the bottom
// up to the handle, so a full groove means a high value.
class TemplateStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_Slider || !slider) return QProxyStyle::drawComplexControl(control, option, painter, widget);
    // The mirrored position on the mirrored scale puts the handle on the same spot and the fill on the
    // other side of it.
    QStyleOptionSlider mirrored(*slider);
    mirrored.upsideDown = !slider->upsideDown;
    mirrored.sliderPosition = slider->maximum - (slider->sliderPosition - slider->minimum);
    mirrored.sliderValue = slider->maximum - (slider->sliderValue - slider->minimum);
    QProxyStyle::drawComplexControl(control, &mirrored, painter, widget);
  }
};

QStyle* TemplateControlStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    style = new TemplateStyle;
    style->setParent(QCoreApplication::instance());  // lives as long as the application
  }
  return style;
}

}  // namespace

QSlider* MakeSlider(QWidget* parent, int x, int y, int width, int height, int maximum, const QString& name) {
  auto* slider = new QSlider(Qt::Vertical, parent);
  slider->setGeometry(widgets::DialogRect(x, y, width, height));
  slider->setRange(0, maximum);
  // Position 0 at the top; Up moves toward it, Page Up by a tenth of the range as a trackbar does.
  slider->setInvertedAppearance(true);
  slider->setInvertedControls(true);
  slider->setStyle(TemplateControlStyle());
  slider->setPageStep(std::max(1, maximum / 10));
  slider->setFocusPolicy(Qt::StrongFocus);
  slider->setAccessibleName(name);
  return slider;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width, int height, Qt::Alignment alignment) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(widgets::DialogRect(x, y, width, height));
  label->setAlignment(alignment | Qt::AlignTop);
  return label;
}

QGroupBox* MakeGroupBox(QWidget* parent, const QString& title, int x, int y, int width, int height) {
  auto* box = new QGroupBox(title, parent);
  box->setGeometry(widgets::DialogRect(x, y, width, height));
  box->setFocusPolicy(Qt::NoFocus);
  return box;
}

QCheckBox* MakeCheckBox(QWidget* parent, const QString& text, int x, int y, int width, int height) {
  auto* box = new QCheckBox(text, parent);
  box->setStyle(TemplateControlStyle());
  box->setGeometry(widgets::DialogRect(x, y, width, height));
  box->setFocusPolicy(Qt::StrongFocus);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int x, int y, int width, int height) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(widgets::DialogRect(x, y, width, height));
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

QButtonGroup* MakeSideButtons(QWidget* parent) {
  MakeGroupBox(parent, widgets::UiText(kStringSide), 96, 144, 110, 25);
  auto* group = new QButtonGroup(parent);
  const struct {
    int id;
    int text;
    int x;
  } buttons[] = {{kSideLeft, kStringLeft, 100}, {kSideRight, kStringRight, 132}, {kSideBoth, kStringBoth, 168}};
  for (const auto& each : buttons) {
    auto* button = new QRadioButton(widgets::UiText(each.text), parent);
    button->setStyle(TemplateControlStyle());
    button->setGeometry(widgets::DialogRect(each.x, 155, 33, 10));
    button->setFocusPolicy(Qt::StrongFocus);
    group->addButton(button, each.id);
  }
  return group;
}

void CheckSide(QButtonGroup* sides, int side) {
  QAbstractButton* button = sides->button(side);
  if (!button) return;
  const QSignalBlocker block(sides);
  button->setChecked(true);
}

}  // namespace panels
