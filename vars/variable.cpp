// SPDX-License-Identifier: Apache-2.0
#include "variable.h"

#include <cctype>

#include "notation.h"

namespace orva::vars {
namespace {

constexpr int maxAddress = 65535;
constexpr int maxLength = 65535;
// More digits than this can only be out of range; reading stops there so
// that no number overflows.
constexpr std::size_t maxDigits = 7;

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// What the text names for messages: printable characters as they are.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else {
            static constexpr char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        }
    }
    return out + "\"";
}

// A cursor over the text, with 1-based positions in the text as given.
class Reader {
public:
    Reader(std::string_view text, std::size_t offset) : text_(text), offset_(offset) {}

    bool atEnd() const { return at_ >= text_.size(); }
    char peek(std::size_t ahead = 0) const { return at_ + ahead < text_.size() ? upper(text_[at_ + ahead]) : '\0'; }
    void skip(std::size_t n = 1) { at_ += n; }
    bool take(char c) {
        if (peek() != c) return false;
        ++at_;
        return true;
    }
    void takeBlank() { take(' '); }
    int position() const { return static_cast<int>(offset_ + at_ + 1); }
    std::string_view rest() const { return text_.substr(at_); }

    // A decimal number at the cursor; its digits as written go to digits. A
    // number too long to be in any range reads as tooLong.
    bool number(int& value, int& startPosition, std::string_view& digits) {
        startPosition = position();
        const std::size_t begin = at_;
        long long v = 0;
        while (isDigit(peek())) {
            if (at_ - begin < maxDigits) v = v * 10 + (peek() - '0');
            skip();
        }
        digits = text_.substr(begin, at_ - begin);
        if (digits.empty()) return false;
        value = digits.size() > maxDigits ? tooLong : static_cast<int>(v);
        return true;
    }
    static constexpr int tooLong = 99'999'999;

    std::string_view word() const {
        std::size_t end = at_;
        while (end < text_.size() && (isLetter(text_[end]) || isDigit(text_[end]))) ++end;
        return text_.substr(at_, end - at_);
    }

private:
    std::string_view text_;
    std::size_t offset_;
    std::size_t at_ = 0;
};

// The letters at the start of text, or its first character when it has none.
std::string_view leadingLetters(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isLetter(text[n])) ++n;
    return text.substr(0, n == 0 ? 1 : n);
}

ParseError error(int code, int position, std::string message) { return ParseError{code, position, std::move(message)}; }

// The number after a unit: present, and within [0, high].
std::optional<ParseError> readNumberIn(Reader& in, int high, std::string_view what, std::string_view example,
                                       int& value, int low = 0) {
    int at = 0;
    std::string_view digits;
    if (!in.number(value, at, digits))
        return error(ORVAVARS_ERR_SYNTAX, at,
                     "expected " + std::string(what) + " at " + std::to_string(at) + "; as in " + std::string(example));
    if (value < low || value > high)
        return error(ORVAVARS_ERR_OUT_OF_RANGE, at,
                     std::string(what) + " " + std::string(digits) + " at " + std::to_string(at) +
                         " is out of range (" + rangeText(low, high) + ")");
    return std::nullopt;
}

