// SPDX-License-Identifier: Apache-2.0
#include "notation.h"

#include <cctype>
#include <charconv>

namespace orva::vars {
namespace {

bool allDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return !text.empty();
}

}  // namespace

std::string rangeText(long long low, long long high) { return std::to_string(low) + ".." + std::to_string(high); }

std::optional<long long> readNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0') {
        if (text[1] == 'x' || text[1] == 'X') base = 16;
        if (text[1] == 'b' || text[1] == 'B') base = 2;
        if (base != 10) text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 20) return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0) return std::nullopt;
    return negative ? -value : value;
}

std::optional<long long> readNumber(std::string_view text, long long low, long long high, std::string_view what,
                                    std::string& error) {
    const auto value = readNumber(text);
    if (!value) {
        error = std::string(what) + " '" + std::string(text) + "' is not a number (decimal, 0x hex or 0b binary)";
        return std::nullopt;
    }
    if (*value < low || *value > high) {
        error = std::string(what) + " " + std::string(text) + " is out of range (" + rangeText(low, high) + ")";
        return std::nullopt;
    }
    return value;
}

std::optional<SpelledArea> readArea(std::string_view text, std::string& error, std::string_view choices) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::string name(text);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string_view rest = name;
    SpelledArea spelled;
    if (rest.starts_with("DB") || rest.starts_with("DX")) {
        spelled.area = rest[1] == 'B' ? AreaCode::dataBlock : AreaCode::extendedDataBlock;
        rest.remove_prefix(2);
    } else if (!rest.empty()) {
        spelled.area = wire::areaCodeOf(rest[0]);
        rest.remove_prefix(1);
    }
    // The PLC's own spacing: DB 5.
    if (rest.size() > 1 && rest[0] == ' ' && isBlockArea(spelled.area)) rest.remove_prefix(1);
    const bool numbered = !rest.empty() && isBlockArea(spelled.area) && (allDigits(rest) || rest.starts_with("0X"));
    if (spelled.area == AreaCode::none || (!rest.empty() && !numbered)) {
        error = "unknown area '" + std::string(text) + "': use " + std::string(choices);
        return std::nullopt;
    }
    if (numbered) {
        const auto block = readNumber(rest, 0, maxBlock, "block number", error);
        if (!block) return std::nullopt;
        spelled.block = static_cast<int>(*block);
    }
    return spelled;
}

char libraryLetter(AreaCode area) {
    switch (area) {
    case AreaCode::outputs: return 'A';
    case AreaCode::inputs: return 'E';
    case AreaCode::flags: return 'M';
    case AreaCode::dataBlock: return 'D';
    case AreaCode::extendedDataBlock: return 'X';
    case AreaCode::timers: return 'T';
    case AreaCode::counters: return 'Z';
    case AreaCode::none: break;
    }
    return 0;
}

std::string areaText(AreaCode area, int block) {
    if (area == AreaCode::dataBlock) return "DB" + std::to_string(block);
    if (area == AreaCode::extendedDataBlock) return "DX" + std::to_string(block);
    if (const char letter = libraryLetter(area); letter != 0) return std::string(1, letter);
    return "area code " + std::to_string(static_cast<unsigned>(area));
}

std::string_view areaName(AreaCode area) {
    switch (area) {
    case AreaCode::outputs: return "outputs (A)";
    case AreaCode::inputs: return "inputs (E)";
    case AreaCode::flags: return "flags (M)";
    case AreaCode::dataBlock: return "data blocks (DB)";
    case AreaCode::extendedDataBlock: return "extended data blocks (DX)";
    case AreaCode::timers: return "timers (T)";
    case AreaCode::counters: return "counters (Z)";
    case AreaCode::none: break;
    }
    return "this area";
}

int addressStep(AreaCode area, Unit unit) { return unit == Unit::words && !wire::isWordCounted(area) ? 2 : 1; }

std::string addressLabel(AreaCode area, int block, Unit unit) {
    const char unitLetter = unit == Unit::bytes ? 'B' : 'W';
    switch (area) {
    case AreaCode::dataBlock: return "DB " + std::to_string(block) + " D" + unitLetter;
    case AreaCode::extendedDataBlock: return "DX " + std::to_string(block) + " D" + unitLetter;
    case AreaCode::timers: return "T ";
    case AreaCode::counters: return "Z ";
    default: return {libraryLetter(area), unitLetter};
    }
}

std::string elementAddress(AreaCode area, int block, Unit unit, int start, int index) {
    return addressLabel(area, block, unit) + std::to_string(start + index * addressStep(area, unit));
}

std::string printableText(std::uint16_t value, Unit unit) {
    if (unit == Unit::bytes) {
        if (!isPrintable(value)) return "";
        return {'\'', static_cast<char>(value), '\''};
    }
    const unsigned low = value & 0xFFu;
    const unsigned high = value >> 8u;
    if (!isPrintable(low) || !isPrintable(high)) return "";
    return {'\'', static_cast<char>(low), static_cast<char>(high), '\''};
}

}  // namespace orva::vars
