/* SPDX-License-Identifier: Apache-2.0 */
// The data areas the panel offers and what each one enables.
#pragma once

#include <array>
#include <string_view>

namespace orvapanel {

// The items of the area list, in list order; areaLetterTable[i] is the letter
// of item i.
inline constexpr std::array<std::string_view, 7> areaItems = {
    "Eingang / Input", "Ausgang / Output", "Merker / Flags", "DB / DB", "DX / DX", "Timer", "Zähler / Counter",
};
inline constexpr std::string_view areaLetterTable = "EAMDXTZ";
inline constexpr char initialAreaLetter = 'E';

// Letter of list item index, or 0 when index names no item.
char areaLetterAt(int index);

struct AreaControls {
    bool readBytesEnabled;  // ORVARdB accepts only E, A, M of the seven
    bool dbNumberEnabled;   // only data blocks have a number
};
AreaControls areaControls(char areaLetter);

}  // namespace orvapanel
