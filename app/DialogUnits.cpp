#include "DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

namespace velmora {
namespace {

// value * numerator / denominator, rounded to the nearest integer.
int Scale(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int width, int height) {
    // The average width of the 52 letters, rounded, as dialog base units have
    // always been measured; a font's own "average" is often narrower and would
    // leave too little room for the texts the controls were laid out for.
    const QFontMetrics metrics(font);
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int cx = Scale(metrics.horizontalAdvance(kLetters), 1, 52);
    const int cy = metrics.height();
    return {Scale(x, cx, 4), Scale(y, cy, 8), Scale(width, cx, 4), Scale(height, cy, 8)};
}

void PlaceControl(QWidget* control, int id, const QFont& font, int x, int y, int width,
                  int height) {
    if (id != -1) control->setObjectName(QString::number(id));
    control->setGeometry(DialogUnitsToPixels(font, x, y, width, height));
}

QLabel* PlaceLabel(const QString& text, QWidget* field, const QFont& font, int x, int y, int width,
                   int height) {
    auto* label = new QLabel(text, field->parentWidget());
    PlaceControl(label, -1, font, x, y, width, height);
    label->setBuddy(field);
    QString name = text;
    if (name.endsWith(QLatin1Char(':'))) name.chop(1);
    field->setAccessibleName(name);
    return label;
}

}  // namespace velmora
