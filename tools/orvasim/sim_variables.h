/* SPDX-License-Identifier: Apache-2.0 */
// The adapter's memory by variable, in the PLC's notation of the variables
// library (DB5.DD30:KG, M10.3, T3:KT): what orvasim --set and the control
// channel's set and show do, so that tests and users prepare and inspect a
// PLC's memory in its own words. The values are encoded and decoded by the
// library, the bits of a byte merged here in memory.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "sim_server.h"

namespace orvasim {

// A text the notation refuses (its message names the position and what was
// expected), a value the variable's format refuses, or a variable outside the
// memory (a block shorter than it, or missing).
struct VariableError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "DB5.DD30:KG=12.5" (the value as ORVAVarsSetText reads it): writes the
// value's bytes; a bit changes only itself. Returns the line of the value as
// written, "DB5.DD30:KG = 12.5".
std::string setVariable(Server& server, std::string_view assignment);

// "DB5.DD30:KG": the line of its value, "DB5.DD30:KG = 12.5".
std::string showVariable(const Server& server, std::string_view variable);

}  // namespace orvasim
