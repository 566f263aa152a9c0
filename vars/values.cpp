// SPDX-License-Identifier: Apache-2.0
#include "values.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "notation.h"
#include "s5_numbers.h"

namespace orva::vars {
namespace {

constexpr char blank = ' ';

// The bit's place in its byte: a byte's bit n, or bit n of a data word, whose
// bits 15..8 are its left byte's 7..0.
int bitInByte(const Variable& v) { return v.bit % 8; }

std::uint32_t readRaw(const Variable& v, std::span<const std::uint8_t> bytes) {
    if (v.element == Element::bit) return (bytes[0] >> bitInByte(v)) & 1u;
    std::uint32_t raw = 0;
    for (int i = 0; i < v.byteCount; ++i) raw = (raw << 8) | bytes[static_cast<std::size_t>(i)];
    return raw;
}

void writeRaw(const Variable& v, std::uint32_t raw, std::span<std::uint8_t> out) {
    if (v.element == Element::bit) {
        out[0] = static_cast<std::uint8_t>(raw << bitInByte(v));
        return;
    }
    for (int i = v.byteCount - 1; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(raw & 0xFF);
        raw >>= 8;
    }
}

std::int64_t signExtended(std::uint32_t raw, int width) {
    const std::int64_t sign = std::int64_t{1} << (width - 1);
    const std::int64_t v = raw;
    return (v & sign) ? v - 2 * sign : v;
}

std::string name(const Variable& v) { return variableText(v); }

std::string numberText(std::int64_t n) { return std::to_string(n); }

std::string realText(double value) {
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string hexText(std::uint64_t value, int digits) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = hex[value & 0xF];
    return out;
}

// The shortest text that reads back as the same KG: its digits in plain
// notation where the decimal exponent is moderate (100, 0.0015), else with
// an exponent (1.7014116e+38).
std::string kgText(double value) {
    if (value == 0) return "0";
    // Read from an un-normalised pattern below what can be written: all its digits.
    if (s5::kgBits(value).refusal != s5::KgRefusal::none) return realText(value);
    const std::uint32_t bits = s5::kgBits(value).bits;
    char text[40];
    char* end = text;
    for (int precision = 1; precision <= 17; ++precision) {
        end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, precision - 1).ptr;
        double back = 0;
        std::from_chars(text, end, back);
        if (s5::kgBits(back).bits == bits) break;
    }
    // text is [-]d[.ddd]e[+-]xx
    std::string_view all(text, static_cast<std::size_t>(end - text));
    const bool negative = all.front() == '-';
    if (negative) all.remove_prefix(1);
    const std::size_t e = all.find('e');
    std::string digits;
    for (char c : all.substr(0, e))
        if (c != '.') digits += c;
    int exponent = 0;
    std::from_chars(all.data() + e + 1 + (all[e + 1] == '+' ? 1 : 0), all.data() + all.size(), exponent);
    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent >= 7) return out + std::string(all);
    if (exponent < 0) return out + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    const auto point = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= point) return out + digits + std::string(point - digits.size(), '0');
    return out + digits.substr(0, point) + "." + digits.substr(point);
}

std::string timeText(std::int64_t ms) {
    if (ms < 0) return std::to_string(ms) + "ms";
    std::string out = std::to_string(ms / 1000);
    if (const std::int64_t rest = ms % 1000; rest != 0) {
        std::string fraction = std::to_string(rest + 1000).substr(1);
        while (fraction.back() == '0') fraction.pop_back();
        out += "." + fraction;
    }
    return out + "s";
}

