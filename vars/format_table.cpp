// SPDX-License-Identifier: Apache-2.0
#include "format_table.h"

namespace orva::vars {

std::string formatChoices() {
    std::string out;
    for (const FormatRow& row : formatTable) {
        if (row.name.empty()) continue;
        if (!out.empty()) out += ' ';
        out += row.name;
    }
    return out;
}

// The table lies in the order of the formats' values, 1, 2, ...: a row is found by its value.
constexpr bool inOrderOfValues() {
    for (std::size_t i = 0; i < formatTable.size(); ++i)
        if (static_cast<std::size_t>(formatTable[i].format) != i + 1) return false;
    return true;
}
static_assert(inOrderOfValues());

const FormatRow& formatRow(Format format) {
    const auto i = static_cast<std::size_t>(format) - 1;
    return i < formatTable.size() ? formatTable[i] : formatTable[1];
}

std::optional<Format> formatNamed(std::string_view upperName) {
    if (upperName.empty()) return std::nullopt;
    for (const FormatRow& row : formatTable)
        if (row.name == upperName) return row.format;
    return std::nullopt;
}

std::string unitWords(unsigned units) {
    static constexpr std::string_view names[] = {"bits", "bytes", "words", "double words", "T/Z cells"};
    std::string out;
    int count = 0;
    for (unsigned i = 0; i < 5; ++i) count += (units >> i) & 1u;
    int seen = 0;
    for (unsigned i = 0; i < 5; ++i) {
        if (((units >> i) & 1u) == 0) continue;
        ++seen;
        if (seen > 1) out += seen == count ? " and " : ", ";
        out += names[i];
    }
    return out;
}

}  // namespace orva::vars
