// SPDX-License-Identifier: Apache-2.0
#include "dialog_geometry.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <algorithm>

namespace orvapanel {

DialogUnits dialogUnitsOf(const QFont& font) {
    const QFontMetricsF metrics(font);
    // Averaged over the alphabet, as dialog units have always been measured.
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {metrics.horizontalAdvance(alphabet) / static_cast<double>(alphabet.size()), metrics.height()};
}

void place(QWidget* widget, const DialogUnits& units, DialogRect rect) {
    const PixelRect p = units.toPixels(rect);
    widget->setGeometry(p.x, p.y, p.width, p.height);
}

void placeLabel(QLabel* label, const DialogUnits& units, DialogRect rect) {
    const PixelRect p = units.toPixels(rect);
    const QSize text = label->fontMetrics().size(0, label->text());
    const int width = std::max(p.width, text.width());
    const int x = label->alignment() & Qt::AlignRight ? p.x + p.width - width : p.x;
    label->setGeometry(x, p.y, width, std::max(p.height, text.height()));
}

}  // namespace orvapanel
