#include "sim_spelling.h"

#include <cctype>
#include <charconv>

namespace orvasim {

namespace w = orva::wire;

namespace {

constexpr int maxBlock = 255;

std::string rangeText(long long low, long long high) { return std::to_string(low) + ".." + std::to_string(high); }

bool allDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::optional<long long> readNumber(std::string_view text, long long low, long long high, std::string_view what,
                                    std::string& error) {
    std::string_view digits = text;
    // A minus sign is read even where no negative is allowed: -1 is a number
    // out of range, not something else.
    const bool negative = digits.starts_with('-');
    if (negative) digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    long long value = 0;
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    const bool whole = !digits.empty() && end == digits.data() + digits.size() && digits[0] != '-' && digits[0] != '+';
    if (failure == std::errc::invalid_argument || !whole) {
        error = std::string(what) + " '" + std::string(text) + "' is not a number (expected " + rangeText(low, high) + ")";
        return std::nullopt;
    }
    if (negative) value = -value;
    if (failure == std::errc::result_out_of_range || value < low || value > high) {
        error = std::string(what) + " " + std::string(text) + " is out of range (" + rangeText(low, high) + ")";
        return std::nullopt;
    }
    return value;
}

std::optional<AreaSpelling> readArea(std::string_view text, std::string& error, std::string_view choices) {
    std::string name(text);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string_view rest = name;
    AreaSpelling spelled;
    if (rest.starts_with("DB") || rest.starts_with("DX")) {
        spelled.area = rest[1] == 'B' ? w::AreaCode::dataBlock : w::AreaCode::extendedDataBlock;
        rest.remove_prefix(2);
    } else if (!rest.empty()) {
        spelled.area = w::areaCodeOf(rest[0]);
        rest.remove_prefix(1);
    }
    const bool numbered = !rest.empty() && isBlockArea(spelled.area) && allDigits(rest);
    if (spelled.area == w::AreaCode::none || (!rest.empty() && !numbered)) {
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

std::string areaText(w::AreaCode area, int block) {
    switch (area) {
    case w::AreaCode::dataBlock: return "DB" + std::to_string(block);
    case w::AreaCode::extendedDataBlock: return "DX" + std::to_string(block);
    case w::AreaCode::inputs: return "E";
    case w::AreaCode::outputs: return "A";
    case w::AreaCode::flags: return "M";
    case w::AreaCode::timers: return "T";
    case w::AreaCode::counters: return "Z";
    case w::AreaCode::none: break;
    }
    return "area code " + std::to_string(static_cast<unsigned>(area));
}

}  // namespace orvasim
