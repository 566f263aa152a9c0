// SPDX-License-Identifier: Apache-2.0
#include "dialog_fields.h"

#include <limits>

#include "area.h"

namespace orvapanel {
namespace {

constexpr std::size_t numberTextLimit = 31;  // the edits are read into a 32-byte buffer

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string replacePlaceholders(std::string text, std::string_view first, std::string_view second = {}) {
    auto replace = [&text](std::string_view placeholder, std::string_view value) {
        if (auto at = text.find(placeholder); at != std::string::npos) text.replace(at, placeholder.size(), value);
    };
    replace("%1", first);
    replace("%2", second);
    return text;
}

std::optional<FieldFailure> takeNumber(Field field, const std::string& text, unsigned low, unsigned high,
                                       unsigned& destination) {
    const auto value = readUnsigned(text);
    if (!value) return FieldFailure{field, notANumberMessage()};
    if (*value < low || *value > high) return FieldFailure{field, rangeMessage(low, high)};
    destination = *value;
    return std::nullopt;
}

std::optional<FieldFailure> takeTsap(Field field, const std::string& text, std::string& destination) {
    if (characterCount(text) > maxTsapChars) return FieldFailure{field, tooLongMessage(maxTsapChars)};
    destination = text;
    return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> readUnsigned(std::string_view text) {
    text = text.substr(0, numberTextLimit);
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    const bool startsWithZero = i < text.size() && text[i] == '0';
    if (i < text.size() && text[i] == '+') ++i;
    std::uint64_t value = 0;
    constexpr std::uint64_t largest = std::numeric_limits<std::uint32_t>::max();
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > largest) value = largest;  // stays saturated; keeps the product in range
    }
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i != text.size()) return std::nullopt;
    if (value == 0 && !startsWithZero) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::size_t characterCount(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;  // not a continuation byte
    }
    return n;
}

std::string notANumberMessage() { return "Geben Sie bitte eine positive ganze Zahl ein."; }

std::string rangeMessage(unsigned low, unsigned high) {
    return replacePlaceholders("Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.", std::to_string(low),
                               std::to_string(high));
}

std::string tooLongMessage(std::size_t maxChars) {
    return replacePlaceholders("Geben Sie bitte nicht mehr als %1 Zeichen ein.", std::to_string(maxChars));
}

FieldTexts fieldTexts(const DialogFields& fields) {
    return {std::to_string(fields.count),
            std::to_string(fields.dbNumber),
            fields.ipAddress,
            std::to_string(fields.start),
            fields.ownTsap,
            fields.plcTsap};
}

std::optional<FieldFailure> readFieldTexts(const FieldTexts& texts, int areaIndex, DialogFields& fields) {
    if (auto f = takeNumber(Field::count, texts.count, minCount, maxCount, fields.count)) return f;
    // The data block number is checked even while its edit is disabled.
    if (auto f = takeNumber(Field::dbNumber, texts.dbNumber, minDbNumber, maxDbNumber, fields.dbNumber)) return f;
    fields.ipAddress = texts.ipAddress;
    if (auto f = takeNumber(Field::start, texts.start, minStart, maxStart, fields.start)) return f;
    if (auto f = takeTsap(Field::ownTsap, texts.ownTsap, fields.ownTsap)) return f;
    if (auto f = takeTsap(Field::plcTsap, texts.plcTsap, fields.plcTsap)) return f;
    if (const char letter = areaLetterAt(areaIndex); letter != 0) fields.areaLetter = letter;
    return std::nullopt;
}

}  // namespace orvapanel
