// SPDX-License-Identifier: Apache-2.0
#include "payload.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <limits>

namespace orvagate {
namespace {

using nlohmann::json;

json jsonValue(const Value& v) {
    switch (v.kind) {
    case Value::Kind::boolean: return v.integer != 0;
    case Value::Kind::integer:
    case Value::Kind::time: return v.integer;
    case Value::Kind::real: return v.real;
    case Value::Kind::text: return v.text;
    case Value::Kind::none: break;
    }
    return nullptr;
}

// Text from the PLC is Latin-1 turned UTF-8; a display text could still hold
// bytes that are no UTF-8: replace them rather than fail.
std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

void addFailure(json& j, int code, int socketError, const std::string& words) {
    j["code"] = code;
    j["name"] = resultName(code);
    if (socketError != 0) j["socketError"] = socketError;
    j["error"] = words;
}

}  // namespace

std::string isoTime(SystemTime time) {
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(time.time_since_epoch()).count();
    auto seconds = static_cast<std::time_t>(micros / 1000000);
    long fraction = static_cast<long>(micros % 1000000);
    if (fraction < 0) {
        fraction += 1000000;
        --seconds;
    }
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
    return text;
}

std::string valuePayload(const Reading& reading, std::string_view time) {
    json j;
    if (reading.status == 0) {
        j["value"] = jsonValue(reading.value);
        j["text"] = reading.display;
        j["quality"] = "good";
    } else {
        j["quality"] = "bad";
        addFailure(j, reading.status, reading.socketError, describeStatus(reading.status, reading.socketError));
    }
    j["time"] = time;
    return dump(j);
}

std::string plcStatusPayload(const PlcState& state) {
    json j;
    j["state"] = state.connected ? "connected" : "failed";
    j["address"] = state.address;
    if (!state.connected) addFailure(j, state.code, state.socketError, describeStatus(state.code, state.socketError));
    j["since"] = state.since;
    return dump(j);
}

std::string onlinePayload(std::string_view version, std::string_view time) {
    return dump(json{{"state", "online"}, {"version", version}, {"time", time}});
}

std::string offlinePayload(std::string_view reason, std::optional<std::string_view> time) {
    json j{{"state", "offline"}, {"reason", reason}};
    if (time) j["time"] = *time;
    return dump(j);
}

std::variant<WriteRequest, std::string> parseWriteRequest(std::string_view payload) {
    if (payload.empty()) return std::string("an empty payload: send a JSON value, or {\"value\": ...}");
    json j;
    try {
        j = json::parse(payload);
    } catch (const json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 3: ..." without its tag.
        std::string what = e.what();
        const auto at = what.find("] ");
        return "not JSON: " + (at == std::string::npos ? what : what.substr(at + 2));
    }
    WriteRequest request;
    json value = j;
    if (j.is_object()) {
        for (const auto& [key, member] : j.items())
            if (key != "value" && key != "id")
                return "unknown member \"" + key + "\": a request has \"value\" and \"id\"";
        if (!j.contains("value")) return std::string("no \"value\" in the request");
        value = j["value"];
        if (j.contains("id")) {
            if (j["id"].is_structured()) return std::string("\"id\" must be a string, number or boolean");
            request.idJson = dump(j["id"]);
        }
    }
    switch (value.type()) {
    case json::value_t::boolean: request.value = value.get<bool>(); break;
    case json::value_t::number_integer: request.value = value.get<long long>(); break;
    case json::value_t::number_unsigned: {
        const auto u = value.get<unsigned long long>();
        if (u > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
            return "the number " + value.dump() + " is out of range";
        request.value = static_cast<long long>(u);
        break;
    }
    case json::value_t::number_float: request.value = value.get<double>(); break;
    case json::value_t::string: request.value = value.get<std::string>(); break;
    case json::value_t::null: return std::string("the value is null");
    default: return std::string("the value must be a number, a string or a boolean, not ") + value.type_name();
    }
    request.valueJson = dump(value);
    return request;
}

std::string_view outcomeName(WriteOutcome outcome) {
    switch (outcome) {
    case WriteOutcome::done: return "done";
    case WriteOutcome::failed: return "failed";
    case WriteOutcome::refused: return "refused";
    case WriteOutcome::replaced: return "replaced";
    }
    return "failed";
}

std::string resultPayload(const WriteResult& result, std::string_view time) {
    json j;
    j["result"] = outcomeName(result.outcome);
    if (!result.valueJson.empty()) j["value"] = json::parse(result.valueJson);
    if (!result.idJson.empty()) j["id"] = json::parse(result.idJson);
    if (result.outcome == WriteOutcome::failed) addFailure(j, result.code, result.socketError, result.reason);
    if (result.outcome == WriteOutcome::refused || result.outcome == WriteOutcome::replaced)
        j["reason"] = result.reason;
    j["time"] = time;
    return dump(j);
}

}  // namespace orvagate