// Latin-1 characters as UTF-8, with \\ and \xHH for what does not print.
std::string charactersText(std::string_view latin1) {
    std::string out;
    for (char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\\') {
            out += "\\\\";
        } else if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else if (u >= 0xA0) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += "\\x" + hexText(u, 2);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The reverse of charactersText: UTF-8 with escapes into Latin-1 bytes.
bool charactersFrom(std::string_view text, std::string& out, std::string& message) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto u = static_cast<unsigned char>(text[i]);
        const std::string at = " at " + std::to_string(i + 1);
        if (u == '\\') {
            if (i + 1 < text.size() && text[i + 1] == '\\') {
                out += '\\';
                i += 2;
            } else if (i + 3 < text.size() + 0 && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
                       hexDigit(text[i + 2]) >= 0 && hexDigit(text[i + 3]) >= 0) {
                out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
                i += 4;
            } else {
                message = "a backslash" + at + " begins \\\\ or \\xHH";
                return false;
            }
        } else if (u < 0x80) {
            out += static_cast<char>(u);
            ++i;
        } else if ((u & 0xE0) == 0xC0 && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const unsigned code = ((u & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            if (code < 0x80 || code > 0xFF) {
                message = "the character" + at + " is not Latin-1";
                return false;
            }
            out += static_cast<char>(code);
            i += 2;
        } else {
            message = (u >= 0xC0 ? "the character" + at + " is not Latin-1" : "the text is not UTF-8" + at);
            return false;
        }
    }
    return true;
}

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Digits of a base (16 or 2), optionally after 0x or 0b; blanks between binary digits.
bool patternFrom(std::string_view text, int base, int width, std::int64_t& out) {
    if (text.size() > 2 && text[0] == '0' &&
        (text[1] == (base == 16 ? 'x' : 'b') || text[1] == (base == 16 ? 'X' : 'B')))
        text.remove_prefix(2);
    std::int64_t value = 0;
    int digits = 0;
    for (char c : text) {
        if (base == 2 && c == blank) continue;
        const int d = hexDigit(c);
        if (d < 0 || d >= base) return false;
        value = value * base + d;
        if (++digits > (base == 16 ? width / 4 : width)) return false;
    }
    out = value;
    return digits > 0;
}

// A time: a decimal number of seconds with "s" (up to 3 decimals) or a whole number of "ms".
bool timeFrom(std::string_view text, std::int64_t& ms) {
    int scale = 0;
    if (text.size() > 2 && sameText(text.substr(text.size() - 2), "ms")) {
        scale = 1;
        text.remove_suffix(2);
    } else if (text.size() > 1 && sameText(text.substr(text.size() - 1), "s")) {
        scale = 1000;
        text.remove_suffix(1);
    } else {
        return false;
    }
    while (!text.empty() && text.back() == blank) text.remove_suffix(1);
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 9 || fraction.size() > (scale == 1000 ? 3u : 0u)) return false;
    if (dot != std::string_view::npos && fraction.empty()) return false;
    std::int64_t value = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    value *= scale;
    std::int64_t weight = scale / 10;
    for (char c : fraction) {
        if (c < '0' || c > '9') return false;
        value += (c - '0') * weight;
        weight /= 10;
    }
    ms = value;
    return true;
}

bool isIntegral(double d) { return std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 9.0e15; }

// The number an integer format is given: an integer, or a real with no fraction.
bool integerOf(const Value& value, std::int64_t& out) {
    if (value.kind == Kind::integer || value.kind == Kind::time) {
        out = value.integer;
        return true;
    }
    if (value.kind == Kind::real && isIntegral(value.real)) {
        out = static_cast<std::int64_t>(value.real);
        return true;
    }
    return false;
}

std::string kindWords(const Value& value) {
    switch (value.kind) {
    case Kind::boolean: return value.integer ? "true" : "false";
    case Kind::integer:
    case Kind::time: return numberText(value.integer);
    case Kind::real: return realText(value.real);
    case Kind::text: return "the text \"" + charactersText(value.text) + "\"";
    case Kind::none: break;
    }
    return "no value";
}

int refuse(int code, std::string& message, std::string text) {
    message = std::move(text);
    return code;
}

}  // namespace

int textSlotSize(const Variable& v) {
    const Kind kind = formatRow(v.format).kind;
    return kind == Kind::text ? v.byteCount + 1 : 0;
}

int decodeValue(const Variable& v, std::span<const std::uint8_t> bytes, std::span<char> slot, Value& out) {
    out = Value{};
    if (formatRow(v.format).kind == Kind::text) {
        std::memcpy(slot.data(), bytes.data(), static_cast<std::size_t>(v.byteCount));
        slot[static_cast<std::size_t>(v.byteCount)] = '\0';
        out.kind = Kind::text;
        out.text = std::string_view(slot.data(), static_cast<std::size_t>(v.byteCount));
        return ORVAVARS_OK;
    }
    const std::uint32_t raw = readRaw(v, bytes);
    out.kind = Kind::integer;
    switch (v.format) {
    case Format::boolean:
        out.kind = Kind::boolean;
        out.integer = raw;
        break;
    case Format::kf: out.integer = signExtended(raw, v.width()); break;
    case Format::kt: {
        const auto time = s5::ktTime(static_cast<std::uint16_t>(raw));
        if (!time) {
            out.kind = Kind::none;
            return ORVAVARS_ERR_INVALID_BCD;
        }
        out.kind = Kind::time;
        out.integer = time->milliseconds();
        out.timeBase = time->base;
        out.timeDigits = time->digits;
        break;
    }
    case Format::kz: {
        // Bits 15..12 carry no digit: ignored, as the time base's upper bits of KT.
        const auto digits = s5::bcdDigits(static_cast<std::uint16_t>(raw));
        if (!digits) {
            out.kind = Kind::none;
            return ORVAVARS_ERR_INVALID_BCD;
        }
        out.integer = *digits;
        break;
    }
    case Format::kg:
        out.kind = Kind::real;
        out.real = s5::kgValue(raw);
        return ORVAVARS_OK;
    default: out.integer = raw; break;
    }
    out.real = static_cast<double>(out.integer);
    return ORVAVARS_OK;
}

