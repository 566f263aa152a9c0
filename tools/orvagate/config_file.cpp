// SPDX-License-Identifier: Apache-2.0
// The one translation unit with toml++ (it is slow to compile).
#include "config_file.h"

#include "topics.h"
#include "variable_list.h"

#include <toml++/toml.h>

#include <arpa/inet.h>
#include <algorithm>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace orvagate {
namespace {

std::string_view typeName(toml::node_type type) {
    switch (type) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number with a fraction";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date:
    case toml::node_type::time:
    case toml::node_type::date_time: return "a date or time";
    default: return "nothing";
    }
}

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) of "\"" + string.
std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    out += s;
    out += '"';
    return out;
}

// The host name as a topic level: what the rule does not allow becomes '-'.
std::string hostTopicName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    std::string out = name;
    for (char& c : out)
        if (!isTopicName(std::string_view(&c, 1))) c = '-';
    return out;
}

bool fileReadable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

class Reader {
public:
    explicit Reader(std::string file) : file(std::move(file)) {}

    std::vector<ConfigError> errors;

    void error(const toml::source_region& where, std::string message) {
        errors.push_back(
            {file, static_cast<int>(where.begin.line), static_cast<int>(where.begin.column), std::move(message)});
    }
    void error(const toml::node& where, std::string message) { error(where.source(), std::move(message)); }

    // context: "plc press1, group fast: " and the like, for the messages.
    void onlyKeys(const toml::table& table, std::initializer_list<std::string_view> keys, const std::string& context) {
        for (auto&& [key, node] : table) {
            bool known = false;
            for (std::string_view k : keys) known = known || key.str() == k;
            if (known) continue;
            std::string list;
            for (std::string_view k : keys) list += (list.empty() ? "" : ", ") + std::string(k);
            error(key.source(), context + "unknown key " + quoted(key.str()) + "; the keys here are " + list);
        }
    }

    const toml::table* table(const toml::table& parent, std::string_view key, const std::string& context) {
        const toml::node* node = parent.get(key);
        if (node == nullptr) return nullptr;
        if (const toml::table* t = node->as_table()) return t;
        error(*node, context + std::string(key) + " must be a table, not " + std::string(typeName(node->type())));
        return nullptr;
    }

    std::optional<std::string> string(const toml::table& t, std::string_view key, const std::string& context) {
        const toml::node* node = t.get(key);
        if (node == nullptr) return std::nullopt;
        if (const auto* s = node->as_string()) return s->get();
        error(*node, context + std::string(key) + " must be a string, not " + std::string(typeName(node->type())));
        return std::nullopt;
    }

    std::optional<long long> integer(const toml::table& t, std::string_view key, long long low, long long high,
                                     const std::string& context) {
        const toml::node* node = t.get(key);
        if (node == nullptr) return std::nullopt;
        const auto* i = node->as_integer();
        if (i == nullptr) {
            error(*node,
                  context + std::string(key) + " must be an integer, not " + std::string(typeName(node->type())));
            return std::nullopt;
        }
        const long long v = i->get();
        if (v < low || v > high) {
            error(*node, context + std::string(key) + " must be " + std::to_string(low) + ".." + std::to_string(high) +
                             ", not " + std::to_string(v));
            return std::nullopt;
        }
        return v;
    }

    std::optional<double> number(const toml::table& t, std::string_view key, const std::string& context) {
        const toml::node* node = t.get(key);
        if (node == nullptr) return std::nullopt;
        if (const auto* i = node->as_integer()) return static_cast<double>(i->get());
        if (const auto* f = node->as_floating_point()) return f->get();
        error(*node, context + std::string(key) + " must be a number, not " + std::string(typeName(node->type())));
        return std::nullopt;
    }

    std::optional<bool> boolean(const toml::table& t, std::string_view key, const std::string& context) {
        const toml::node* node = t.get(key);
        if (node == nullptr) return std::nullopt;
        if (const auto* b = node->as_boolean()) return b->get();
        error(*node, context + std::string(key) + " must be true or false, not " + std::string(typeName(node->type())));
        return std::nullopt;
    }

