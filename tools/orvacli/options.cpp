// SPDX-License-Identifier: Apache-2.0
#include "options.h"

#include "command_line.h"

#include <array>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>
#include <string_view>

namespace orvacli {
namespace {

constexpr int byteMax = 0xFF;
constexpr int wordMax = 0xFFFF;
constexpr int ipv4Parts = 4;

using orva::notation::rangeText;
using orva::wire::maxTsapLength;

// A number within [low, high], or an error naming what it was for.
bool parseBounded(std::string_view text, long long low, long long high, std::string_view what, int& out,
                  std::string& error) {
    const auto value = orva::notation::readNumber(text, low, high, what, error);
    if (!value) return false;
    out = static_cast<int>(*value);
    return true;
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

bool parseArea(std::string_view text, Area& area, std::string& error) {
    const auto spelled = orva::notation::readArea(text, error);
    if (!spelled) return false;
    if (orva::notation::isBlockArea(spelled->area) && !spelled->block) {
        error = std::string(orva::notation::areaName(spelled->area)) + " need a block number, as in " +
                orva::notation::areaText(spelled->area, 5);
        return false;
    }
    area = Area{spelled->area, spelled->block.value_or(0)};
    return true;
}

// The letters each library function accepts, by direction and unit.
bool checkAreaForCall(const Options& o, std::string& error) {
    if (o.direction == Direction::write && o.area.code == orva::wire::AreaCode::inputs) {
        error = "inputs (E) can be read but not written";
        return false;
    }
    if (o.unit == Unit::bytes && orva::wire::isWordCounted(o.area.code)) {
        error = std::string(orva::notation::areaName(o.area.code)) + " are read and written in words only: add --words";
        return false;
    }
    return true;
}

bool parseValue(std::string_view text, Unit unit, std::uint16_t& out, std::string& error) {
    const long long high = unit == Unit::bytes ? byteMax : wordMax;
    const long long lowNegative = -(high + 1) / 2;
    const auto value = orva::notation::readNumber(text);
    if (!value) {
        error = "value '" + std::string(text) + "' is not a number (decimal, 0x hex or 0b binary)";
        return false;
    }
    if (*value < lowNegative || *value > high) {
        const std::string size = unit == Unit::bytes ? "a byte" : "a word";
        error = "value " + std::string(text) + " does not fit in " + size + " (" + rangeText(0, high) + ", or " +
                rangeText(lowNegative, -1) + " as two's complement)";
        if (unit == Unit::bytes && *value > high && *value <= wordMax) error += "; add --words for 16-bit values";
        return false;
    }
    // Negative values are stored as their two's complement in the element size.
    out = static_cast<std::uint16_t>(*value < 0 ? *value + high + 1 : *value);
    return true;
}

}  // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    Options& o = result.options;
    std::string& error = result.error;
    std::vector<std::string> positional;

    auto fail = [&](std::string message) {
        result.status = ParseStatus::usageError;
        error = std::move(message);
        return result;
    };

    orva::notation::ArgumentReader reader(args);
    while (!reader.done()) {
        if (!reader.next()) {
            positional.push_back(reader.operand());
            continue;
        }
        const std::string& name = reader.name();
        auto takeValue = [&](std::string& value) {
            const auto given = reader.value(error);
            if (given) value = *given;
            return given.has_value();
        };
        auto flag = [&]() { return reader.noValue(error); };

        std::string value;
        if (reader.isHelp() || reader.isVersion()) {
            result.status = reader.isHelp() ? ParseStatus::help : ParseStatus::version;
            return result;
        }
        if (name == "-w" || name == "--words") {
            if (!flag()) return fail(error);
            o.unit = Unit::words;
        } else if (name == "-b" || name == "--bytes") {
            if (!flag()) return fail(error);
            o.unit = Unit::bytes;
        } else if (name == "--table" || name == "--hex" || name == "--json") {
            if (!flag()) return fail(error);
            o.format = name == "--table" ? Format::table : name == "--hex" ? Format::hex : Format::json;
        } else if (name == "-f" || name == "--format") {
            if (!takeValue(value)) return fail(error);
            if (value == "table")
                o.format = Format::table;
            else if (value == "hex")
                o.format = Format::hex;
            else if (value == "json")
                o.format = Format::json;
            else
                return fail("unknown format '" + value + "': use table, hex or json");
        } else if (name == "--own-tsap" || name == "--plc-tsap") {
            if (!takeValue(value)) return fail(error);
            if (value.size() > maxTsapLength)
                return fail(name.substr(2) + " '" + value + "' is longer than " + std::to_string(maxTsapLength) +
                            " characters");
            (name == "--own-tsap" ? o.ownTsap : o.plcTsap) = value;
        } else if (name == "--receive-timeout" || name == "--send-timeout" || name == "--connect-timeout" ||
                   name == "--timeout") {
            int ms = 0;
            if (!takeValue(value) || !parseBounded(value, 0, maxTimeoutMs, name.substr(2), ms, error))
                return fail(error);
            if (name == "--receive-timeout" || name == "--timeout") o.receiveTimeoutMs = ms;
            if (name == "--send-timeout" || name == "--timeout") o.sendTimeoutMs = ms;
            if (name == "--connect-timeout" || name == "--timeout") o.connectTimeoutMs = ms;
        } else if (name == "-n" || name == "--repeat") {
            if (!takeValue(value) ||
                !parseBounded(value, 0, std::numeric_limits<int>::max(), "repeat", o.repeat, error))
                return fail(error);
        } else if (name == "-i" || name == "--interval") {
            if (!takeValue(value) || !parseBounded(value, 0, maxIntervalMs, "interval", o.intervalMs, error))
                return fail(error);
        } else {
            return fail("unknown option '" + name + "'");
        }
    }

