#include "area.h"

namespace orvapanel {
namespace {

bool isDataBlock(char letter) { return letter == 'D' || letter == 'X'; }
bool isByteAddressed(char letter) { return letter == 'E' || letter == 'A' || letter == 'M'; }

}  // namespace

char areaLetterAt(int index) {
    if (index < 0 || index >= static_cast<int>(areaLetterTable.size())) return 0;
    return areaLetterTable[static_cast<std::size_t>(index)];
}

AreaControls areaControls(char areaLetter) {
    return {isByteAddressed(areaLetter), isDataBlock(areaLetter)};
}

int wordAddressStep(char areaLetter) { return isByteAddressed(areaLetter) ? 2 : 1; }

}  // namespace orvapanel