    // An array of tables ([[plc]]), or none.
    std::vector<const toml::table*> tables(const toml::table& parent, std::string_view key,
                                           const std::string& context) {
        std::vector<const toml::table*> out;
        const toml::node* node = parent.get(key);
        if (node == nullptr) return out;
        const toml::array* array = node->as_array();
        if (array == nullptr) {
            error(*node, context + std::string(key) + " must be tables, [[" + std::string(key) + "]]");
            return out;
        }
        for (const toml::node& element : *array) {
            if (const toml::table* t = element.as_table())
                out.push_back(t);
            else
                error(element, context + std::string(key) + " must be tables, [[" + std::string(key) + "]]");
        }
        return out;
    }

    std::optional<Milliseconds> duration(const toml::table& t, std::string_view key, Milliseconds low,
                                         Milliseconds high, const std::string& context) {
        const auto v = integer(t, key, low.count(), high.count(), context);
        if (!v) return std::nullopt;
        return Milliseconds(*v);
    }

    void readGateway(const toml::table& root, Config& c);
    void readBroker(const toml::table& root, Config& c);
    void readPlcs(const toml::table& root, Config& c);
    void readGroup(const toml::table& t, const PlcConfig& plc, std::size_t index, GroupConfig& g,
                   std::set<std::string>& names);

private:
    std::string file;
};

constexpr Milliseconds maxTimeout{600000};
constexpr Milliseconds maxWait{3600000};

void Reader::readGateway(const toml::table& root, Config& c) {
    const toml::table* t = table(root, "gateway", "");
    std::optional<std::string> name;
    if (t != nullptr) {
        const std::string context = "[gateway] ";
        onlyKeys(*t, {"name", "topic_prefix", "log_level"}, context);
        name = string(*t, "name", context);
        if (name && !isTopicName(*name))
            error(*t->get("name"), context + "name " + quoted(*name) + " may hold only " + std::string(topicNameRule));
        if (const auto prefix = string(*t, "topic_prefix", context)) {
            if (isTopicPrefix(*prefix))
                c.topicPrefix = *prefix;
            else
                error(*t->get("topic_prefix"), context + "topic_prefix " + quoted(*prefix) +
                                                   " must be topic levels of " + std::string(topicNameRule) +
                                                   ", separated by '/', not beginning with '$'");
        }
        if (const auto level = string(*t, "log_level", context)) {
            c.logLevel = logLevelNamed(*level);
            if (!c.logLevel)
                error(*t->get("log_level"),
                      context + "log_level " + quoted(*level) + " is not " + std::string(logLevelNames));
        }
    }
    if (!name) {
        name = hostTopicName();
        if (name->empty()) errors.push_back({file, 0, 0, "[gateway] has no name, and the host name cannot stand in"});
    }
    c.gatewayName = *name;
}

