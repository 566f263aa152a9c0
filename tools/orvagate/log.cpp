// SPDX-License-Identifier: Apache-2.0
#include "log.h"

#include <unistd.h>

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

std::string_view syslogPrefix(LogLevel level) {
    switch (level) {
    case LogLevel::error: return "<3>";
    case LogLevel::warning: return "<4>";
    case LogLevel::info: return "<6>";
    case LogLevel::debug: return "<7>";
    }
    return "<6>";
}

}  // namespace

std::optional<LogLevel> logLevelNamed(std::string_view name) {
    for (LogLevel level : {LogLevel::error, LogLevel::warning, LogLevel::info, LogLevel::debug})
        if (logLevelName(level) == name) return level;
    return std::nullopt;
}

std::string_view logLevelName(LogLevel level) {
    switch (level) {
    case LogLevel::error: return "error";
    case LogLevel::warning: return "warning";
    case LogLevel::info: return "info";
    case LogLevel::debug: return "debug";
    }
    return "info";
}

void setLogLevel(LogLevel level) { threshold.store(level, std::memory_order_relaxed); }

bool logs(LogLevel level) { return level <= threshold.load(std::memory_order_relaxed); }

void log(LogLevel level, std::string_view message) {
    if (!logs(level)) return;
    std::string line;
    line.reserve(message.size() + 24);
    if (toJournal()) {
        line += syslogPrefix(level);
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
