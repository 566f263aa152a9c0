/* SPDX-License-Identifier: Apache-2.0 */
// A variable's value: decoded from its bytes, encoded into them, and written
// and read as text. Texts are UTF-8; the characters of KC and KS are Latin-1
// bytes in the PLC.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "variable.h"

namespace orva::vars {

struct Value {
    Kind kind = Kind::none;
    std::int64_t integer = 0;  // boolean 0/1, integer, time in ms
    double real = 0;           // real; for integer and time the same number
    std::string_view text;     // text: Latin-1 bytes (stored by whoever decoded or set it)
    int timeBase = 0;
    int timeDigits = 0;
};

inline Value booleanValue(bool b) {
    Value v;
    v.kind = Kind::boolean;
    v.integer = b ? 1 : 0;
    v.real = static_cast<double>(v.integer);
    return v;
}
inline Value integerValue(std::int64_t n, Kind kind = Kind::integer) {
    Value v;
    v.kind = kind;
    v.integer = n;
    v.real = static_cast<double>(n);
    return v;
}
inline Value realValue(double d) {
    Value v;
    v.kind = Kind::real;
    v.real = d;
    return v;
}

// Bytes the text of a decoded value needs beside it: a string's characters and a NUL.
int textSlotSize(const Variable& v);

// The value of the variable's own bytes (v.byteCount, in the PLC's order).
// Text goes into slot (textSlotSize bytes). Returns 0 or ORVAVARS_ERR_INVALID_BCD.
int decodeValue(const Variable& v, std::span<const std::uint8_t> bytes, std::span<char> slot, Value& out);

struct EncodeOptions {
    bool roundTimes = false;
};

// The bytes that write value to the variable (v.byteCount of them; a bit: its
// byte with that bit set or clear, and the other bits 0). Returns 0 or an
// ORVAVARS_ERR_* with message saying what is wrong.
int encodeValue(const Variable& v, const Value& value, const EncodeOptions& options, std::span<std::uint8_t> out,
                std::string& message);

// A value as a user types it (UTF-8), read for the variable's format. Text
// values keep their Latin-1 bytes in storage. Returns 0 or an ORVAVARS_ERR_* with message.
int valueFromText(const Variable& v, std::string_view text, std::string& storage, Value& out, std::string& message);

// A value as the tools print it (UTF-8); valueFromText reads it back.
std::string valueText(const Variable& v, const Value& value);

// A variable and its value as the tools print them, one a line:
// "DB10.DD30:KG = 12.34567".
std::string variableLine(const Variable& v, const Value& value);

}  // namespace orva::vars