int encodeValue(const Variable& v, const Value& value, const EncodeOptions& options, std::span<std::uint8_t> out,
                std::string& message) {
    const std::string who = name(v);
    const int width = v.width();
    const std::int64_t top = (std::int64_t{1} << width) - 1;
    std::int64_t n = 0;
    auto wrongKind = [&](std::string_view wanted) {
        return refuse(ORVAVARS_ERR_VALUE_KIND, message,
                      who + " takes " + std::string(wanted) + ", not " + kindWords(value));
    };
    if (value.kind == Kind::real && !std::isfinite(value.real))
        return refuse(ORVAVARS_ERR_NOT_FINITE, message, who + " takes finite numbers, not " + realText(value.real));

    switch (v.format) {
    case Format::boolean:
        if (value.kind == Kind::boolean || integerOf(value, n)) {
            if (value.kind == Kind::boolean) n = value.integer;
            if (n != 0 && n != 1)
                return refuse(ORVAVARS_ERR_VALUE_RANGE, message, who + " is a bit: 0 or 1, not " + numberText(n));
            writeRaw(v, static_cast<std::uint32_t>(n), out);
            return ORVAVARS_OK;
        }
        return wrongKind("true or false");
    case Format::kc:
    case Format::ks: {
        if (value.kind != Kind::text) return wrongKind("characters");
        if (value.text.size() > static_cast<std::size_t>(v.byteCount))
            return refuse(ORVAVARS_ERR_VALUE_RANGE, message,
                          "the text has " + std::to_string(value.text.size()) + " characters; " + who + " holds " +
                              std::to_string(v.byteCount));
        std::memset(out.data(), blank, static_cast<std::size_t>(v.byteCount));
        std::memcpy(out.data(), value.text.data(), value.text.size());
        return ORVAVARS_OK;
    }
    case Format::kg: {
        double d = value.real;
        if (value.kind == Kind::integer)
            d = static_cast<double>(value.integer);
        else if (value.kind != Kind::real)
            return wrongKind("numbers");
        const s5::KgEncoding kg = s5::kgBits(d);
        if (kg.refusal != s5::KgRefusal::none)
            return refuse(
                ORVAVARS_ERR_VALUE_RANGE, message,
                kindWords(value) + " is out of the range of " + who +
                    (kg.refusal == s5::KgRefusal::tooSmall ? ": its magnitude is below 0.1469368e-38 (write 0 for zero)"
                                                           : ": its magnitude is above 0.1701412e39"));
        writeRaw(v, kg.bits, out);
        return ORVAVARS_OK;
    }
    case Format::kt: {
        if (!integerOf(value, n)) return wrongKind("a time in whole milliseconds");
        const s5::KtEncoding kt = s5::ktEncode(n, options.roundTimes);
        switch (kt.refusal) {
        case s5::KtRefusal::none: break;
        case s5::KtRefusal::negative:
            return refuse(ORVAVARS_ERR_VALUE_RANGE, message, who + " takes no negative time, not " + timeText(n));
        case s5::KtRefusal::tooLong:
            return refuse(ORVAVARS_ERR_VALUE_RANGE, message,
                          timeText(n) + " is longer than " + who + " holds (9990s: 999 times 10 s)");
        case s5::KtRefusal::notWhole:
            return refuse(ORVAVARS_ERR_VALUE_PRECISION, message,
                          timeText(n) + " is no whole number of " + timeText(s5::ktBaseMs[kt.time.base]) +
                              ", the finest time base that holds it; allow rounding to write " +
                              timeText(kt.roundedMs) + " to " + who);
        }
        writeRaw(v, s5::ktWord(kt.time), out);
        return ORVAVARS_OK;
    }
    default: break;
    }

    // The integer formats.
    if (!integerOf(value, n)) return wrongKind("whole numbers");
    std::int64_t low = 0, high = top;
    std::string allowed;
    switch (v.format) {
    case Format::unsignedNumber:
        low = -(top + 1) / 2;
        allowed = rangeText(0, top) + ", or " + rangeText(low, -1) + " as two's complement";
        break;
    case Format::kf:
        low = -(top + 1) / 2;
        high = top / 2;
        allowed = rangeText(low, high);
        break;
    case Format::kz:
        high = 999;
        allowed = rangeText(0, high);
        break;
    default: allowed = rangeText(0, top); break;
    }
    if (n < low || n > high)
        return refuse(ORVAVARS_ERR_VALUE_RANGE, message, numberText(n) + " does not fit " + who + " (" + allowed + ")");
    const std::uint32_t raw =
        v.format == Format::kz ? s5::bcdWord(static_cast<int>(n)) : static_cast<std::uint32_t>(n < 0 ? n + top + 1 : n);
    writeRaw(v, raw, out);
    return ORVAVARS_OK;
}

