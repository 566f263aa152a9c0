// SPDX-License-Identifier: Apache-2.0
// Fuzz target: a variable's text, a value's text and a variable's bytes, all
// arbitrary. Checks that a refused text says where and what (a code of the
// parser, a position within the text, a message naming it), that an accepted
// one prints as a spelling that parses back to the same variable within its
// area, that arbitrary value texts are read or refused without harm, and that
// a value decoded from arbitrary bytes prints as a text that writes the same
// value back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "values.h"
#include "variable.h"

namespace {

using namespace orva::vars;

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

bool sameValue(const Value& a, const Value& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
    case Kind::real: return a.real == b.real;
    case Kind::text: return a.text == b.text;
    default: return a.integer == b.integer;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string text = in.ConsumeRandomLengthString(80);
    const std::string typed = in.ConsumeRandomLengthString(80);
    const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();

    auto parsed = parseVariable(text);
    if (const auto* e = std::get_if<ParseError>(&parsed)) {
        check(e->code <= ORVAVARS_ERR_SYNTAX && e->code >= ORVAVARS_ERR_OUT_OF_RANGE, "a parser's code");
        check(e->position >= 0 && e->position <= static_cast<int>(text.size()) + 1, "a position within the text");
        check(!e->message.empty(), "a message");
        check(e->position == 0 || e->message.find(" at " + std::to_string(e->position)) != std::string::npos,
              "the message names the position");
        return 0;
    }
    const Variable& v = std::get<Variable>(parsed);
    check(v.byteOffset >= 0 && v.byteCount >= 1 && v.byteOffset + v.byteCount <= areaBytes(v.area), "within its area");
    check((formatRow(v.format).units & v.unit()) != 0, "a format that applies to its unit");
    const std::string spelled = variableText(v);
    auto again = parseVariable(spelled);
    check(std::holds_alternative<Variable>(again) && std::get<Variable>(again) == v, "its spelling parses back");

    // Arbitrary value texts are read or refused, and what is read encodes or is refused.
    std::string storage, message;
    Value value;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(v.byteCount));
    if (valueFromText(v, typed, storage, value, message) == ORVAVARS_OK) {
        const int encoded = encodeValue(v, value, EncodeOptions{in.ConsumeBool()}, out, message);
        check(encoded == ORVAVARS_OK || !message.empty(), "a refused value says why");
    } else {
        check(!message.empty(), "a refused text says why");
    }

    // Bytes as the PLC holds them: decoded, printed, and written back as the same value.
    if (bytes.size() < static_cast<std::size_t>(v.byteCount)) return 0;
    std::vector<char> slot(static_cast<std::size_t>(textSlotSize(v)) + 1);
    Value read;
    if (decodeValue(v, {bytes.data(), static_cast<std::size_t>(v.byteCount)}, slot, read) != ORVAVARS_OK) {
        check(v.format == Format::kt || v.format == Format::kz, "only BCD formats refuse bytes");
        return 0;
    }
    const std::string printed = valueText(v, read);
    Value back;
    check(valueFromText(v, printed, storage, back, message) == ORVAVARS_OK, "a printed value reads back");
    if (encodeValue(v, back, EncodeOptions{}, out, message) != ORVAVARS_OK) {
        // Only KG patterns outside the range written read but cannot be written: -2^127 (7F800000) and
        // un-normalised magnitudes below 0.5 * 2^-128.
        const double magnitude = std::fabs(read.real);
        check(v.format == Format::kg && read.real == back.real &&
                  (magnitude < std::ldexp(1.0, -129) || magnitude == std::ldexp(1.0, 127)),
              "a read value can be written");
        return 0;
    }
    std::vector<char> slot2(slot.size());
    Value again2;
    check(decodeValue(v, out, slot2, again2) == ORVAVARS_OK && sameValue(read, again2), "the same value");
    return 0;
}
