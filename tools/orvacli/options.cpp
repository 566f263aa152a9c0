// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include <array>
#include <limits>
#include <memory>
#include <set>
#include <span>
#include <string_view>

#include "command_line.h"
#include "messages.h"
#include "variable.h"

namespace orvacli {
namespace {

using orva::command_line::UsageError;
using orva::vars::rangeText;
using orva::wire::maxTsapLength;

constexpr int byteMax = 0xFF;
constexpr int wordMax = 0xFFFF;
constexpr int ipv4Parts = 4;
constexpr std::string_view inputsNotWritten = "inputs (E) can be read but not written";

int number(std::string_view text, long long low, long long high, std::string_view what) {
    return static_cast<int>(orva::command_line::numberOrUsageError(text, low, high, what));
}

bool isDottedIpv4(std::string_view text) {
    int parts = 0;
    while (true) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.size() > 3) return false;
        for (char c : part)
            if (c < '0' || c > '9') return false;
        if (std::stoi(std::string(part)) > byteMax) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts == ipv4Parts;
}

Area areaNamed(std::string_view text) {
    std::string error;
    const auto spelled = orva::vars::readArea(text, error);
    if (!spelled) throw UsageError{error};
    if (orva::vars::isBlockArea(spelled->area) && !spelled->block)
        throw UsageError{std::string(orva::vars::areaName(spelled->area)) + " need a block number, as in " +
                         orva::vars::areaText(spelled->area, 5)};
    return Area{spelled->area, spelled->block.value_or(0)};
}

// The letters each library function accepts, by direction and unit.
void checkAreaForCall(const Options& o) {
    if (o.direction == Direction::write && o.area.code == orva::wire::AreaCode::inputs)
        throw UsageError{std::string(inputsNotWritten)};
    if (o.unit == Unit::bytes && orva::wire::isWordCounted(o.area.code))
        throw UsageError{std::string(orva::vars::areaName(o.area.code)) +
                         " are read and written in words only: add --words"};
}

std::uint16_t valueOf(std::string_view text, Unit unit) {
    const long long high = unit == Unit::bytes ? byteMax : wordMax;
    const long long lowNegative = -(high + 1) / 2;
    const auto value = orva::vars::readNumber(text);
    if (!value) throw UsageError{"value '" + std::string(text) + "' is not a number (decimal, 0x hex or 0b binary)"};
    if (*value < lowNegative || *value > high) {
        const std::string size = unit == Unit::bytes ? "a byte" : "a word";
        std::string error = "value " + std::string(text) + " does not fit in " + size + " (" + rangeText(0, high) +
                            ", or " + rangeText(lowNegative, -1) + " as two's complement)";
        if (unit == Unit::bytes && *value > high && *value <= wordMax) error += "; add --words for 16-bit values";
        throw UsageError{error};
    }
    // Negative values are stored as their two's complement in the element size.
    return static_cast<std::uint16_t>(*value < 0 ? *value + high + 1 : *value);
}

// --- The commands ------------------------------------------------------------
// Each takes the operands after its name (AREA START ...) into the request. They
// are operands, not CLI11 subcommands: CLI11 2.1.2 ends a subcommand's arguments
// at "--", which would part "write M 0 -- -5" from its value.

void takeAreaAndStart(std::span<const std::string> operands, Options& o) {
    o.area = areaNamed(operands[0]);
    checkAreaForCall(o);
    o.start = number(operands[1], 0, maxAddress, "start");
}

// The range must stay inside the area's address space.
void checkRange(const Options& o) {
    const long long last = static_cast<long long>(o.start) +
                           static_cast<long long>(o.count) * orva::vars::addressStep(o.area.code, o.unit) - 1;
    if (last > maxAddress)
        throw UsageError{"the range " + std::to_string(o.start) + ".." + std::to_string(last) + " runs past address " +
                         std::to_string(maxAddress) + " of the area"};
}

void takeRead(std::span<const std::string> operands, Options& o) {
    if (operands.size() < 3) throw UsageError{"read needs AREA START COUNT"};
    if (operands.size() > 3) throw UsageError{"read takes AREA START COUNT; unexpected '" + operands[3] + "'"};
    takeAreaAndStart(operands, o);
    o.count = number(operands[2], 1, maxCount, "count");
    checkRange(o);
}

void takeWrite(std::span<const std::string> operands, Options& o) {
    if (operands.size() < 3) throw UsageError{"write needs AREA START VALUE..."};
    takeAreaAndStart(operands, o);
    const auto values = operands.subspan(2);
    if (values.size() > static_cast<std::size_t>(maxCount))
        throw UsageError{"at most " + std::to_string(maxCount) + " values can be written at once"};
    for (const std::string& v : values) o.values.push_back(valueOf(v, o.unit));
    o.count = static_cast<int>(o.values.size());
    checkRange(o);
}

// get and set: each operand a variable, or a variable and its value, as the
// variables library reads them; a refused one is named with the library's
// message, which says where in it and what was expected.
template <typename Parsed>
Parsed parsedOrRefused(std::variant<Parsed, orva::vars::ParseError> parsed, std::string_view operand) {
    if (const auto* e = std::get_if<orva::vars::ParseError>(&parsed))
        throw UsageError{std::string(operand) + ": " + e->message};
    return std::get<Parsed>(std::move(parsed));
}

orva::vars::Assignment operandOf(const std::string& text, bool withValue) {
    if (withValue) return parsedOrRefused(orva::vars::parseAssignment(text), text);
    return {parsedOrRefused(orva::vars::parseVariable(text), text), {}};
}

// get VARIABLE... (o.direction read) and set VARIABLE=VALUE... (write); the
// same variable twice, in any spelling, is refused.
void takeVariables(std::span<const std::string> operands, Options& o) {
    const bool set = o.direction == Direction::write;
    if (operands.empty())
        throw UsageError{set ? "set needs VARIABLE=VALUE..., as in DB10.DD30:KG=12.5 M20.3=1"
                             : "get needs VARIABLE..., as in DB10.DD30:KG MW20:KF T3"};
    if (o.format == Format::hex)
        throw UsageError{std::string(set ? "set" : "get") +
                         " prints a line per variable or json; --hex is for read and write"};
    o.byVariable = true;
    std::set<std::string> seen;
    for (const std::string& text : operands) {
        const auto [variable, value] = operandOf(text, set);
        if (set && variable.area == orva::wire::AreaCode::inputs)
            throw UsageError{text + ": " + std::string(inputsNotWritten)};
        const std::string spelling = orva::vars::variableText(variable);
        if (!seen.insert(spelling).second) throw UsageError{text + ": " + spelling + " is given twice"};
        const int index = o.variables.add(variable);
        if (index < 0) throw UsageError{text + ": " + std::string(orva::vars::resultText(index))};
        std::string message;
        if (set && o.variables.setText(index, value, message) != ORVAVARS_OK) throw UsageError{text + ": " + message};
    }
}

struct Command {
    std::string_view name;
    std::string_view operands;  // for the usage lines
    Direction direction;
    void (*take)(std::span<const std::string> operands, Options& o);
};

constexpr std::array commands = {
    Command{"read", "AREA START COUNT", Direction::read, takeRead},
    Command{"write", "AREA START VALUE...", Direction::write, takeWrite},
    Command{"get", "VARIABLE...", Direction::read, takeVariables},
    Command{"set", "VARIABLE=VALUE...", Direction::write, takeVariables},
};

// "read, write, get or set"
std::string commandNames() {
    std::string names;
    for (std::size_t i = 0; i < commands.size(); ++i)
        names += (i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + std::string(commands[i].name);
    return names;
}

// ADDRESS COMMAND OPERANDS...
void takeOperands(const std::vector<std::string>& operands, Options& o) {
    if (operands.empty()) throw UsageError{"missing the adapter's address"};
    o.address = operands[0];
    if (!isDottedIpv4(o.address))
        throw UsageError{"address '" + o.address + "' is not a dotted IPv4 address (four numbers 0..255)"};
    if (operands.size() < 2) throw UsageError{"missing the command: " + commandNames()};
    const Command* command = nullptr;
    for (const Command& c : commands)
        if (c.name == operands[1]) command = &c;
    if (command == nullptr) throw UsageError{"unknown command '" + operands[1] + "': use " + commandNames()};
    o.direction = command->direction;
    command->take(std::span(operands).subspan(2), o);
}

// --- The options and the help --------------------------------------------------

std::string usage() {
    std::string text;
    for (const Command& c : commands)
        text += std::string(text.empty() ? "Usage: " : "       ") + "orvacli [OPTIONS] ADDRESS " + std::string(c.name) +
                " " + std::string(c.operands) + "\n";
    return text;
}

constexpr std::string_view about = R"(
Reads or writes one data area of an S5 PLC through its network adapter
(ISO transport on TCP port 102) with liborvanet; or gets and sets typed
variables in the PLC's notation, in as few calls as the variables allow.

ADDRESS   the adapter's dotted IPv4 address
AREA      A or O  outputs                bytes or words, read and write
          E or I  inputs                 bytes or words, read only
          M       flags                  bytes or words, read and write
          DB<n>   data block n (0-255)   words only, read and write (also D<n>)
          DX<n>   extended data block n  words only, read and write (also X<n>)
          T       timers                 words only, read and write
          Z or C  counters               words only, read and write
          Letters may be given in either case.
Every number may be given in decimal, as 0x hex or as 0b binary.

START     first address, 0-65535, in the area's unit: bytes for A, E and M
          (also with --words, where each word covers two addresses), words for
          DB, DX, T and Z
COUNT     number of bytes, or of words with --words, 1-65535
VALUE     one byte (0-255) or, with --words, one word (0-65535) per value;
          negative values (-128..-1, or -32768..-1 with --words) are
          written as two's complement

VARIABLE  an address in the PLC's notation, then optionally a colon and a
          data format: MB10, MW10, MD10, M10.3 (also E, A, I, Q, O),
          DB5.DW3, DB5.DL3, DB5.DR3, DB5.DD20, DB5.D3.15, DX7.DW0, T3, Z5;
          formats KF KH KM KY KC KT KZ KG DH KS<n> (DB10.DD30:KG, MW20:KF).
          get prints one line per variable, "DB10.DD30:KG = 12.34567".
VALUE     of set, after "=": as the format reads it: 12.5, -3, 0x1F, true,
          1.5s, 18,52, text. Bits and bytes of data words are read and
          written back with the rest of their byte or word.
)";

constexpr std::string_view exitStatuses = R"(
Exit status:
  0   success (with --repeat: every round succeeded)
  1   the library failed for another reason (no free handle, out of memory,
      a value that does not decode)
  2   the PLC side reported an error (data area missing or too small)
  3   connection failure: refused, timed out, reset, dropped or set-up
      failed (the message names the result code and the socket error)
  64  bad usage: nothing was sent
  With --repeat, the status of the last failed round; of several
  variables, that of the first failure.

Examples:
  orvacli 127.0.0.1 read M 10 4
  orvacli 127.0.0.1 read DB5 0 10 --words
  orvacli 127.0.0.1 write DB5 3 0x1234 42 --words
  orvacli 127.0.0.1 get DB10.DD30:KG MW20:KF T3
  orvacli 127.0.0.1 set DB10.DD30:KG=12.5 M20.3=1
  orvacli 127.0.0.1 read E 0 2 --json --repeat 10 --interval 500
  orvacli --own-tsap TCP-1 --plc-tsap TCP-1 --timeout 2000 127.0.0.1 read A 0 8
)";

