/* SPDX-License-Identifier: Apache-2.0 */
// The gateway's log: one line per event on standard error, with its level.
// Under systemd (JOURNAL_STREAM set) each line starts with the syslog
// priority "<3>" that journald reads as the level; in a terminal the level is
// a word. Lines of different threads never mix: each goes out in one write.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvagate {

enum class LogLevel { error, warning, info, debug };

// "error", "warning", "info", "debug"; nullopt for anything else.
std::optional<LogLevel> logLevelNamed(std::string_view name);
std::string_view logLevelName(LogLevel level);
inline constexpr std::string_view logLevelNames = "error, warning, info or debug";

// Lines above this level are dropped. Any thread may change it.
void setLogLevel(LogLevel level);
bool logs(LogLevel level);

void log(LogLevel level, std::string_view message);
inline void logError(std::string_view message) { log(LogLevel::error, message); }
inline void logWarning(std::string_view message) { log(LogLevel::warning, message); }
inline void logInfo(std::string_view message) { log(LogLevel::info, message); }
inline void logDebug(std::string_view message) {
    if (logs(LogLevel::debug)) log(LogLevel::debug, message);
}

}  // namespace orvagate
