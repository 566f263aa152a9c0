#include "options.h"

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

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Every number on the command line reads the same way: an optional sign, then
// decimal digits, or 0x and hex digits, or 0b and binary digits; nothing else.
std::optional<long long> readNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0') {
        if (text[1] == 'x' || text[1] == 'X') base = 16;
        if (text[1] == 'b' || text[1] == 'B') base = 2;
        if (base != 10) text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 20) return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0) return std::nullopt;
    return negative ? -value : value;
}

std::string rangeText(long long low, long long high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

std::string notANumber(std::string_view what, std::string_view text) {
    return std::string(what) + " '" + std::string(text) + "' is not a number (decimal, 0x hex or 0b binary)";
}

// A number within [low, high], or an error naming what it was for.
bool parseBounded(std::string_view text, long long low, long long high, std::string_view what, int& out,
                  std::string& error) {
    const auto value = readNumber(text);
    if (!value) {
        error = notANumber(what, text);
        return false;
    }
    if (*value < low || *value > high) {
        error = std::string(what) + " " + std::string(text) + " is out of range (" + rangeText(low, high) + ")";
        return false;
    }
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

const char* areaName(char letter) {
    switch (letter) {
    case 'A': return "outputs (A)";
    case 'E': return "inputs (E)";
    case 'M': return "flags (M)";
    case 'D': return "data blocks (DB)";
    case 'X': return "extended data blocks (DX)";
    case 'T': return "timers (T)";
    case 'Z': return "counters (Z)";
    default: return "this area";
    }
}

constexpr std::string_view areaChoices =
    "A or O (outputs), E or I (inputs), M (flags), DB<n> (data block n), DX<n> (extended data block n), "
    "T (timers), Z or C (counters)";

bool parseArea(std::string_view text, Area& area, std::string& error) {
    const std::string name = upper(text);
    struct Letter {
        std::string_view name;
        char letter;
    };
    static constexpr std::array<Letter, 8> single = {{
        {"A", 'A'}, {"O", 'A'}, {"E", 'E'}, {"I", 'E'}, {"M", 'M'}, {"T", 'T'}, {"Z", 'Z'}, {"C", 'Z'},
    }};
    for (const Letter& l : single) {
        if (name == l.name) {
            area = Area{l.letter, 0};
            return true;
        }
    }
    // Blocks: DB5 or D5, DX5 or X5.
    std::string_view rest = name;
    char letter = 0;
    if (rest.starts_with("DB") || rest.starts_with("DX")) {
        letter = rest[1] == 'B' ? 'D' : 'X';
        rest.remove_prefix(2);
    } else if (rest.starts_with('D') || rest.starts_with('X')) {
        letter = rest[0];
        rest.remove_prefix(1);
    }
    if (letter == 0) {
        error = "unknown area '" + std::string(text) + "': use " + std::string(areaChoices);
        return false;
    }
    if (rest.empty()) {
        error = std::string(areaName(letter)) + " need a block number, as in " + (letter == 'D' ? "DB5" : "DX5");
        return false;
    }
    int block = 0;
    if (!parseBounded(rest, 0, maxBlock, "block number", block, error)) return false;
    area = Area{letter, block};
    return true;
}

// The letters each library function accepts, by direction and unit.
bool checkAreaForCall(const Options& o, std::string& error) {
    const char letter = o.area.letter;
    if (o.direction == Direction::write && letter == 'E') {
        error = "inputs (E) can be read but not written";
        return false;
    }
    if (o.unit == Unit::bytes && isWordCounted(letter)) {
        error = std::string(areaName(letter)) + " are read and written in words only: add --words";
        return false;
    }
    return true;
}

bool parseValue(std::string_view text, Unit unit, std::uint16_t& out, std::string& error) {
    const long long high = unit == Unit::bytes ? byteMax : wordMax;
    const long long lowNegative = -(high + 1) / 2;
    const auto value = readNumber(text);
    if (!value) {
        error = notANumber("value", text);
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

bool isNegativeNumber(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-' && std::isdigit(static_cast<unsigned char>(arg[1]));
}

}  // namespace

bool isWordCounted(char letter) {
    return letter == 'D' || letter == 'X' || letter == 'T' || letter == 'Z';
}

int addressSpan(char letter, Unit unit) {
    return unit == Unit::words && !isWordCounted(letter) ? 2 : 1;
}

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

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-" || isNegativeNumber(arg)) {
            positional.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value or --name value.
        std::string_view name = arg;
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = std::string(arg.substr(eq + 1));
        }
        auto takeValue = [&](std::string& value) {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + std::string(name) + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto flag = [&]() {
            if (!inlineValue) return true;
            error = "option " + std::string(name) + " takes no value";
            return false;
        };

        std::string value;
        if (name == "-h" || name == "--help") {
            result.status = ParseStatus::help;
            return result;
        }
        if (name == "-V" || name == "--version") {
            result.status = ParseStatus::version;
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
            if (value == "table") o.format = Format::table;
            else if (value == "hex") o.format = Format::hex;
            else if (value == "json") o.format = Format::json;
            else return fail("unknown format '" + value + "': use table, hex or json");
        } else if (name == "--own-tsap" || name == "--plc-tsap") {
            if (!takeValue(value)) return fail(error);
            if (value.size() > static_cast<std::size_t>(maxTsapLength))
                return fail(std::string(name.substr(2)) + " '" + value + "' is longer than " +
                            std::to_string(maxTsapLength) + " characters");
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
            if (!takeValue(value) || !parseBounded(value, 0, std::numeric_limits<int>::max(), "repeat", o.repeat, error))
                return fail(error);
        } else if (name == "-i" || name == "--interval") {
            if (!takeValue(value) || !parseBounded(value, 0, maxIntervalMs, "interval", o.intervalMs, error))
                return fail(error);
        } else {
            return fail("unknown option '" + std::string(arg) + "'");
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
                           static_cast<long long>(o.count) * addressSpan(o.area.letter, o.unit) - 1;
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
