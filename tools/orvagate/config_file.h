/* SPDX-License-Identifier: Apache-2.0 */
// The configuration file (TOML; docs/gate.md has every key): read, checked
// whole, and every error reported with its line. Only config_file.cpp knows
// the TOML library.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config.h"

namespace orvagate {

struct ConfigError {
    std::string file;
    int line = 0;  // 0: not about a place in the file
    int column = 0;
    std::string message;
};
// "gate.toml:12:15: plc press1, group fast: interval_ms must be 10..86400000, not 0"
std::string describe(const ConfigError& error);

using ConfigResult = std::variant<Config, std::vector<ConfigError>>;
ConfigResult readConfigFile(const std::string& path);
// The same for a text, with path for the messages.
ConfigResult readConfigText(std::string_view text, const std::string& path);

// What --check prints about a good file: the gateway, and each PLC and group
// with the library calls that read it.
std::string configSummary(const Config& config);

}  // namespace orvagate
