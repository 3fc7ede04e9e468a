#pragma once
#include <QString>
#include <Qt>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;

// The panels' controls, each placed at its position in dialog units.
namespace panels {

// A vertical slider with its smallest position at the top (the stored positions count from there); the
// arrow keys move the thumb the way they point. `name` is what a screen reader says for it.
QSlider* MakeSlider(QWidget* parent, int x, int y, int width, int height, int maximum, const QString& name);
QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width, int height,
                  Qt::Alignment alignment = Qt::AlignLeft);
QGroupBox* MakeGroupBox(QWidget* parent, const QString& title, int x, int y, int width, int height);
QCheckBox* MakeCheckBox(QWidget* parent, const QString& text, int x, int y, int width, int height);
QPushButton* MakeButton(QWidget* parent, const QString& text, int x, int y, int width, int height);

// The "Side: " group with the Left, Right and Both radio buttons, whose group ids are the side ids.
QButtonGroup* MakeSideButtons(QWidget* parent);
// Checks the button of `side` without it counting as the user's click.
void CheckSide(QButtonGroup* sides, int side);

}  // namespace panels
