// SPDX-License-Identifier: Apache-2.0
// The configuration file: what a good file sets, and every error reported
// with its line (and column) before anything starts.
#include "config_file.h"

#include <gtest/gtest.h>

#include <string>

namespace orvagate {
namespace {

const std::string minimal = R"([gateway]
name = "line1"
[[plc]]
name = "press1"
address = "127.0.6.1"
  [[plc.group]]
  variables = { speed = "DB10.DD30:KG" }
)";

Config parsed(const std::string& text) {
    ConfigResult r = readConfigText(text, "gate.toml");
    if (auto* errors = std::get_if<std::vector<ConfigError>>(&r)) {
        std::string all;
        for (const auto& e : *errors) all += describe(e) + "\n";
        ADD_FAILURE() << "unexpected errors:\n" << all;
        return {};
    }
    return std::get<Config>(r);
}

std::vector<ConfigError> errorsOf(const std::string& text) {
    ConfigResult r = readConfigText(text, "gate.toml");
    if (auto* errors = std::get_if<std::vector<ConfigError>>(&r)) return *errors;
    ADD_FAILURE() << "the file was taken:\n" << text;
    return {};
}

TEST(ConfigFile, MinimalFileTakesTheDefaults) {
    const Config c = parsed(minimal);
    EXPECT_EQ(c.gatewayName, "line1");
    EXPECT_EQ(c.topicPrefix, "orvanet");
    EXPECT_FALSE(c.logLevel.has_value());
    EXPECT_EQ(c.broker.host, "localhost");
    EXPECT_EQ(c.broker.port, 1883);
    EXPECT_EQ(c.broker.clientId, "orvagate-line1");
    EXPECT_EQ(c.broker.keepAliveSeconds, 30);
    EXPECT_EQ(c.broker.protocol, MqttProtocol::v5);
    EXPECT_EQ(c.broker.qos, 1);
    EXPECT_FALSE(c.broker.username || c.broker.password || c.broker.tls);
    ASSERT_EQ(c.plcs.size(), 1u);
    const PlcConfig& plc = c.plcs[0];
    EXPECT_EQ(plc.receiveTimeout.count(), 0);  // the library's own defaults
    EXPECT_EQ(plc.connectTimeout.count(), 0);
    EXPECT_EQ(plc.retry.count(), 1000);
    ASSERT_EQ(plc.groups.size(), 1u);
    const GroupConfig& g = plc.groups[0];
    EXPECT_EQ(g.name, "group 1");
    EXPECT_EQ(g.interval.count(), 1000);
    EXPECT_EQ(g.publish, PublishMode::onChange);
    EXPECT_EQ(g.deadband, 0);
    EXPECT_FALSE(g.writable);
    ASSERT_EQ(g.variables.size(), 1u);
    EXPECT_EQ(g.variables[0].name, "speed");
    EXPECT_EQ(g.variables[0].notation, "DB10.DD30:KG");
    EXPECT_EQ(g.variables[0].line, 7);
}

TEST(ConfigFile, EveryKeyIsRead) {
    const Config c = parsed(R"(
[gateway]
name = "hall-2"
topic_prefix = "plant/site1"
log_level = "debug"
[broker]
host = "127.0.0.1"
port = 18883
client_id = "gw7"
keepalive_s = 10
protocol = "3.1.1"
qos = 0
username = "gate"
password = "secret"
reconnect_min_ms = 50
reconnect_max_ms = 2000
[[plc]]
name = "press1"
address = "127.0.6.1"
own_tsap = "TCP-1"
plc_tsap = "TCP-2"
receive_timeout_ms = 300
send_timeout_ms = 200
connect_timeout_ms = 700
retry_ms = 250
  [[plc.group]]
  name = "fast"
  interval_ms = 100
  publish = "change"
  deadband = 0.5
  writable = true
  variables = { speed = "DB10.DD30:KG", count = "MW20:KF" }
  [[plc.group]]
  interval_ms = 20
  publish = "always"
  [plc.group.variables]
  level = "DB10.DW4"
[[plc]]
name = "press2"
address = "127.0.6.2"
  [[plc.group]]
  variables = { in0 = "E0.0" }
)");
    EXPECT_EQ(c.gatewayName, "hall-2");
    EXPECT_EQ(c.topicPrefix, "plant/site1");
    EXPECT_EQ(c.logLevel, LogLevel::debug);
    EXPECT_EQ(c.broker.host, "127.0.0.1");
    EXPECT_EQ(c.broker.port, 18883);
    EXPECT_EQ(c.broker.clientId, "gw7");
    EXPECT_EQ(c.broker.keepAliveSeconds, 10);
    EXPECT_EQ(c.broker.protocol, MqttProtocol::v311);
    EXPECT_EQ(c.broker.qos, 0);
    EXPECT_EQ(c.broker.username, "gate");
    EXPECT_EQ(c.broker.password, "secret");
    EXPECT_EQ(c.broker.reconnectMin.count(), 50);
    EXPECT_EQ(c.broker.reconnectMax.count(), 2000);
    ASSERT_EQ(c.plcs.size(), 2u);
    const PlcConfig& p = c.plcs[0];
    EXPECT_EQ(p.ownTsap, "TCP-1");
    EXPECT_EQ(p.plcTsap, "TCP-2");
    EXPECT_EQ(p.receiveTimeout.count(), 300);
    EXPECT_EQ(p.sendTimeout.count(), 200);
    EXPECT_EQ(p.connectTimeout.count(), 700);
    EXPECT_EQ(p.retry.count(), 250);
    ASSERT_EQ(p.groups.size(), 2u);
    EXPECT_EQ(p.groups[0].name, "fast");
    EXPECT_EQ(p.groups[0].interval.count(), 100);
    EXPECT_EQ(p.groups[0].deadband, 0.5);
    EXPECT_TRUE(p.groups[0].writable);
    EXPECT_EQ(p.groups[0].variables.size(), 2u);
    EXPECT_EQ(p.groups[1].publish, PublishMode::always);
    EXPECT_EQ(p.groups[1].interval.count(), 20);
    ASSERT_EQ(p.groups[1].variables.size(), 1u);
    EXPECT_EQ(p.groups[1].variables[0].line, 37);
    EXPECT_EQ(c.plcs[1].groups[0].variables[0].notation, "E0.0");
}

TEST(ConfigFile, TlsGivesItsPortAndChecksItsFiles) {
    const Config c = parsed(minimal + "[broker.tls]\nca_file = \"/dev/null\"\n");
    ASSERT_TRUE(c.broker.tls);
    EXPECT_EQ(c.broker.tls->caFile, "/dev/null");
    EXPECT_EQ(c.broker.port, 8883);

    const auto errors =
        errorsOf(minimal + "[broker.tls]\nca_file = \"/nonexistent/ca.pem\"\ncert_file = \"/dev/null\"\n");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].line, 8);
    EXPECT_NE(errors[0].message.find("cert_file and key_file go together"), std::string::npos) << errors[0].message;
    EXPECT_EQ(errors[1].line, 9);
    EXPECT_NE(errors[1].message.find("/nonexistent/ca.pem: No such file"), std::string::npos) << errors[1].message;
}

