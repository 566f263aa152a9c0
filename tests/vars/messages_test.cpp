// SPDX-License-Identifier: Apache-2.0
// The names every binding reports are the headers' own: each enum constant of
// orvanet.h and orvavars.h read from the files, held to the library's table.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "messages.h"
#include "orvanet.h"
#include "orvavars.h"

namespace {

std::vector<std::pair<std::string, int>> constants(const char* path, const std::string& pattern) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, int>> found;
    const std::regex entry("\\b(" + pattern + ")\\s*=\\s*(-?[0-9]+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), entry); it != std::sregex_iterator(); ++it)
        found.emplace_back((*it)[1], std::stoi((*it)[2]));
    return found;
}

TEST(VarsMessages, EveryResultOfBothHeadersHasItsOwnName) {
    auto results = constants(ORVA_NET_HEADER, "ORVA_OK|ORVA_ERR_[A-Z_]+");
    const auto vars = constants(ORVA_VARS_HEADER, "ORVAVARS_ERR_[A-Z_]+");
    ASSERT_GE(results.size(), 9u);
    ASSERT_GE(vars.size(), 17u);
    results.insert(results.end(), vars.begin(), vars.end());
    for (const auto& [name, code] : results) {
        EXPECT_EQ(ORVAVarsResultName(code), name) << code;
        EXPECT_NE(std::string(ORVAVarsResultText(code)), "unknown result") << name;
    }
    EXPECT_EQ(std::string(ORVAVarsResultName(42)), "");
}

TEST(VarsMessages, EverySocketErrorOfTheHeaderHasItsName) {
    const auto numbers = constants(ORVA_NET_HEADER, "ORVA_WSAE[A-Z]+");
    ASSERT_GE(numbers.size(), 23u);
    for (const auto& [name, number] : numbers) EXPECT_EQ(orva::vars::socketErrorName(number), name.substr(5));
    EXPECT_EQ(orva::vars::socketErrorName(12345), "");
}

TEST(VarsMessages, AFailureReadsAlikeInEveryToolAndBinding) {
    EXPECT_EQ(orva::vars::failureText(ORVA_ERR_SOCKET, ORVA_WSAECONNREFUSED),
              "socket error 10061 (WSAECONNREFUSED): connection refused: nothing listens on port 102 at that address "
              "(ORVA_ERR_SOCKET, result -7)");
    EXPECT_EQ(orva::vars::failureText(ORVA_ERR_SOCKET, 12345), "socket error 12345 (ORVA_ERR_SOCKET, result -7)");
    // A socket error left from an earlier call is no cause of a refusal made before any traffic.
    EXPECT_EQ(orva::vars::failureText(ORVA_ERR_AREA, ORVA_WSAETIMEDOUT),
              "area not supported by this function (ORVA_ERR_AREA, result -10)");
    EXPECT_EQ(orva::vars::failureText(ORVAVARS_ERR_INVALID_BCD, 0),
              "invalid value: a BCD digit above 9 (ORVAVARS_ERR_INVALID_BCD, result -120)");
    EXPECT_EQ(orva::vars::failureText(77, 0), "unknown result (result 77)");

    char cut[12];
    const std::string whole = orva::vars::failureText(ORVA_ERR_DROPPED, 0);
    EXPECT_EQ(ORVAVarsFailureText(ORVA_ERR_DROPPED, 0, cut, sizeof cut), static_cast<int>(whole.size()));
    EXPECT_EQ(std::string(cut), whole.substr(0, sizeof cut - 1));
}

}  // namespace
