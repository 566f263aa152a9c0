/* SPDX-License-Identifier: Apache-2.0 */
// Placing controls by dialog units of a window's own font.
#pragma once

#include "dialog_units.h"

class QFont;
class QLabel;
class QWidget;

namespace orvapanel {

DialogUnits dialogUnitsOf(const QFont& font);
void place(QWidget* widget, const DialogUnits& units, DialogRect rect);

// Places a label like place(), but never smaller than its text: the template
// was drawn for a narrower font than most platforms have. A right-aligned
// label grows to the left, any other to the right.
void placeLabel(QLabel* label, const DialogUnits& units, DialogRect rect);

}  // namespace orvapanel