void Reader::readBroker(const toml::table& root, Config& c) {
    BrokerConfig& b = c.broker;
    const toml::table* t = table(root, "broker", "");
    std::optional<int> port;
    if (t != nullptr) {
        const std::string context = "[broker] ";
        onlyKeys(*t,
                 {"host", "port", "client_id", "keepalive_s", "protocol", "qos", "username", "password",
                  "reconnect_min_ms", "reconnect_max_ms", "tls"},
                 context);
        if (auto host = string(*t, "host", context)) {
            if (host->empty())
                error(*t->get("host"), context + "host must not be empty");
            else
                b.host = *host;
        }
        if (auto p = integer(*t, "port", 1, 65535, context)) port = static_cast<int>(*p);
        if (auto id = string(*t, "client_id", context)) {
            if (id->empty())
                error(*t->get("client_id"), context + "client_id must not be empty (leave it out for the default)");
            else
                b.clientId = *id;
        }
        // libmosquitto refuses a keep-alive below 5 s.
        if (auto k = integer(*t, "keepalive_s", 5, 65535, context)) b.keepAliveSeconds = static_cast<int>(*k);
        if (auto p = string(*t, "protocol", context)) {
            if (*p == "5")
                b.protocol = MqttProtocol::v5;
            else if (*p == "3.1.1")
                b.protocol = MqttProtocol::v311;
            else
                error(*t->get("protocol"), context + "protocol " + quoted(*p) + " is not \"5\" or \"3.1.1\"");
        }
        if (auto q = integer(*t, "qos", 0, 2, context)) b.qos = static_cast<int>(*q);
        b.username = string(*t, "username", context);
        b.password = string(*t, "password", context);
        if (b.password && !b.username) error(*t->get("password"), context + "a password needs a username");
        if (auto m = duration(*t, "reconnect_min_ms", Milliseconds(10), maxWait, context)) b.reconnectMin = *m;
        if (auto m = duration(*t, "reconnect_max_ms", Milliseconds(10), maxWait, context)) b.reconnectMax = *m;
        if (b.reconnectMax < b.reconnectMin)
            error(t->contains("reconnect_max_ms") ? *t->get("reconnect_max_ms") : *t->get("reconnect_min_ms"),
                  context + "reconnect_max_ms must not be below reconnect_min_ms");
        if (const toml::table* tls = table(*t, "tls", context)) {
            const std::string tlsContext = "[broker.tls] ";
            onlyKeys(*tls, {"ca_file", "ca_path", "cert_file", "key_file"}, tlsContext);
            TlsConfig config;
            auto file = [&](std::string_view key, std::string& into) {
                if (auto path = string(*tls, key, tlsContext)) {
                    if (fileReadable(*path))
                        into = *path;
                    else
                        error(*tls->get(key),
                              tlsContext + std::string(key) + " " + *path + ": " + std::strerror(errno));
                }
            };
            file("ca_file", config.caFile);
            file("ca_path", config.caPath);
            file("cert_file", config.certFile);
            file("key_file", config.keyFile);
            if (!tls->contains("ca_file") && !tls->contains("ca_path"))
                error(*tls, tlsContext + "needs ca_file or ca_path: the certificates the broker's is checked against");
            if (tls->contains("cert_file") != tls->contains("key_file"))
                error(*tls, tlsContext + "cert_file and key_file go together");
            b.tls = config;
        }
    }
    b.port = port ? *port : (b.tls ? 8883 : 1883);
    if (b.clientId.empty()) b.clientId = "orvagate-" + c.gatewayName;
}

void Reader::readGroup(const toml::table& t, const PlcConfig& plc, std::size_t index, GroupConfig& g,
                       std::set<std::string>& names) {
    g.line = static_cast<int>(t.source().begin.line);
    std::string context = "plc " + plc.name + ", group " + std::to_string(index + 1) + ": ";
    onlyKeys(t, {"name", "interval_ms", "publish", "deadband", "writable", "variables"}, context);
    if (auto name = string(t, "name", context)) {
        g.name = *name;
        context = "plc " + plc.name + ", group " + g.name + ": ";
    } else {
        g.name = "group " + std::to_string(index + 1);
    }
    if (auto i = duration(t, "interval_ms", minInterval, maxInterval, context)) g.interval = *i;
    if (auto p = string(t, "publish", context)) {
        if (*p == "change")
            g.publish = PublishMode::onChange;
        else if (*p == "always")
            g.publish = PublishMode::always;
        else
            error(*t.get("publish"), context + "publish " + quoted(*p) + " is not \"change\" or \"always\"");
    }
    if (auto d = number(t, "deadband", context)) {
        if (!std::isfinite(*d) || *d < 0)
            error(*t.get("deadband"), context + "deadband must be a number of 0 or more");
        else
            g.deadband = *d;
        if (g.publish == PublishMode::always)
            error(*t.get("deadband"), context + "a deadband needs publish = \"change\"");
    }
    if (auto w = boolean(t, "writable", context)) g.writable = *w;

    const toml::table* variables = table(t, "variables", context);
    if (variables == nullptr) {
        if (!t.contains("variables"))
            error(t, context + "has no variables: add a table variables = { name = \"DB10.DW4\" }");
        return;
    }
    if (variables->empty()) error(*variables, context + "variables is empty");
    for (auto&& [key, node] : *variables) {
        const std::string name(key.str());
        if (!isTopicName(name)) {
            error(key.source(),
                  context + "variable name " + quoted(name) + " may hold only " + std::string(topicNameRule));
            continue;
        }
        if (name == reservedVariableName) {
            error(key.source(),
                  context + "a variable cannot be called " + quoted(name) + ": that is the PLC's status topic");
            continue;
        }
        if (!names.insert(name).second) {
            error(key.source(), context + "variable " + name + " is given twice on PLC " + plc.name);
            continue;
        }
        const auto* text = node.as_string();
        if (text == nullptr) {
            error(node, context + "variable " + name + " must be a string in the PLC's notation, as \"DB10.DW4\"");
            continue;
        }
        VariableList check;
        const auto added = check.add(text->get());
        if (const auto* wrong = std::get_if<NotationError>(&added)) {
            // The column of the character at fault, behind the opening quote.
            toml::source_region at = node.source();
            if (wrong->position > 0) at.begin.column += static_cast<toml::source_index>(wrong->position);
            error(at, context + "variable " + name + " = " + quoted(text->get()) + ": " + wrong->message);
            continue;
        }
        if (g.writable && !check.writableArea(0)) {
            error(node, context + "variable " + name + " (" + check.spelling(0) +
                            ") cannot be written (inputs are read only), but its group is writable");
            continue;
        }
        g.variables.push_back({name, text->get(), static_cast<int>(node.source().begin.line)});
    }
}

