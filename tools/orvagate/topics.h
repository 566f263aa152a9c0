/* SPDX-License-Identifier: Apache-2.0 */
// The gateway's topics, all under PREFIX/GATEWAY (docs/gate.md has the table):
//   PREFIX/GATEWAY/status                  online or offline (retained, last will)
//   PREFIX/GATEWAY/PLC/status              connected, or the last failure (retained)
//   PREFIX/GATEWAY/PLC/VARIABLE            the value (retained)
//   PREFIX/GATEWAY/PLC/VARIABLE/set        a write request (writable variables)
//   PREFIX/GATEWAY/PLC/VARIABLE/set/result its outcome
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvagate {

// The characters of a name that becomes one topic level: letters, digits and
// _ - . (no wildcard, no separator, nothing that needs quoting anywhere).
bool isTopicName(std::string_view name);
inline constexpr std::string_view topicNameRule = "letters, digits, '_', '-' and '.'";
// The name a variable cannot have: its PLC's status topic.
inline constexpr std::string_view reservedVariableName = "status";
// A prefix: topic names separated by single '/', not beginning with '$'.
bool isTopicPrefix(std::string_view prefix);

struct SetTarget {
    std::string plc;
    std::string variable;
};

class Topics {
public:
    Topics(std::string_view prefix, std::string_view gateway);

    std::string gatewayStatus() const { return base + "/status"; }
    std::string plcStatus(std::string_view plc) const { return base + "/" + std::string(plc) + "/status"; }
    std::string value(std::string_view plc, std::string_view variable) const {
        return base + "/" + std::string(plc) + "/" + std::string(variable);
    }
    std::string set(std::string_view plc, std::string_view variable) const { return value(plc, variable) + "/set"; }
    std::string result(std::string_view plc, std::string_view variable) const { return set(plc, variable) + "/result"; }
    // The one subscription: every variable's set topic.
    std::string setFilter() const { return base + "/+/+/set"; }
    // The PLC and variable of a topic setFilter matched.
    std::optional<SetTarget> parseSet(std::string_view topic) const;

private:
    std::string base;
};

}  // namespace orvagate