// A, E, M and their aliases: MB10, MW10, MD10, M10.3, M 10.3.
std::optional<ParseError> byteArea(Reader& in, Variable& v, char letter) {
    const std::string name(1, letter);
    const char unit = in.peek();
    if (unit == 'B' || unit == 'W' || unit == 'D') {
        in.skip();
        in.takeBlank();
        v.element = unit == 'B' ? Element::byte : unit == 'W' ? Element::word : Element::doubleWord;
        const int bytes = unit == 'B' ? 1 : unit == 'W' ? 2 : 4;
        const std::string example = name + unit + "10";
        if (auto e = readNumberIn(in, maxAddress - (bytes - 1), "the byte address", example, v.address)) return e;
        v.byteOffset = v.address;
        v.byteCount = bytes;
        return std::nullopt;
    }
    if (isDigit(unit) || unit == ' ') {
        in.takeBlank();
        v.element = Element::bit;
        if (auto e = readNumberIn(in, maxAddress, "the byte address", name + "10.3", v.address)) return e;
        if (!in.take('.'))
            return error(ORVAVARS_ERR_SYNTAX, in.position(),
                         "expected \".\" and a bit 0..7 at " + std::to_string(in.position()) + "; as in " + name +
                             std::to_string(v.address) + ".3, or B, W or D before the address");
        if (auto e = readNumberIn(in, 7, "the bit", name + std::to_string(v.address) + ".3", v.bit)) return e;
        v.byteOffset = v.address;
        v.byteCount = 1;
        return std::nullopt;
    }
    return error(ORVAVARS_ERR_SYNTAX, in.position(),
                 "expected B, W, D or a bit address after \"" + name + "\" at " + std::to_string(in.position()) +
                     "; as in " + name + "B10, " + name + "W10, " + name + "D10, " + name + "10.3");
}

// DB and DX: DB5.DW3, DB5.DL3, DB5.DR3, DB5.DD20, DB5.D3.15 (also DB 5, D 3.15,
// and a blank for the dot, as in the printed DB 5 DW3).
std::optional<ParseError> blockArea(Reader& in, Variable& v) {
    const std::string name = v.area == AreaCode::dataBlock ? "DB" : "DX";
    in.takeBlank();
    if (auto e = readNumberIn(in, maxBlock, "the block number", name + "5.DW3", v.block)) return e;
    if (!in.take('.') && !in.take(' '))
        return error(ORVAVARS_ERR_SYNTAX, in.position(),
                     "expected \".\" after \"" + areaText(v.area, v.block) + "\" at " + std::to_string(in.position()) +
                         "; as in " + areaText(v.area, v.block) + ".DW3");
    const std::string prefix = areaText(v.area, v.block) + ".";
    if (in.peek() != 'D')
        return error(ORVAVARS_ERR_SYNTAX, in.position(),
                     "expected DW, DL, DR, DD or D at " + std::to_string(in.position()) + "; as in " + prefix +
                         "DW3, " + prefix + "DL3, " + prefix + "DR3, " + prefix + "DD20, " + prefix + "D3.15");
    in.skip();
    const char unit = in.peek();
    if (isLetter(unit) && unit != 'W' && unit != 'L' && unit != 'R' && unit != 'D')
        return error(ORVAVARS_ERR_SYNTAX, in.position() - 1,
                     "expected DW, DL, DR, DD or D at " + std::to_string(in.position() - 1) + "; as in " + prefix +
                         "DW3, " + prefix + "DL3, " + prefix + "DR3, " + prefix + "DD20, " + prefix + "D3.15");
    if (unit == 'W' || unit == 'L' || unit == 'R' || unit == 'D') {
        in.skip();
        in.takeBlank();
        const std::string example = prefix + "D" + unit + "3";
        if (auto e = readNumberIn(in, unit == 'D' ? maxAddress - 1 : maxAddress, "the data word", example, v.address))
            return e;
        v.element = unit == 'W'   ? Element::word
                    : unit == 'L' ? Element::leftByte
                    : unit == 'R' ? Element::rightByte
                                  : Element::doubleWord;
        v.byteOffset = 2 * v.address + (unit == 'R' ? 1 : 0);
        v.byteCount = unit == 'D' ? 4 : unit == 'W' ? 2 : 1;
        return std::nullopt;
    }
    in.takeBlank();
    v.element = Element::bit;
    if (auto e = readNumberIn(in, maxAddress, "the data word", prefix + "D3.15", v.address)) return e;
    if (!in.take('.'))
        return error(ORVAVARS_ERR_SYNTAX, in.position(),
                     "expected \".\" and a bit 0..15 at " + std::to_string(in.position()) + "; as in " + prefix + "D" +
                         std::to_string(v.address) + ".15, or DW, DL, DR or DD");
    if (auto e = readNumberIn(in, 15, "the bit", prefix + "D" + std::to_string(v.address) + ".15", v.bit)) return e;
    // Bits 15..8 lie in the left (high) byte, 7..0 in the right one.
    v.byteOffset = 2 * v.address + (v.bit >= 8 ? 0 : 1);
    v.byteCount = 1;
    return std::nullopt;
}

