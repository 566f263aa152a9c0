// Areas and numbers as orvasim reads them (its options, its control channel)
// and prints them (its startup line, its trace): spelled as in every tool of
// the project, orvacli's numbers and messages included.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wire_format.h"

namespace orvasim {

// A whole text as a number: decimal, or hexadecimal after 0x, with an optional
// minus sign. On failure, error says what is wrong, naming
// what the number is for: "port 'x' is not a number (expected 0..65535)",
// "port 70000 is out of range (0..65535)".
std::optional<long long> readNumber(std::string_view text, long long low, long long high, std::string_view what,
                                    std::string& error);

struct AreaSpelling {
    orva::wire::AreaCode area = orva::wire::AreaCode::none;
    std::optional<int> block;  // a block number spelled with the area: DB5, X7
};

// A or O, E or I, M, T, Z or C, D or DB, X or DX in either case; the blocks may
// carry their number 0..255 (DB5, D5, DX7, X7). An unknown spelling's error
// offers `choices`.
inline constexpr std::string_view allAreas = "A or O, E or I, M, T, Z or C, DB<n> or D<n>, DX<n> or X<n> (n 0..255)";
inline constexpr std::string_view blockAreas = "DB<n> or D<n>, DX<n> or X<n> (n 0..255)";
std::optional<AreaSpelling> readArea(std::string_view text, std::string& error, std::string_view choices = allAreas);

// DB5, DX7, or the letter (A, E, M, T, Z); "area code N" for a code no area has.
std::string areaText(orva::wire::AreaCode area, int block);

inline bool isBlockArea(orva::wire::AreaCode area) {
    return area == orva::wire::AreaCode::dataBlock || area == orva::wire::AreaCode::extendedDataBlock;
}

}  // namespace orvasim
