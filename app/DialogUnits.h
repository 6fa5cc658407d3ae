// Dialog layout in dialog units: a horizontal unit is a quarter of the dialog
// font's average character width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

class QLabel;
class QString;
class QWidget;

namespace velmora {

// The font every dialog of the program is laid out in: the application's
// default family at 8 points.
QFont DialogFont();

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int width, int height);

// Gives `control` its place (in dialog units of `font`) and, for ids other
// than -1, its id as its objectName.
void PlaceControl(QWidget* control, int id, const QFont& font, int x, int y, int width, int height);

// A label, placed as PlaceControl places a control, that names `field` for a
// screen reader: it is the field's buddy, and its text without the closing
// colon is the field's accessible name (a combo box would otherwise be named
// by the value it shows).
QLabel* PlaceLabel(const QString& text, QWidget* field, const QFont& font, int x, int y, int width,
                   int height);

}  // namespace velmora