void Reader::readPlcs(const toml::table& root, Config& c) {
    const auto plcs = tables(root, "plc", "");
    if (plcs.empty() && !root.contains("plc")) {
        errors.push_back({file, 0, 0, "no PLC: add a [[plc]] table"});
        return;
    }
    if (plcs.size() > static_cast<std::size_t>(maxPlcs))
        error(*plcs[maxPlcs], "more than " + std::to_string(maxPlcs) +
                                  " PLCs: one gateway holds at most that many (the library's handles); "
                                  "share the others out to more gateways");
    std::set<std::string> plcNames;
    for (std::size_t n = 0; n < plcs.size(); ++n) {
        const toml::table& t = *plcs[n];
        PlcConfig plc;
        plc.line = static_cast<int>(t.source().begin.line);
        std::string context = "plc " + std::to_string(n + 1) + ": ";
        onlyKeys(t,
                 {"name", "address", "own_tsap", "plc_tsap", "receive_timeout_ms", "send_timeout_ms",
                  "connect_timeout_ms", "retry_ms", "group"},
                 context);
        if (auto name = string(t, "name", context)) {
            if (!isTopicName(*name))
                error(*t.get("name"),
                      context + "name " + quoted(*name) + " may hold only " + std::string(topicNameRule));
            else if (!plcNames.insert(*name).second)
                error(*t.get("name"), context + "the name " + *name + " is given to another PLC already");
            plc.name = *name;
            context = "plc " + plc.name + ": ";
        } else if (!t.contains("name")) {
            error(t, context + "has no name");
        }
        if (auto address = string(t, "address", context)) {
            in_addr parsed{};
            if (inet_pton(AF_INET, address->c_str(), &parsed) != 1)
                error(*t.get("address"), context + "address " + quoted(*address) +
                                             " is not a dotted IPv4 address (host names are not looked up)");
            plc.address = *address;
        } else if (!t.contains("address")) {
            error(t, context + "has no address");
        }
        for (auto [key, into] : {std::pair<std::string_view, std::string*>{"own_tsap", &plc.ownTsap},
                                 std::pair<std::string_view, std::string*>{"plc_tsap", &plc.plcTsap}}) {
            if (auto tsap = string(t, key, context)) {
                if (tsap->size() > static_cast<std::size_t>(maxTsapLength))
                    error(*t.get(key), context + std::string(key) + " " + quoted(*tsap) + " is longer than " +
                                           std::to_string(maxTsapLength) + " characters");
                *into = *tsap;
            }
        }
        if (auto m = duration(t, "receive_timeout_ms", Milliseconds(0), maxTimeout, context)) plc.receiveTimeout = *m;
        if (auto m = duration(t, "send_timeout_ms", Milliseconds(0), maxTimeout, context)) plc.sendTimeout = *m;
        if (auto m = duration(t, "connect_timeout_ms", Milliseconds(0), maxTimeout, context)) plc.connectTimeout = *m;
        if (auto m = duration(t, "retry_ms", Milliseconds(10), maxWait, context)) plc.retry = *m;

        const auto groups = tables(t, "group", context);
        if (groups.empty() && !t.contains("group")) error(t, context + "has no [[plc.group]] of variables");
        std::set<std::string> variableNames;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            GroupConfig group;
            readGroup(*groups[g], plc, g, group, variableNames);
            plc.groups.push_back(std::move(group));
        }
        c.plcs.push_back(std::move(plc));
    }
}

}  // namespace