int valueFromText(const Variable& v, std::string_view text, std::string& storage, Value& out, std::string& message) {
    out = Value{};
    const std::string who = name(v);
    std::string given(1, '"');
    given += text;
    given += '"';
    auto notA = [&](std::string_view what) {
        return refuse(ORVAVARS_ERR_VALUE_TEXT, message,
                      "value " + given + " for " + who + " is not " + std::string(what));
    };
    switch (v.format) {
    case Format::boolean:
        if (text == "1" || sameText(text, "true")) {
            out = booleanValue(true);
        } else if (text == "0" || sameText(text, "false")) {
            out = booleanValue(false);
        } else {
            return notA("a bit (true, false, 1 or 0)");
        }
        return ORVAVARS_OK;
    case Format::kc:
    case Format::ks: {
        std::string why;
        if (!charactersFrom(text, storage, why))
            return refuse(ORVAVARS_ERR_VALUE_TEXT, message, "value " + given + " for " + who + ": " + why);
        out.kind = Kind::text;
        out.text = storage;
        return ORVAVARS_OK;
    }
    case Format::kg: {
        std::string_view number = text;
        if (!number.empty() && number.front() == '+') number.remove_prefix(1);
        double d = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), d);
        if (number.empty() || error != std::errc{} || end != number.data() + number.size())
            return notA("a number (such as 12.5, -0.005 or 1.5e-3)");
        out = realValue(d);
        return ORVAVARS_OK;
    }
    case Format::kt: {
        std::int64_t ms = 0;
        if (!timeFrom(text, ms)) return notA("a time (such as 1.5s or 250ms)");
        out = integerValue(ms, Kind::time);
        return ORVAVARS_OK;
    }
    case Format::kh:
    case Format::dh:
    case Format::km: {
        const int base = v.format == Format::km ? 2 : 16;
        std::int64_t n = 0;
        if (!patternFrom(text, base, v.width(), n))
            return notA(base == 16 ? "hex digits (at most " + std::to_string(v.width() / 4) + ")"
                                   : "a bit pattern (at most " + std::to_string(v.width()) + " digits 0 and 1)");
        out = integerValue(n);
        return ORVAVARS_OK;
    }
    case Format::ky: {
        const std::size_t comma = text.find(',');
        const auto left = readNumber(text.substr(0, comma));
        const auto right = comma == std::string_view::npos ? std::nullopt : readNumber(text.substr(comma + 1));
        if (!left || !right) return notA("two bytes (such as 18,52)");
        if (*left < 0 || *left > 255 || *right < 0 || *right > 255)
            return refuse(ORVAVARS_ERR_VALUE_RANGE, message,
                          "value " + given + " does not fit " + who + ": each byte is 0..255");
        out = integerValue(*left * 256 + *right);
        return ORVAVARS_OK;
    }
    default: {
        const auto n = readNumber(text);
        if (!n) return notA("a number (decimal, 0x hex or 0b binary)");
        out = integerValue(*n);
        return ORVAVARS_OK;
    }
    }
}

std::string valueText(const Variable& v, const Value& value) {
    switch (value.kind) {
    case Kind::none: return "";
    case Kind::boolean: return value.integer ? "true" : "false";
    case Kind::real: return kgText(value.real);
    case Kind::text: return charactersText(value.text);
    case Kind::time: return timeText(value.integer);
    case Kind::integer: break;
    }
    const auto raw = static_cast<std::uint64_t>(value.integer);
    switch (v.format) {
    case Format::kh:
    case Format::dh: return hexText(raw, v.width() / 4);
    case Format::km: {
        std::string out;
        for (int bit = v.width() - 1; bit >= 0; --bit) {
            out += ((raw >> bit) & 1u) ? '1' : '0';
            if (bit % 8 == 0 && bit > 0) out += blank;
        }
        return out;
    }
    case Format::ky: return numberText(value.integer >> 8) + "," + numberText(value.integer & 0xFF);
    default: return numberText(value.integer);
    }
}

std::string variableLine(const Variable& v, const Value& value) {
    return variableText(v) + " = " + valueText(v, value);
}

}  // namespace orva::vars
