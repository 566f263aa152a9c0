// SPDX-License-Identifier: Apache-2.0
#include "variable_output.h"

#include <charconv>

#include "format.h"
#include "messages.h"
#include "values.h"

namespace orvacli {
namespace {

namespace vars = orva::vars;

// The characters of a KC or KS value, Latin-1 bytes, as UTF-8.
std::string utf8Of(std::string_view latin1) {
    std::string out;
    for (char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string jsonError(const VariableResult& r) {
    return "{\"error\":{\"name\":" + jsonString(vars::resultName(r.status)) + ",\"code\":" + std::to_string(r.status) +
           ",\"socket_error\":" + std::to_string(r.socketError) +
           ",\"message\":" + jsonString(vars::failureText(r.status, r.socketError)) + "}}";
}

}  // namespace

std::string jsonValue(const vars::Value& value) {
    switch (value.kind) {
    case vars::Kind::boolean: return value.integer ? "true" : "false";
    case vars::Kind::integer:
    case vars::Kind::time: return std::to_string(value.integer);
    case vars::Kind::real: {
        char text[40];
        return {text, std::to_chars(text, text + sizeof text, value.real).ptr};  // the shortest that reads back
    }
    case vars::Kind::text: return jsonString(utf8Of(value.text));
    case vars::Kind::none: break;
    }
    return "null";
}

std::string variablesOutput(const Options& r, std::span<const VariableResult> results, int round) {
    const vars::VarList& list = r.variables;
    std::string out;
    if (r.format == Format::json) {
        out = round > 0 ? "{\"round\":" + std::to_string(round) : "{";
        for (int i = 0; i < list.size(); ++i) {
            const VariableResult& result = results[static_cast<std::size_t>(i)];
            const vars::Value& value = list.current(i).value;
            out += out.size() > 1 ? "," : "";
            out += jsonString(vars::variableText(list.variable(i))) + ":";
            if (result.status != ORVAVARS_OK) {
                out += jsonError(result);
                continue;
            }
            out += "{\"value\":" + jsonValue(value) +
                   ",\"text\":" + jsonString(vars::valueText(list.variable(i), value)) + "}";
        }
        return out + "}\n";
    }
    if (round > 0) out = "round " + std::to_string(round) + "\n";
    for (int i = 0; i < list.size(); ++i) {
        if (results[static_cast<std::size_t>(i)].status != ORVAVARS_OK) continue;
        out += vars::variableLine(list.variable(i), list.current(i).value) + "\n";
    }
    return out;
}

std::string variableFailures(const Options& r, std::span<const VariableResult> results) {
    std::string err;
    for (int i = 0; i < r.variables.size(); ++i) {
        const VariableResult& result = results[static_cast<std::size_t>(i)];
        if (result.status == ORVAVARS_OK) continue;
        err += std::string("orvacli: ") + (r.direction == Direction::read ? "reading " : "writing ") +
               vars::variableText(r.variables.variable(i)) + " at " + r.address +
               " failed: " + vars::failureText(result.status, result.socketError) + "\n";
    }
    return err;
}

}  // namespace orvacli
