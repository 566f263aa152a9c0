// SPDX-License-Identifier: Apache-2.0
#include "sim_variables.h"

#include "messages.h"
#include "notation.h"
#include "var_list.h"

namespace orvasim {
namespace {

namespace vars = orva::vars;

template <typename Parsed>
const auto& parsedOrThrow(const std::variant<Parsed, vars::ParseError>& parsed) {
    if (const auto* e = std::get_if<vars::ParseError>(&parsed)) throw VariableError(e->message);
    return std::get<Parsed>(parsed);
}

void checkInside(const Server& server, const vars::Variable& v) {
    const int size = server.areaBytes(v.area, v.block);
    if (v.byteOffset + v.byteCount <= size) return;
    throw VariableError(vars::variableText(v) + " lies outside " + vars::areaText(v.area, v.block) + ", which has " +
                        std::to_string(size / 2) + " words");
}

}  // namespace

std::string setVariable(Server& server, std::string_view assignment) {
    const auto parsed = vars::parseAssignment(assignment);
    const vars::Assignment& a = parsedOrThrow(parsed);
    checkInside(server, a.variable);
    vars::VarList one;
    one.add(a.variable);
    std::string message;
    if (one.setText(0, a.value, message) != ORVAVARS_OK) throw VariableError(message);
    const auto bytes = one.encoded(0);
    server.mergeBytes(a.variable.area, a.variable.block, a.variable.byteOffset, {bytes.begin(), bytes.end()},
                      a.variable.byteMask());
    return vars::variableLine(a.variable, one.current(0).value);
}

std::string showVariable(const Server& server, std::string_view variable) {
    const auto parsed = vars::parseVariable(variable);
    const vars::Variable& v = parsedOrThrow(parsed);
    checkInside(server, v);
    vars::VarList one;
    one.add(v);
    if (const int status = one.decode(0, server.readBytes(v.area, v.block, v.byteOffset, v.byteCount));
        status != ORVAVARS_OK)
        throw VariableError(vars::variableText(v) + ": " + std::string(vars::resultText(status)));
    return vars::variableLine(v, one.current(0).value);
}

}  // namespace orvasim
