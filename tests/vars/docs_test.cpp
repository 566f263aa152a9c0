// SPDX-License-Identifier: Apache-2.0
// docs/variables.md's table of formats says what the code's table holds: each
// format with the units it applies to and the kind of value it gives.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "format_table.h"

namespace {

using namespace orva::vars;

std::string kindName(Kind kind) {
    switch (kind) {
    case Kind::boolean: return "boolean";
    case Kind::integer: return "integer";
    case Kind::real: return "real";
    case Kind::text: return "text";
    case Kind::time: return "time";
    case Kind::none: break;
    }
    return "none";
}

std::string trimmed(std::string s) {
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

TEST(Docs, TheFormatTableOfTheDocsIsTheCodes) {
    using Row = std::tuple<std::string, std::string, std::string>;  // format, units, kind
    std::set<Row> code;
    for (const FormatRow& row : formatTable)
        code.insert({row.name.empty() ? "(none)" : "`" + std::string(row.name) + "`", unitWords(row.units),
                     kindName(row.kind)});

    std::ifstream in(ORVA_VARS_DOC);
    ASSERT_TRUE(in) << ORVA_VARS_DOC;
    std::set<Row> docs;
    std::string line;
    bool inTable = false;
    while (std::getline(in, line)) {
        if (line.find("<!-- the format table") != std::string::npos) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.empty()) break;
        if (line.rfind("| Format", 0) == 0 || line.rfind("|---", 0) == 0) continue;
        std::vector<std::string> cells;
        std::size_t at = 1;
        while (at < line.size()) {
            const std::size_t bar = line.find('|', at);
            if (bar == std::string::npos) break;
            cells.push_back(trimmed(line.substr(at, bar - at)));
            at = bar + 1;
        }
        ASSERT_GE(cells.size(), 3u) << line;
        // The first spelling's name: `KS n`, `KC n` is KS.
        std::string name = "(none)";
        if (cells[0].rfind("(none)", 0) != 0) {
            const std::string spelled = cells[0].substr(1, cells[0].find('`', 1) - 1);
            name = "`" + spelled.substr(0, spelled.find(' ')) + "`";
        }
        docs.insert({name, cells[1], cells[2]});
    }
    EXPECT_EQ(docs, code);
}

}  // namespace
