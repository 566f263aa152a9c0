/* SPDX-License-Identifier: Apache-2.0 */
// The PLC's notation of areas and addresses as every program and binding of
// the project writes and reads it: the spellings of the areas, the addresses
// of their elements, the texts of values, and numbers as the tools read them.
// One copy, so that an area or an address reads alike everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wire_format.h"

namespace orva::vars {

using wire::AreaCode;

enum class Unit { bytes, words };

// --- Numbers -----------------------------------------------------------------

// A whole text as a number: an optional sign, then decimal digits, or 0x and
// hex digits, or 0b and binary digits; nothing else.
std::optional<long long> readNumber(std::string_view text);

// readNumber within [low, high]. On failure, error says what is wrong, naming
// what the number is for: "start 'abc' is not a number (decimal, 0x hex or 0b
// binary)", "start 70000 is out of range (0..65535)".
std::optional<long long> readNumber(std::string_view text, long long low, long long high, std::string_view what,
                                    std::string& error);

// A range as the messages write it: "0..65535".
std::string rangeText(long long low, long long high);

// --- Areas -------------------------------------------------------------------

// A or O outputs, E or I inputs, M flags, T timers, Z or C counters, D or DB
// data blocks, X or DX extended data blocks, in either case; a block may carry
// its number 0..255 (DB5, D5, DX7, X7, also after one blank as the PLC writes
// it: DB 5), read as readNumber reads it. Blanks around the whole are ignored.
// An unknown spelling's error offers choices.
inline constexpr std::string_view allAreas = "A or O, E or I, M, T, Z or C, DB<n> or D<n>, DX<n> or X<n> (n 0..255)";
inline constexpr std::string_view blockAreas = "DB<n> or D<n>, DX<n> or X<n> (n 0..255)";
inline constexpr int maxBlock = 255;

struct SpelledArea {
    AreaCode area = AreaCode::none;
    std::optional<int> block;  // spelled with the area: DB5, X7
};
std::optional<SpelledArea> readArea(std::string_view text, std::string& error, std::string_view choices = allAreas);

inline bool isBlockArea(AreaCode area) { return area == AreaCode::dataBlock || area == AreaCode::extendedDataBlock; }

// The letter the library takes for an area: A E M D X T Z.
char libraryLetter(AreaCode area);

// An area as the tools print it: DB5, DX7, or the letter (A, E, M, T, Z);
// "area code N" for a code no area has.
std::string areaText(AreaCode area, int block);

// Its name in words: "flags (M)", "data blocks (DB)".
std::string_view areaName(AreaCode area);

// --- Addresses ---------------------------------------------------------------

// Addresses one element covers: a word of a byte-counted area (A, E, M) spans
// two, everything else one. Word addresses of A, E and M step by 2.
int addressStep(AreaCode area, Unit unit);

// The prefix of every address of one read: "EB", "MW", "AW", "DB 5 DW",
// "DX 7 DB", "T ", "Z ".
std::string addressLabel(AreaCode area, int block, Unit unit);

// The address of element index of a transfer from start: "MW12", "DB 5 DW3".
std::string elementAddress(AreaCode area, int block, Unit unit, int start, int index);

// --- Values ------------------------------------------------------------------

// 0x20 to 0x7E print; everything else leaves the character column empty.
inline bool isPrintable(unsigned value) { return value >= 0x20 && value <= 0x7E; }

// The characters of an element between single quotes ('A'; a word its
// low-order byte first: 0x4142 is 'BA'), or "" when a byte does not print.
std::string printableText(std::uint16_t value, Unit unit);

}  // namespace orva::vars
