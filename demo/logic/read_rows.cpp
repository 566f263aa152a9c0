// SPDX-License-Identifier: Apache-2.0
#include "read_rows.h"

#include <cstdio>

#include "area.h"
#include "dialog_fields.h"
#include "notation.h"

namespace orvapanel {
namespace {

orva::notation::Unit notationUnit(Unit unit) {
    return unit == Unit::byte ? orva::notation::Unit::bytes : orva::notation::Unit::words;
}

std::string hexText(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);  // words are not padded to four digits
    return text;
}

}  // namespace

std::string addressLabel(char areaLetter, unsigned dbNumber, Unit unit) {
    return orva::notation::addressLabel(orva::wire::areaCodeOf(areaLetter), static_cast<int>(dbNumber),
                                        notationUnit(unit));
}

RowTexts byteRow(std::string_view label, long address, std::uint8_t value) {
    RowTexts row{std::string(label) + std::to_string(address), std::to_string(value), hexText(value), {}};
    row.chars = orva::notation::printableText(value, orva::notation::Unit::bytes);
    return row;
}

RowTexts wordRow(std::string_view label, long address, std::uint16_t value) {
    RowTexts row{std::string(label) + std::to_string(address), std::to_string(value), hexText(value), {}};
    row.chars = orva::notation::printableText(value, orva::notation::Unit::words);
    return row;
}

std::vector<std::string> longestAddressTexts() {
    std::vector<std::string> longest;
    auto consider = [&longest](std::string text) {
        if (!longest.empty() && text.size() < longest.front().size()) return;
        if (!longest.empty() && text.size() > longest.front().size()) longest.clear();
        longest.push_back(std::move(text));
    };
    for (char letter : areaLetterTable) {
        const long lastWord = static_cast<long>(maxStart) + static_cast<long>(maxCount - 1) * wordAddressStep(letter);
        consider(addressLabel(letter, maxDbNumber, Unit::word) + std::to_string(lastWord));
        if (areaControls(letter).readBytesEnabled) {
            consider(addressLabel(letter, maxDbNumber, Unit::byte) + std::to_string(maxStart + maxCount - 1));
        }
    }
    return longest;
}

std::vector<RowTexts> byteRows(std::string_view label, unsigned start, std::span<const std::uint8_t> values) {
    std::vector<RowTexts> rows;
    rows.reserve(values.size());
    long address = start;
    for (std::uint8_t b : values) rows.push_back(byteRow(label, address++, b));
    return rows;
}

std::vector<RowTexts> wordRows(std::string_view label, unsigned start, int addressStep,
                               std::span<const std::uint16_t> values) {
    std::vector<RowTexts> rows;
    rows.reserve(values.size());
    long address = start;
    for (std::uint16_t w : values) {
        rows.push_back(wordRow(label, address, w));
        address += addressStep;
    }
    return rows;
}

}  // namespace orvapanel
