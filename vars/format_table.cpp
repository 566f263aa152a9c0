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

const FormatRow& formatRow(Format format) {
    for (const FormatRow& row : formatTable)
        if (row.format == format) return row;
    return formatTable[1];
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
