/* SPDX-License-Identifier: Apache-2.0 */
// The gateway's configuration as read from its file (config_file.cpp), every
// value checked: a Config that exists is one the gateway can run.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "log.h"

namespace orvagate {

using Milliseconds = std::chrono::milliseconds;

enum class MqttProtocol { v311, v5 };

struct TlsConfig {
    std::string caFile;  // one of caFile and caPath is given
    std::string caPath;
    std::string certFile;  // both or neither
    std::string keyFile;

    bool operator==(const TlsConfig&) const = default;
};

struct BrokerConfig {
    std::string host = "localhost";
    int port = 1883;       // 8883 when TLS is given and no port
    std::string clientId;  // default orvagate-<gateway name>
    int keepAliveSeconds = 30;
    MqttProtocol protocol = MqttProtocol::v5;
    int qos = 1;
    std::optional<std::string> username;
    std::optional<std::string> password;
    std::optional<TlsConfig> tls;
    Milliseconds reconnectMin{1000};   // the first wait after a lost or refused connection,
    Milliseconds reconnectMax{30000};  // doubled up to this

    bool operator==(const BrokerConfig&) const = default;
};

enum class PublishMode { onChange, always };

struct VariableConfig {
    std::string name;      // its topic level
    std::string notation;  // "DB10.DD30:KG", as orvavars reads it
    int line = 0;          // where the file gives it, for messages
};

struct GroupConfig {
    std::string name;  // for messages; "group N" when not given
    Milliseconds interval{1000};
    PublishMode publish = PublishMode::onChange;
    double deadband = 0;  // numbers: a change of at most this much is not published
    bool writable = false;
    std::vector<VariableConfig> variables;
    int line = 0;
};

struct PlcConfig {
    std::string name;
    std::string address;  // dotted IPv4
    std::string ownTsap;
    std::string plcTsap;
    // 0: the library's default (500, 500, 5000 ms).
    Milliseconds receiveTimeout{0};
    Milliseconds sendTimeout{0};
    Milliseconds connectTimeout{0};
    Milliseconds retry{1000};  // after a failed connection, the next try no sooner
    std::vector<GroupConfig> groups;
    int line = 0;
};

struct Config {
    std::string file;  // where it was read from
    std::string gatewayName;
    std::string topicPrefix = "orvanet";
    std::optional<LogLevel> logLevel;  // none: the command line's, or info
    BrokerConfig broker;
    std::vector<PlcConfig> plcs;
};

// The limits the file is checked against.
inline constexpr int maxPlcs = 64;  // the library's handles
inline constexpr Milliseconds minInterval{10};
inline constexpr Milliseconds maxInterval{24 * 3600 * 1000};
inline constexpr int maxTsapLength = 8;

}  // namespace orvagate
