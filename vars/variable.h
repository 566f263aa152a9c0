/* SPDX-License-Identifier: Apache-2.0 */
// One variable in the PLC's notation: "DB10.DD30:KG", "MW20:KF", "M 20.3",
// "T3". The grammar is in docs/variables.md; this is its only parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "format_table.h"
#include "wire_format.h"

namespace orva::vars {

using wire::AreaCode;

// What a variable addresses, with the numbers of ORVAVARS_ELEMENT_* (one by one from BIT).
enum class Element : int { bit = ORVAVARS_ELEMENT_BIT, byte, word, doubleWord, leftByte, rightByte };
static_assert(static_cast<int>(Element::rightByte) == ORVAVARS_ELEMENT_RIGHT_BYTE);

struct Variable {
    AreaCode area = AreaCode::none;
    int block = 0;  // D and X
    Element element = Element::word;
    int address = 0;  // as written: byte (A E M), data word (D X), cell (T Z)
    int bit = -1;
    Format format = Format::unsignedNumber;
    int length = 0;      // KS
    int byteOffset = 0;  // from byte 0 of the area
    int byteCount = 0;

    // The unit the format table speaks of (onBits, onBytes, ...).
    unsigned unit() const;
    // The bits of the value: 1, 8, 16 or 32 (a string: 8 a character).
    int width() const;
    // The bits of each of its bytes that are its own: a bit's one, else all eight.
    std::uint8_t byteMask() const { return element == Element::bit ? std::uint8_t(1u << (bit % 8)) : 0xFF; }
    bool operator==(const Variable&) const = default;
};

struct ParseError {
    int code = 0;      // ORVAVARS_ERR_*
    int position = 0;  // 1-based; 0 when not about a position
    std::string message;
};

// A whole text as a variable (blanks around it are ignored), or why not.
std::variant<Variable, ParseError> parseVariable(std::string_view text);

// "DB10.DD30:KG=12.5": a variable and the text of the value to give it, as
// the tools take it; the first "=" ends the variable. Positions count in the
// whole text.
struct Assignment {
    Variable variable;
    std::string_view value;  // into the text given, as typed (ORVAVarsSetText's rules read it)
};
std::variant<Assignment, ParseError> parseAssignment(std::string_view text);

// Its spelling as the tools print it: upper case, the areas by their own
// letters (AB3 for QB3), no optional blanks, the format after a colon unless
// it is the default.
std::string variableText(const Variable& v);

// Bytes in an area: 65536 for A, E and M; two a word for the others.
int areaBytes(AreaCode area);

}  // namespace orva::vars