std::optional<ParseError> format(Reader& in, Variable& v) {
    const int at = in.position();
    const std::string_view word = in.word();
    // The name is the letters; a string's length may follow at once (KS8).
    std::size_t letters = 0;
    while (letters < word.size() && isLetter(word[letters])) ++letters;
    std::string name;
    for (char c : word.substr(0, letters)) name += upper(c);
    const auto found = formatNamed(name);
    if (!found)
        return error(ORVAVARS_ERR_UNKNOWN_FORMAT, at,
                     (word.empty() ? std::string("expected a format") : "unknown format " + quoted(word)) + " at " +
                         std::to_string(at) + "; one of " + formatChoices());
    in.skip(letters);
    v.format = *found;
    if (v.format == Format::kc || v.format == Format::ks) {
        in.takeBlank();
        if (isDigit(in.peek())) {
            if (auto e = readNumberIn(in, maxLength, "the length", name + "8", v.length, 1)) return e;
            v.format = Format::ks;
        } else if (v.format == Format::ks) {
            return error(ORVAVARS_ERR_SYNTAX, in.position(),
                         "expected the length of the string at " + std::to_string(in.position()) + "; as in " +
                             variableText(Variable{v.area, v.block, v.element, v.address, v.bit, Format::unsignedNumber,
                                                   0, v.byteOffset, v.byteCount}) +
                             ":KS8");
        }
    }
    const FormatRow& row = formatRow(v.format);
    const unsigned unit = v.unit();
    if ((row.units & unit) == 0) {
        static constexpr std::string_view unitName[] = {"a bit", "a byte", "a word", "a double word", "a T/Z cell"};
        std::size_t i = 0;
        while ((1u << i) != unit) ++i;
        return error(ORVAVARS_ERR_FORMAT_UNIT, at,
                     std::string(row.name) + " at " + std::to_string(at) + " does not apply to " +
                         std::string(unitName[i]) + "; " + std::string(row.name) + " applies to " +
                         unitWords(row.units));
    }
    if (v.format == Format::ks) {
        if (v.byteOffset + v.length > areaBytes(v.area))
            return error(ORVAVARS_ERR_OUT_OF_RANGE, at,
                         "the string of " + std::to_string(v.length) + " characters at " + std::to_string(at) +
                             " runs past the end of the area (room for " +
                             std::to_string(areaBytes(v.area) - v.byteOffset) + ")");
        v.byteCount = v.length;
    }
    return std::nullopt;
}

}  // namespace

unsigned Variable::unit() const {
    switch (element) {
    case Element::bit: return onBits;
    case Element::byte:
    case Element::leftByte:
    case Element::rightByte: return onBytes;
    case Element::word: return area == AreaCode::timers || area == AreaCode::counters ? onCells : onWords;
    case Element::doubleWord: return onDoubles;
    }
    return 0;
}

int Variable::width() const {
    switch (element) {
    case Element::bit: return 1;
    case Element::byte:
    case Element::leftByte:
    case Element::rightByte: return 8;
    case Element::word: return 16;
    case Element::doubleWord: return 32;
    }
    return 0;
}

int areaBytes(AreaCode area) { return wire::isWordCounted(area) ? 2 * (maxAddress + 1) : maxAddress + 1; }