Format formatNamed(const std::string& name) {
    if (name == "table") return Format::table;
    if (name == "hex") return Format::hex;
    if (name == "json") return Format::json;
    throw UsageError{"unknown format '" + name + "': use table, hex or json"};
}

std::string tsap(const std::string& option, const std::string& value) {
    if (value.size() > maxTsapLength)
        throw UsageError{option + " '" + value + "' is longer than " + std::to_string(maxTsapLength) + " characters"};
    return value;
}

// The command line of orvacli, its handlers writing into o, its operands into operands.
std::unique_ptr<orva::command_line::CommandLine> commandLine(Options& o, std::vector<std::string>& operands) {
    auto cl =
        std::make_unique<orva::command_line::CommandLine>(usage() + std::string(about), std::string(exitStatuses));
    const std::string tsapLimit = "at most " + std::to_string(maxTsapLength) + " characters (default: empty)";
    auto timeout = [](const std::string& name, const std::string& value) {
        return number(value, 0, maxTimeoutMs, name);
    };
    cl->group("Transfer");
    cl->flag("-b,--bytes", "move bytes (the default)", [&o] { o.unit = Unit::bytes; });
    cl->flag("-w,--words", "move 16-bit words (needed for DB, DX, T and Z)", [&o] { o.unit = Unit::words; });
    cl->option("--own-tsap", "NAME", "own TSAP, " + tsapLimit,
               [&o](const std::string& v) { o.ownTsap = tsap("own-tsap", v); });
    cl->option("--plc-tsap", "NAME", "the PLC side's TSAP, " + tsapLimit,
               [&o](const std::string& v) { o.plcTsap = tsap("plc-tsap", v); });
    cl->option("--receive-timeout", "MS", "time to wait for each reply (default 500)",
               [&o, timeout](const std::string& v) { o.receiveTimeoutMs = timeout("receive-timeout", v); });
    cl->option("--send-timeout", "MS", "time a send may block (default 500)",
               [&o, timeout](const std::string& v) { o.sendTimeoutMs = timeout("send-timeout", v); });
    cl->option("--connect-timeout", "MS", "time the TCP connect may take (default 5000)",
               [&o, timeout](const std::string& v) { o.connectTimeoutMs = timeout("connect-timeout", v); });
    cl->option("--timeout", "MS", "all three time-outs at once\nA time-out of 0 selects its default.",
               [&o, timeout](const std::string& v) {
                   o.receiveTimeoutMs = o.sendTimeoutMs = o.connectTimeoutMs = timeout("timeout", v);
               });
    cl->group("Output (on standard output; errors go to standard error)");
    cl->option("-f,--format", "FORMAT", "table (default), hex or json",
               [&o](const std::string& v) { o.format = formatNamed(v); });
    cl->choiceFlags("--table{table},--hex{hex},--json{json}",
                    "the same, shorter\n"
                    "table: one row per element with its address (as\n"
                    "  MB10, EW2, DB 5 DW3, T 7, Z 3), decimal, hex (two\n"
                    "  digits a byte, four a word) and the printable\n"
                    "  characters ('A'; for a word the low-order byte\n"
                    "  first)\n"
                    "hex:   the values only, two hex digits per byte or\n"
                    "  four per word, 16 bytes or 8 words a line\n"
                    "json:  one object per line, for scripts\n"
                    "get and set print a line per variable, or with\n"
                    "json one object with a member per variable",
                    [&o](const std::string& v) { o.format = formatNamed(v); });
    cl->option("-n,--repeat", "N", "do it N times (0: until interrupted with Ctrl-C)",
               [&o](const std::string& v) { o.repeat = number(v, 0, std::numeric_limits<int>::max(), "repeat"); });
    cl->option("-i,--interval", "MS",
               "pause between repetitions (default 1000)\n"
               "With --repeat a summary of rounds and failures goes\n"
               "to standard error at the end.",
               [&o](const std::string& v) { o.intervalMs = number(v, 0, maxIntervalMs, "interval"); });
    cl->helpFlag("-h,--help", "show this text");
    cl->versionFlag("-V,--version", "show the version");
    cl->operands(operands);
    return cl;
}

}  // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    std::vector<std::string> operands;
    const auto cl = commandLine(result.options, operands);
    switch (cl->read(args)) {
    case orva::command_line::CommandLine::Outcome::help: result.status = ParseStatus::help; return result;
    case orva::command_line::CommandLine::Outcome::version: result.status = ParseStatus::version; return result;
    case orva::command_line::CommandLine::Outcome::usageError: result.error = cl->error(); return result;
    case orva::command_line::CommandLine::Outcome::run: break;
    }
    try {
        takeOperands(operands, result.options);
    } catch (const UsageError& e) {
        result.error = e.message;
        return result;
    }
    result.status = ParseStatus::run;
    return result;
}

std::string helpText() {
    Options unused;
    std::vector<std::string> operands;
    return commandLine(unused, operands)->help();
}

}  // namespace orvacli
