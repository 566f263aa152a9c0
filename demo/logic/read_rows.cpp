// SPDX-License-Identifier: Apache-2.0
#include "read_rows.h"

#include <cstdio>

#include "area.h"
#include "dialog_fields.h"
#include "notation.h"

namespace orvapanel {
namespace {

namespace vars = orva::vars;

std::string hexText(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);  // words are not padded to four digits
    return text;
}

std::string elementAddress(char areaLetter, unsigned dbNumber, vars::Unit unit, unsigned start, std::size_t index) {
    return vars::elementAddress(orva::wire::areaCodeOf(areaLetter), static_cast<int>(dbNumber), unit,
                                static_cast<int>(start), static_cast<int>(index));
}

}  // namespace

RowTexts byteRow(std::string address, std::uint8_t value) {
    return {std::move(address), std::to_string(value), hexText(value), vars::printableText(value, vars::Unit::bytes)};
}

RowTexts wordRow(std::string address, std::uint16_t value) {
    return {std::move(address), std::to_string(value), hexText(value), vars::printableText(value, vars::Unit::words)};
}

std::vector<std::string> longestAddressTexts() {
    std::vector<std::string> longest;
    auto consider = [&longest](std::string text) {
        if (!longest.empty() && text.size() < longest.front().size()) return;
        if (!longest.empty() && text.size() > longest.front().size()) longest.clear();
        longest.push_back(std::move(text));
    };
    for (char letter : areaLetterTable) {
        consider(elementAddress(letter, maxDbNumber, vars::Unit::words, maxStart, maxCount - 1));
        if (areaControls(letter).readBytesEnabled)
            consider(elementAddress(letter, maxDbNumber, vars::Unit::bytes, maxStart, maxCount - 1));
    }
    return longest;
}

namespace {

// One row per value, each at its own element address.
template <typename Value, typename MakeRow>
std::vector<RowTexts> rowsOf(char areaLetter, unsigned dbNumber, vars::Unit unit, unsigned start,
                             std::span<const Value> values, MakeRow makeRow) {
    std::vector<RowTexts> rows;
    rows.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        rows.push_back(makeRow(elementAddress(areaLetter, dbNumber, unit, start, i), values[i]));
    return rows;
}

}  // namespace

std::vector<RowTexts> byteRows(char areaLetter, unsigned dbNumber, unsigned start,
                               std::span<const std::uint8_t> values) {
    return rowsOf(areaLetter, dbNumber, vars::Unit::bytes, start, values, byteRow);
}

std::vector<RowTexts> wordRows(char areaLetter, unsigned dbNumber, unsigned start,
                               std::span<const std::uint16_t> values) {
    return rowsOf(areaLetter, dbNumber, vars::Unit::words, start, values, wordRow);
}

}  // namespace orvapanel