    if (positional.empty()) return fail("missing the adapter's address");
    o.address = positional[0];
    if (!isDottedIpv4(o.address))
        return fail("address '" + o.address + "' is not a dotted IPv4 address (four numbers 0..255)");
    if (positional.size() < 2) return fail("missing the command: read or write");
    const std::string command = positional[1];
    if (command == "read") {
        o.direction = Direction::read;
        if (positional.size() != 5)
            return fail(positional.size() < 5 ? "read needs AREA START COUNT"
                                              : "read takes AREA START COUNT; unexpected '" + positional[5] + "'");
    } else if (command == "write") {
        o.direction = Direction::write;
        if (positional.size() < 5) return fail("write needs AREA START VALUE...");
    } else {
        return fail("unknown command '" + command + "': use read or write");
    }

    if (!parseArea(positional[2], o.area, error)) return fail(error);
    if (!checkAreaForCall(o, error)) return fail(error);
    if (!parseBounded(positional[3], 0, maxAddress, "start", o.start, error)) return fail(error);

    if (o.direction == Direction::read) {
        if (!parseBounded(positional[4], 1, maxCount, "count", o.count, error)) return fail(error);
    } else {
        if (positional.size() - 4 > static_cast<std::size_t>(maxCount))
            return fail("at most " + std::to_string(maxCount) + " values can be written at once");
        for (std::size_t i = 4; i < positional.size(); ++i) {
            std::uint16_t v = 0;
            if (!parseValue(positional[i], o.unit, v, error)) return fail(error);
            o.values.push_back(v);
        }
        o.count = static_cast<int>(o.values.size());
    }

    // The range must stay inside the area's address space.
    const long long last = static_cast<long long>(o.start) +
                           static_cast<long long>(o.count) * orva::notation::addressStep(o.area.code, o.unit) - 1;
    if (last > maxAddress)
        return fail("the range " + std::to_string(o.start) + ".." + std::to_string(last) + " runs past address " +
                    std::to_string(maxAddress) + " of the area");

    result.status = ParseStatus::run;
    return result;
}

}  // namespace orvacli

namespace orvacli {

std::string helpText() {
    return R"(Usage: orvacli [OPTIONS] ADDRESS read AREA START COUNT
       orvacli [OPTIONS] ADDRESS write AREA START VALUE...

Reads or writes one data area of an S5 PLC through its network adapter
(ISO transport on TCP port 102) with liborvanet.

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

Transfer:
  -b, --bytes             move bytes (the default)
  -w, --words             move 16-bit words (needed for DB, DX, T and Z)
      --own-tsap NAME     own TSAP, at most 8 characters (default: empty)
      --plc-tsap NAME     the PLC side's TSAP, at most 8 characters (default: empty)
      --receive-timeout MS  time to wait for each reply (default 500)
      --send-timeout MS     time a send may block (default 500)
      --connect-timeout MS  time the TCP connect may take (default 5000)
      --timeout MS          all three time-outs at once
                          A time-out of 0 selects its default.

Output (on standard output; errors go to standard error):
  -f, --format FORMAT     table (default), hex or json
      --table, --hex, --json  the same, shorter
                          table: one row per element with its address (as
                            MB10, EW2, DB 5 DW3, T 7, Z 3), decimal, hex (two
                            digits a byte, four a word) and the printable
                            characters ('A'; for a word the low-order byte
                            first)
                          hex:   the values only, two hex digits per byte or
                            four per word, 16 bytes or 8 words a line
                          json:  one object per line, for scripts
  -n, --repeat N          do it N times (0: until interrupted with Ctrl-C)
  -i, --interval MS       pause between repetitions (default 1000)
                          With --repeat a summary of rounds and failures goes
                          to standard error at the end.
  -h, --help              show this text
  -V, --version           show the version

Exit status:
  0   success (with --repeat: every round succeeded)
  1   the library failed for another reason (no free handle, out of memory)
  2   the PLC side reported an error (data area missing or too small)
  3   connection failure: refused, timed out, reset, dropped or set-up
      failed (the message names the result code and the socket error)
  64  bad usage: nothing was sent
  With --repeat, the status of the last failed round.

Examples:
  orvacli 127.0.0.1 read M 10 4
  orvacli 127.0.0.1 read DB5 0 10 --words
  orvacli 127.0.0.1 write DB5 3 0x1234 42 --words
  orvacli 127.0.0.1 read E 0 2 --json --repeat 10 --interval 500
  orvacli --own-tsap TCP-1 --plc-tsap TCP-1 --timeout 2000 127.0.0.1 read A 0 8
)";
}

}  // namespace orvacli