std::variant<Variable, ParseError> parseVariable(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size() && text[offset] == ' ') ++offset;
    std::string_view body = text.substr(offset);
    while (!body.empty() && body.back() == ' ') body.remove_suffix(1);
    Reader in(body, offset);
    if (in.atEnd())
        return error(ORVAVARS_ERR_SYNTAX, 0, "empty variable; expected an address such as MW10, M10.3, DB5.DW3 or T3");

    Variable v;
    const int at = in.position();
    const char first = in.peek();
    std::optional<ParseError> failed;
    if (first == 'D' || first == 'X') {
        // DB, DX, or the single letters D and X (a number follows).
        const char second = in.peek(1);
        v.area = first == 'X' || second == 'X' ? AreaCode::extendedDataBlock : AreaCode::dataBlock;
        in.skip(first == 'D' && (second == 'B' || second == 'X') ? 2 : 1);
        failed = blockArea(in, v);
    } else if (first == 'T' || first == 'Z' || first == 'C') {
        v.area = first == 'T' ? AreaCode::timers : AreaCode::counters;
        in.skip();
        in.takeBlank();
        v.element = Element::word;
        const std::string name(1, libraryLetter(v.area));
        failed = readNumberIn(in, maxAddress, first == 'T' ? "the timer" : "the counter", name + "3", v.address);
        v.byteOffset = 2 * v.address;
        v.byteCount = 2;
    } else if (first == 'A' || first == 'O' || first == 'Q' || first == 'E' || first == 'I' || first == 'M') {
        v.area = first == 'Q' ? AreaCode::outputs : wire::areaCodeOf(first);
        in.skip();
        failed = byteArea(in, v, libraryLetter(v.area));
    } else {
        return error(ORVAVARS_ERR_UNKNOWN_AREA, at,
                     "unknown area " + quoted(leadingLetters(in.rest())) + " at " + std::to_string(at) +
                         "; one of A E M DB DX T Z (also Q or O for A, I for E, C for Z)");
    }
    if (failed) return *failed;
    v.format = v.element == Element::bit ? Format::boolean : Format::unsignedNumber;
    if (in.take(':')) {
        in.takeBlank();
        if (auto e = format(in, v)) return *e;
    }
    if (!in.atEnd()) {
        const std::string_view rest = in.rest();
        return error(ORVAVARS_ERR_SYNTAX, in.position(),
                     "unexpected " + quoted(rest.substr(0, 1)) + " at " + std::to_string(in.position()) +
                         "; expected \":\" and a format, or the end");
    }
    return v;
}

std::variant<Assignment, ParseError> parseAssignment(std::string_view text) {
    const std::size_t eq = text.find('=');
    auto parsed = parseVariable(text.substr(0, eq));
    if (auto* e = std::get_if<ParseError>(&parsed)) return std::move(*e);
    if (eq == std::string_view::npos) {
        const int at = static_cast<int>(text.size() + 1);
        return error(ORVAVARS_ERR_SYNTAX, at,
                     "expected \"=\" and a value at " + std::to_string(at) + "; as in " +
                         variableText(std::get<Variable>(parsed)) + "=1");
    }
    return Assignment{std::get<Variable>(parsed), text.substr(eq + 1)};
}

std::string variableText(const Variable& v) {
    std::string out = areaText(v.area, v.block);
    if (v.area != AreaCode::timers && v.area != AreaCode::counters) {
        // The unit's letter: MB, MW, MD; DW, DL, DR, DD; none for a bit (M10.3, DB5.D3.15).
        if (v.area == AreaCode::dataBlock || v.area == AreaCode::extendedDataBlock) out += ".D";
        switch (v.element) {
        case Element::byte: out += "B"; break;
        case Element::word: out += "W"; break;
        case Element::leftByte: out += "L"; break;
        case Element::rightByte: out += "R"; break;
        case Element::doubleWord: out += "D"; break;
        case Element::bit: break;
        }
    }
    out += std::to_string(v.address);
    if (v.element == Element::bit) {
        out += '.';
        out += std::to_string(v.bit);
    }
    const FormatRow& row = formatRow(v.format);
    if (!row.defaultFormat) {
        out += ':';
        out += row.name;
        if (v.format == Format::ks) out += std::to_string(v.length);
    }
    return out;
}

}  // namespace orva::vars
