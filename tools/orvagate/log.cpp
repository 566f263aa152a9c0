// SPDX-License-Identifier: Apache-2.0
#include "log.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>

namespace orvagate {
namespace {

std::atomic<LogLevel> threshold{LogLevel::info};

// journald's stream reader takes a leading "<N>" as the line's priority.
bool toJournal() {
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    return journal;
}

// One row per level, in the enum's order: its name in the configuration and
// the priority journald reads from a line's leading "<N>".
struct LevelFacts {
    LogLevel level;
    std::string_view name;
    std::string_view journalPriority;
};
constexpr std::array<LevelFacts, 4> levels{{
    {LogLevel::error, "error", "<3>"},
    {LogLevel::warning, "warning", "<4>"},
    {LogLevel::info, "info", "<6>"},
    {LogLevel::debug, "debug", "<7>"},
}};
constexpr bool inEnumOrder() {
    for (std::size_t i = 0; i < levels.size(); ++i)
        if (static_cast<std::size_t>(levels[i].level) != i) return false;
    return true;
}
static_assert(inEnumOrder(), "levels must be listed in LogLevel's order");

const LevelFacts& factsOf(LogLevel level) {
    const auto i = static_cast<std::size_t>(level);
    return i < levels.size() ? levels[i] : levels[static_cast<std::size_t>(LogLevel::info)];
}

}  // namespace

std::optional<LogLevel> logLevelNamed(std::string_view name) {
    for (const LevelFacts& facts : levels)
        if (facts.name == name) return facts.level;
    return std::nullopt;
}

std::string_view logLevelName(LogLevel level) { return factsOf(level).name; }

void setLogLevel(LogLevel level) { threshold.store(level, std::memory_order_relaxed); }

bool logs(LogLevel level) { return level <= threshold.load(std::memory_order_relaxed); }

void log(LogLevel level, std::string_view message) {
    if (!logs(level)) return;
    std::string line;
    line.reserve(message.size() + 24);
    if (toJournal()) {
        line += factsOf(level).journalPriority;
    } else {
        line += "orvagate: ";
        line += logLevelName(level);
        line += ": ";
    }
    line += message;
    line += '\n';
    // One write per line: lines of different threads do not interleave.
    std::size_t at = 0;
    while (at < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + at, line.size() - at);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

}  // namespace orvagate