std::string describe(const ConfigError& e) {
    std::string out = e.file;
    if (e.line > 0) {
        out += ':';
        out += std::to_string(e.line);
        if (e.column > 0) {
            out += ':';
            out += std::to_string(e.column);
        }
    }
    out += ": ";
    out += e.message;
    return out;
}

ConfigResult readConfigText(std::string_view text, const std::string& path) {
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        return std::vector<ConfigError>{{path, static_cast<int>(e.source().begin.line),
                                         static_cast<int>(e.source().begin.column), std::string(e.description())}};
    }
    Reader reader(path);
    Config config;
    config.file = path;
    reader.onlyKeys(root, {"gateway", "broker", "plc"}, "");
    reader.readGateway(root, config);
    reader.readBroker(root, config);
    reader.readPlcs(root, config);
    if (!reader.errors.empty()) {
        std::stable_sort(reader.errors.begin(), reader.errors.end(), [](const ConfigError& a, const ConfigError& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
        return reader.errors;
    }
    return config;
}

ConfigResult readConfigFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::vector<ConfigError>{{path, 0, 0, std::string("cannot read it: ") + std::strerror(errno)}};
    std::ostringstream text;
    text << in.rdbuf();
    return readConfigText(text.str(), path);
}

std::string configSummary(const Config& c) {
    std::ostringstream out;
    const Topics topics(c.topicPrefix, c.gatewayName);
    out << c.file << ": ok\n";
    out << "gateway " << c.gatewayName << ", topics under " << c.topicPrefix << "/" << c.gatewayName << "/, broker "
        << c.broker.host << ":" << c.broker.port << " (MQTT " << (c.broker.protocol == MqttProtocol::v5 ? "5" : "3.1.1")
        << ", QoS " << c.broker.qos << (c.broker.tls ? ", TLS" : "") << ", client id " << c.broker.clientId << ")\n";
    double callsPerSecond = 0;
    int variables = 0;
    for (const PlcConfig& plc : c.plcs) {
        out << "PLC " << plc.name << " at " << plc.address << ": " << plc.groups.size()
            << (plc.groups.size() == 1 ? " group\n" : " groups\n");
        for (const GroupConfig& g : plc.groups) {
            VariableList list;
            for (const VariableConfig& v : g.variables) list.add(v.notation);
            const ListPlan plan = list.plan();
            variables += plan.variables;
            callsPerSecond += plan.calls * 1000.0 / static_cast<double>(g.interval.count());
            out << "  " << g.name << ": " << plan.variables << " variable" << (plan.variables == 1 ? "" : "s")
                << " every " << g.interval.count() << " ms";
            if (g.publish == PublishMode::always)
                out << ", published on every poll";
            else if (g.deadband > 0)
                out << ", published on a change of more than " << g.deadband;
            else
                out << ", published on change";
            out << (g.writable ? ", writable" : "") << "; read in " << plan.calls << " call"
                << (plan.calls == 1 ? "" : "s") << " (" << plan.telegrams << " telegram"
                << (plan.telegrams == 1 ? "" : "s") << ", " << plan.bytes << " bytes)\n";
        }
    }
    out << c.plcs.size() << " PLC" << (c.plcs.size() == 1 ? "" : "s") << ", " << variables << " variables, about "
        << static_cast<long long>(std::lround(callsPerSecond)) << " library calls per second\n";
    return out.str();
}

}  // namespace orvagate
