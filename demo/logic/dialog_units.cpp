// SPDX-License-Identifier: Apache-2.0
#include "dialog_units.h"

#include <cmath>

namespace orvapanel {

int DialogUnits::horizontal(int units) const { return static_cast<int>(std::lround(units * charWidth / 4.0)); }

int DialogUnits::vertical(int units) const { return static_cast<int>(std::lround(units * charHeight / 8.0)); }

PixelRect DialogUnits::toPixels(DialogRect r) const {
    const int left = horizontal(r.x);
    const int top = vertical(r.y);
    return {left, top, horizontal(r.x + r.width) - left, vertical(r.y + r.height) - top};
}

}  // namespace orvapanel
