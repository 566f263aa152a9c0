// SPDX-License-Identifier: Apache-2.0
#include "area.h"

#include "notation.h"

namespace orvapanel {
namespace {

bool isDataBlock(char letter) { return orva::vars::isBlockArea(orva::wire::areaCodeOf(letter)); }
bool isByteAddressed(char letter) { return !orva::wire::isWordCounted(orva::wire::areaCodeOf(letter)); }

}  // namespace

char areaLetterAt(int index) {
    if (index < 0 || index >= static_cast<int>(areaLetterTable.size())) return 0;
    return areaLetterTable[static_cast<std::size_t>(index)];
}

AreaControls areaControls(char areaLetter) { return {isByteAddressed(areaLetter), isDataBlock(areaLetter)}; }

}  // namespace orvapanel
