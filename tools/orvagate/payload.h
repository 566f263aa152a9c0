/* SPDX-License-Identifier: Apache-2.0 */
// The JSON payloads of the gateway's topics (docs/gate.md has each one), and
// the reading of a write request. Only payload.cpp knows the JSON library.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "variable_list.h"

namespace orvagate {

using SystemTime = std::chrono::system_clock::time_point;

// UTC, ISO 8601, microseconds: "2026-12-09T15:22:52.123456Z".
std::string isoTime(SystemTime time);

// A variable's topic:
//   {"value":12.5,"text":"12.5","quality":"good","time":"..."}
//   {"quality":"bad","code":-7,"name":"ORVA_ERR_SOCKET","socketError":10061,"error":"socket error 10061
//   ...","time":"..."}
std::string valuePayload(const Reading& reading, std::string_view time);

// A PLC's status: connected, or failed with the failure and since when.
struct PlcState {
    bool connected = false;
    int code = 0;
    int socketError = 0;
    std::string address;
    std::string since;  // time of the first read in this state
    bool operator==(const PlcState&) const = default;
};
std::string plcStatusPayload(const PlcState& state);

// The gateway's status: {"state":"online","version":"1.0.0","time":"..."};
// offline with a reason ("stopped", or the last will's "connection lost").
std::string onlinePayload(std::string_view version, std::string_view time);
std::string offlinePayload(std::string_view reason, std::optional<std::string_view> time);

// A write request: a JSON value, or an object {"value": V, "id": ID} whose id
// (any JSON scalar) comes back in the result.
struct WriteRequest {
    WriteValue value;
    std::string valueJson;  // as given, for the result
    std::string idJson;     // empty: none
};
// The request, or why it is refused.
std::variant<WriteRequest, std::string> parseWriteRequest(std::string_view payload);

enum class WriteOutcome { done, failed, refused, replaced };
std::string_view outcomeName(WriteOutcome outcome);

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::done;
    std::string valueJson;  // the request's value, when it had one
    std::string idJson;
    int code = 0;         // failed: the library's result
    int socketError = 0;  // failed with -7
    std::string reason;   // refused, failed: in words
};
// {"result":"done","value":42,"id":"a1","time":"..."}
std::string resultPayload(const WriteResult& result, std::string_view time);

}  // namespace orvagate
