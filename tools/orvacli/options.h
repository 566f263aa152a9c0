/* SPDX-License-Identifier: Apache-2.0 */
// orvacli's command line: what to read or write, where, and how to show it.
// Everything is checked here, before any traffic, against the rules the library
// applies (area letters per direction, ranges, value sizes); the variables of
// get and set by the variables library, their values included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "notation.h"
#include "var_list.h"

namespace orvacli {

enum class Direction { read, write };
using Unit = orva::vars::Unit;
enum class Format { table, hex, json };

// One data area as the library addresses it.
struct Area {
    orva::wire::AreaCode code = orva::wire::AreaCode::none;
    int block = 0;  // DB and DX only
    // The letter handed to the library: A E M D X T Z.
    char letter() const { return orva::vars::libraryLetter(code); }
};

inline constexpr int maxAddress = 65535;
inline constexpr int maxCount = 65535;
inline constexpr int maxTimeoutMs = 3'600'000;
inline constexpr int maxIntervalMs = 86'400'000;
inline constexpr int defaultIntervalMs = 1000;

struct Options {
    std::string address;
    Direction direction = Direction::read;
    // get and set: the variables, not an area's elements (area, unit, start,
    // count and values are unused); set gives each its value.
    bool byVariable = false;
    orva::vars::VarList variables;
    Area area;
    Unit unit = Unit::bytes;
    int start = 0;
    int count = 0;                      // elements; for a write, values.size()
    std::vector<std::uint16_t> values;  // write only; bytes hold 0..255
    std::string ownTsap;
    std::string plcTsap;
    int receiveTimeoutMs = 0;  // 0: the library's default
    int sendTimeoutMs = 0;
    int connectTimeoutMs = 0;
    Format format = Format::table;
    int repeat = 1;  // 0: until interrupted
    int intervalMs = defaultIntervalMs;
};

enum class ParseStatus { run, help, version, usageError };

struct ParseResult {
    ParseStatus status = ParseStatus::usageError;
    Options options;
    std::string error;  // usageError: one line saying what is wrong
};

// args are the program's arguments without its name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

std::string helpText();

}  // namespace orvacli
