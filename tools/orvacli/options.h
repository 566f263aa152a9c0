// orvacli's command line: what to read or write, where, and how to show it.
// Everything is checked here, before any traffic, against the rules the library
// applies (area letters per direction, ranges, value sizes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvacli {

enum class Direction { read, write };
enum class Unit { bytes, words };
enum class Format { table, hex, json };

// One data area as the library addresses it. letter is the canonical letter
// handed to the library: A (outputs), E (inputs), M (flags), D (data block),
// X (extended data block), T (timers), Z (counters).
struct Area {
    char letter = 0;
    int block = 0;  // D and X only
};

// D, X, T and Z count start and length in words; A, E and M in bytes.
bool isWordCounted(char letter);
// Number of area addresses one element covers: a word of a byte area spans two.
int addressSpan(char letter, Unit unit);

inline constexpr int maxAddress = 65535;
inline constexpr int maxCount = 65535;
inline constexpr int maxBlock = 255;
inline constexpr int maxTsapLength = 8;
inline constexpr int maxTimeoutMs = 3'600'000;
inline constexpr int maxIntervalMs = 86'400'000;
inline constexpr int defaultIntervalMs = 1000;

struct Options {
    std::string address;
    Direction direction = Direction::read;
    Area area;
    Unit unit = Unit::bytes;
    int start = 0;
    int count = 0;                       // elements; for a write, values.size()
    std::vector<std::uint16_t> values;   // write only; bytes hold 0..255
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
