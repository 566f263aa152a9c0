// SPDX-License-Identifier: Apache-2.0
#include "topics.h"

namespace orvagate {

bool isTopicName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

bool isTopicPrefix(std::string_view prefix) {
    if (prefix.empty() || prefix.front() == '$') return false;
    std::size_t at = 0;
    for (;;) {
        const std::size_t slash = prefix.find('/', at);
        if (!isTopicName(prefix.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at)))
            return false;
        if (slash == std::string_view::npos) return true;
        at = slash + 1;
    }
}

Topics::Topics(std::string_view prefix, std::string_view gateway)
    : base(std::string(prefix) + "/" + std::string(gateway)) {}

std::optional<SetTarget> Topics::parseSet(std::string_view topic) const {
    constexpr std::string_view suffix = "/set";
    if (topic.size() <= base.size() + suffix.size() + 1 || topic.substr(0, base.size()) != base ||
        topic[base.size()] != '/' || topic.substr(topic.size() - suffix.size()) != suffix)
        return std::nullopt;
    const std::string_view middle =
        topic.substr(base.size() + 1, topic.size() - base.size() - 1 - suffix.size());  // PLC/VARIABLE
    const std::size_t slash = middle.find('/');
    if (slash == std::string_view::npos || middle.find('/', slash + 1) != std::string_view::npos) return std::nullopt;
    SetTarget target{std::string(middle.substr(0, slash)), std::string(middle.substr(slash + 1))};
    if (target.plc.empty() || target.variable.empty()) return std::nullopt;
    return target;
}

}  // namespace orvagate
