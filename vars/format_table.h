/* SPDX-License-Identifier: Apache-2.0 */
// The one table of the data formats: their spellings, the units each applies
// to and the kind of value it gives. The parser, the messages and the test
// that holds docs/variables.md to it read it from here.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "orvavars.h"

namespace orva::vars {

// The formats and the kinds of value, with the numbers of orvavars.h's
// ORVAVARS_FORMAT_* and ORVAVARS_KIND_*, which run on one by one from the
// first: the asserts hold the last ones to the header.
enum class Format : int { boolean = ORVAVARS_FORMAT_BOOLEAN, unsignedNumber, kf, kh, km, ky, kc, kt, kz, kg, dh, ks };
static_assert(static_cast<int>(Format::ks) == ORVAVARS_FORMAT_KS);

enum class Kind : int { none = ORVAVARS_KIND_NONE, boolean, integer, real, text, time };
static_assert(static_cast<int>(Kind::time) == ORVAVARS_KIND_TIME);

// The units a format may apply to, as a mask. Words of timers and counters
// (T, Z) are cells of their own: no string starts there.
enum UnitBits : unsigned {
    onBits = 1u << 0,
    onBytes = 1u << 1,  // MB, DL, DR
    onWords = 1u << 2,  // MW, DW
    onDoubles = 1u << 3,
    onCells = 1u << 4,  // T, Z
};

struct FormatRow {
    Format format;
    std::string_view name;  // as written after the colon; empty for the two defaults
    unsigned units;
    Kind kind;
    bool defaultFormat;  // what a variable without a format has on these units
};

inline constexpr std::array<FormatRow, 12> formatTable = {{
    {Format::boolean, "", onBits, Kind::boolean, true},
    {Format::unsignedNumber, "", onBytes | onWords | onDoubles | onCells, Kind::integer, true},
    {Format::kf, "KF", onBytes | onWords | onDoubles | onCells, Kind::integer, false},
    {Format::kh, "KH", onBytes | onWords | onCells, Kind::integer, false},
    {Format::km, "KM", onBytes | onWords | onDoubles | onCells, Kind::integer, false},
    {Format::ky, "KY", onWords | onCells, Kind::integer, false},
    {Format::kc, "KC", onBytes | onWords, Kind::text, false},
    {Format::kt, "KT", onWords | onCells, Kind::time, false},
    {Format::kz, "KZ", onWords | onCells, Kind::integer, false},
    {Format::kg, "KG", onDoubles, Kind::real, false},
    {Format::dh, "DH", onDoubles, Kind::integer, false},
    {Format::ks, "KS", onBytes | onWords, Kind::text, false},
}};

// The spelled formats in the order of the table, for messages: "KF KH ... KS".
std::string formatChoices();

const FormatRow& formatRow(Format format);
// A spelled format by its name (upper case), or nothing.
std::optional<Format> formatNamed(std::string_view upperName);

// The units of a mask in words: "bytes, words, double words, timers and counters".
std::string unitWords(unsigned units);

}  // namespace orva::vars