struct BadFile {
    const char* name;
    std::string text;
    int line;
    int column;           // 0: any
    const char* message;  // a part of it
};

void PrintTo(const BadFile& bad, std::ostream* out) { *out << bad.name; }

class ConfigErrors : public testing::TestWithParam<BadFile> {};

TEST_P(ConfigErrors, ReportTheLineAndWhatIsWrong) {
    const BadFile& bad = GetParam();
    const auto errors = errorsOf(bad.text);
    ASSERT_EQ(errors.size(), 1u) << describe(errors.at(0)) << (errors.size() > 1 ? "\n" + describe(errors[1]) : "");
    EXPECT_EQ(errors[0].file, "gate.toml");
    EXPECT_EQ(errors[0].line, bad.line) << errors[0].message;
    if (bad.column != 0) {
        EXPECT_EQ(errors[0].column, bad.column) << errors[0].message;
    }
    EXPECT_NE(errors[0].message.find(bad.message), std::string::npos) << errors[0].message;
}

const std::string plcHead = "[gateway]\nname = \"g\"\n[[plc]]\nname = \"p\"\naddress = \"127.0.6.1\"\n";  // lines 1-5

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigErrors,
    testing::Values(
        BadFile{"NotToml", "[gateway\nname = 1\n", 1, 0, ""},
        BadFile{"UnknownTopLevelKey", "verbose = true\n" + minimal, 1, 1, "unknown key \"verbose\""},
        BadFile{"UnknownPlcKey", plcHead + "adress = \"x\"\n  [[plc.group]]\n  variables = { a = \"MW0\" }\n", 6, 1,
                "unknown key \"adress\"; the keys here are name, address"},
        BadFile{"GatewayName", "[gateway]\nname = \"line 1\"\n" + minimal.substr(minimal.find("[[plc]]")), 2, 8,
                "may hold only letters, digits"},
        BadFile{"Port", minimal + "[broker]\nport = 0\n", 9, 8, "port must be 1..65535, not 0"},
        BadFile{"Qos", minimal + "[broker]\nqos = 3\n", 9, 7, "qos must be 0..2, not 3"},
        BadFile{"Keepalive", minimal + "[broker]\nkeepalive_s = 2\n", 9, 15, "keepalive_s must be 5..65535"},
        BadFile{"Protocol", minimal + "[broker]\nprotocol = \"4\"\n", 9, 12,
                "protocol \"4\" is not \"5\" or \"3.1.1\""},
        BadFile{"PasswordAlone", minimal + "[broker]\npassword = \"x\"\n", 9, 12, "a password needs a username"},
        BadFile{"Backoff", minimal + "[broker]\nreconnect_min_ms = 5000\nreconnect_max_ms = 100\n", 10, 0,
                "reconnect_max_ms must not be below reconnect_min_ms"},
        BadFile{"WrongType", minimal + "[broker]\nport = \"1883\"\n", 9, 8, "port must be an integer, not a string"},
        BadFile{"NoPlc", "[gateway]\nname = \"g\"\n", 0, 0, "no PLC: add a [[plc]] table"},
        BadFile{"PlcHostName",
                "[gateway]\nname = \"g\"\n[[plc]]\nname = \"p\"\naddress = \"plc7.local\"\n  [[plc.group]]\n  "
                "variables = { a = \"MW0\" }\n",
                5, 11, "is not a dotted IPv4 address"},
        BadFile{"Tsap", plcHead + "own_tsap = \"TOOLONG99\"\n  [[plc.group]]\n  variables = { a = \"MW0\" }\n", 6, 12,
                "longer than 8 characters"},
        BadFile{"NoGroup", plcHead, 3, 1, "has no [[plc.group]]"},
        BadFile{"NoVariables", plcHead + "  [[plc.group]]\n  interval_ms = 100\n", 6, 3, "has no variables"},
        BadFile{"Interval", plcHead + "  [[plc.group]]\n  interval_ms = 5\n  variables = { a = \"MW0\" }\n", 7, 17,
                "interval_ms must be 10..86400000, not 5"},
        BadFile{"Publish", plcHead + "  [[plc.group]]\n  publish = \"sometimes\"\n  variables = { a = \"MW0\" }\n", 7,
                13, "publish \"sometimes\" is not \"change\" or \"always\""},
        BadFile{"DeadbandAlways",
                plcHead + "  [[plc.group]]\n  publish = \"always\"\n  deadband = 1\n  variables = { a = \"MW0\" }\n", 8,
                14, "a deadband needs publish = \"change\""},
        BadFile{"NegativeDeadband", plcHead + "  [[plc.group]]\n  deadband = -1\n  variables = { a = \"MW0\" }\n", 7,
                14, "deadband must be a number of 0 or more"},
        BadFile{"Notation", plcHead + "  [[plc.group]]\n  variables = { a = \"MW0:KQ\" }\n", 7, 26,
                "variable a = \"MW0:KQ\": unknown format \"KQ\" at 5"},
        BadFile{"NotationNotString", plcHead + "  [[plc.group]]\n  variables = { a = 17 }\n", 7, 21,
                "must be a string in the PLC's notation"},
        BadFile{"VariableName", plcHead + "  [[plc.group]]\n  variables = { \"a/b\" = \"MW0\" }\n", 7, 17,
                "variable name \"a/b\" may hold only"},
        BadFile{"ReservedName", plcHead + "  [[plc.group]]\n  variables = { status = \"MW0\" }\n", 7, 17,
                "cannot be called \"status\""},
        BadFile{"TwiceOnOnePlc",
                plcHead +
                    "  [[plc.group]]\n  variables = { a = \"MW0\" }\n  [[plc.group]]\n  variables = { a = \"MW2\" }\n",
                9, 17, "variable a is given twice on PLC p"},
        BadFile{"WritableInputs", plcHead + "  [[plc.group]]\n  writable = true\n  variables = { a = \"EW0\" }\n", 8,
                21, "cannot be written (inputs are read only)"},
        BadFile{
            "SamePlcName",
            minimal +
                "[[plc]]\nname = \"press1\"\naddress = \"127.0.6.2\"\n  [[plc.group]]\n  variables = { a = \"MW0\" }\n",
            9, 8, "the name press1 is given to another PLC already"}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(ConfigFile, PrefixMustBeTopicLevels) {
    for (const char* prefix : {"", "a//b", "/a", "a/", "$SYS", "a/+", "a/#"}) {
        const auto errors = errorsOf("[gateway]\nname = \"g\"\ntopic_prefix = \"" + std::string(prefix) + "\"\n" +
                                     minimal.substr(minimal.find("[[plc]]")));
        ASSERT_EQ(errors.size(), 1u) << prefix;
        EXPECT_EQ(errors[0].line, 3);
        EXPECT_NE(errors[0].message.find("topic_prefix"), std::string::npos);
    }
}

TEST(ConfigFile, AllErrorsAtOnceInTheOrderOfTheFile) {
    const auto errors = errorsOf(plcHead +
                                 "own_tsap = \"TOOLONG99\"\n  [[plc.group]]\n  interval_ms = 1\n  variables = { a = "
                                 "\"MW0:KQ\", b = \"MW2\", b2 = 3 }\n[broker]\nqos = 9\n");
    ASSERT_EQ(errors.size(), 5u);
    std::vector<int> lines;
    for (const auto& e : errors) lines.push_back(e.line);
    EXPECT_EQ(lines, (std::vector<int>{6, 8, 9, 9, 11}));
    EXPECT_LT(errors[2].column, errors[3].column);
}

TEST(ConfigFile, AtMost64Plcs) {
    std::string text = "[gateway]\nname = \"g\"\n";
    for (int i = 0; i < 65; ++i)
        text += "[[plc]]\nname = \"p" + std::to_string(i) +
                "\"\naddress = \"127.0.6.1\"\n  [[plc.group]]\n  variables = { a = \"MW0\" }\n";
    const auto errors = errorsOf(text);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, 3 + 64 * 5);
    EXPECT_NE(errors[0].message.find("more than 64 PLCs"), std::string::npos);
}

TEST(ConfigFile, MissingFileSaysWhy) {
    ConfigResult r = readConfigFile("/nonexistent/orvagate.toml");
    const auto* errors = std::get_if<std::vector<ConfigError>>(&r);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(describe(errors->at(0)), "/nonexistent/orvagate.toml: cannot read it: No such file or directory");
}

TEST(ConfigFile, SummaryTellsThePlannedCalls) {
    const std::string summary =
        configSummary(parsed(plcHead + "  [[plc.group]]\n  name = \"fast\"\n  interval_ms = 100\n  variables = { a = "
                                       "\"MW0\", b = \"MW2\", c = \"DB5.DW0\" }\n"));
    EXPECT_NE(summary.find("gate.toml: ok\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("fast: 3 variables every 100 ms, published on change; read in 2 calls"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("1 PLC, 3 variables, about 20 library calls per second"), std::string::npos) << summary;
}

}  // namespace
}  // namespace orvagate
