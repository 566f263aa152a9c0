// SPDX-License-Identifier: Apache-2.0
// tests/vectors/variables.json through the C API of orvavars.h, as every
// binding reads it: each text parses as it says (or fails with its exact
// error), each variable's bytes decode to its value and text, and each value
// set encodes to its bytes (or is refused with its exact error).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "orvavars.h"

namespace {

using nlohmann::json;

const json& vectors() {
    static const json doc = [] {
        std::ifstream in(ORVA_VECTORS_FILE);
        if (!in) throw std::runtime_error("cannot open " ORVA_VECTORS_FILE);
        return json::parse(in);
    }();
    return doc;
}

// The names of orvavars.h's constants, read from the header itself, so that the
// vectors name codes as the bindings do.
const std::map<std::string, int>& headerConstants() {
    static const std::map<std::string, int> constants = [] {
        std::ifstream in(ORVA_VARS_HEADER);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        std::map<std::string, int> out;
        const std::regex entry(R"((ORVAVARS_[A-Z_0-9]+)\s*=\s*(-?\d+))");
        for (auto it = std::sregex_iterator(all.begin(), all.end(), entry); it != std::sregex_iterator(); ++it)
            out[(*it)[1]] = std::stoi((*it)[2]);
        return out;
    }();
    return constants;
}

int constant(const std::string& name) {
    const auto it = headerConstants().find(name);
    if (it == headerConstants().end()) throw std::runtime_error("orvavars.h has no " + name);
    return it->second;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string hex(const unsigned char* bytes, int n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

std::vector<unsigned char> fromHex(const std::string& text) {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

// A Latin-1 string of the vectors (JSON text, code points 0..255) as bytes.
std::string latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto u = static_cast<unsigned char>(utf8[i]);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else {
            out += static_cast<char>(((u & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        }
    }
    return out;
}

struct ListDeleter {
    void operator()(ORVAVarList* l) const { ORVAVarsFreeList(l); }
};
using List = std::unique_ptr<ORVAVarList, ListDeleter>;

List listOf(const std::string& variable) {
    List list(ORVAVarsNewList());
    ORVAVarsError error;
    EXPECT_EQ(ORVAVarsAdd(list.get(), variable.c_str(), &error), 0) << variable << ": " << error.message;
    return list;
}

std::string valueText(const ORVAVarList* list) {
    const int n = ORVAVarsValueText(list, 0, nullptr, 0);
    if (n < 0) return "";
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    ORVAVarsValueText(list, 0, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

TEST(Vectors, EveryTextParsesAsTheVectorsSay) {
    ASSERT_GE(vectors()["parse"].size(), 50u);
    for (const json& c : vectors()["parse"]) {
        const std::string text = c["text"];
        SCOPED_TRACE(text);
        ORVAVarInfo info{};
        ORVAVarsError error{};
        const int result = ORVAVarsParse(text.c_str(), &info, &error);
        if (c.contains("error")) {
            EXPECT_EQ(result, constant(c["error"]["code"]));
            EXPECT_EQ(error.code, result);
            EXPECT_EQ(error.position, c["error"]["position"].get<int>());
            EXPECT_EQ(std::string(error.message), c["error"]["message"].get<std::string>());
            continue;
        }
        ASSERT_EQ(result, 0) << error.message;
        const json& v = c["variable"];
        const std::string area = v["area"];
        EXPECT_EQ(info.area, area == "DB" ? 'D' : area == "DX" ? 'X' : area[0]);
        EXPECT_EQ(info.block, v["block"].get<int>());
        EXPECT_EQ(info.element, constant("ORVAVARS_ELEMENT_" + upper(v["element"])));
        EXPECT_EQ(info.address, v["address"].get<int>());
        EXPECT_EQ(info.bit, v["bit"].get<int>());
        EXPECT_EQ(info.format, constant("ORVAVARS_FORMAT_" + v["format"].get<std::string>()));
        EXPECT_EQ(info.length, v["length"].get<int>());
        EXPECT_EQ(info.byteOffset, v["byteOffset"].get<int>());
        EXPECT_EQ(info.byteCount, v["byteCount"].get<int>());
        EXPECT_EQ(std::string(info.text), v["text"].get<std::string>());
        // The printed spelling reads back as the same variable.
        ORVAVarInfo again{};
        ASSERT_EQ(ORVAVarsParse(info.text, &again, nullptr), 0);
        EXPECT_EQ(std::string(again.text), std::string(info.text));
        EXPECT_EQ(again.byteOffset, info.byteOffset);
    }
}

TEST(Vectors, EveryVariablesBytesDecodeToTheirValueAndText) {
    ASSERT_GE(vectors()["decode"].size(), 40u);
    for (const json& c : vectors()["decode"]) {
        const std::string variable = c["variable"];
        SCOPED_TRACE(variable + " " + c["bytes"].get<std::string>());
        List list = listOf(variable);
        const std::vector<unsigned char> bytes = fromHex(c["bytes"]);
        ORVAVarResult r{};
        const int status = ORVAVarsDecode(list.get(), 0, bytes.data(), static_cast<int>(bytes.size()), &r);
        EXPECT_EQ(status, constant(c["status"]));
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.kind, constant("ORVAVARS_KIND_" + upper(c["kind"])));
        if (c.contains("boolean")) {
            EXPECT_EQ(r.integer, c["boolean"].get<bool>() ? 1 : 0);
        }
        if (c.contains("integer")) {
            EXPECT_EQ(r.integer, c["integer"].get<long long>());
        }
        if (c.contains("real")) {
            EXPECT_EQ(r.real, c["real"].get<double>()) << "exact, not near";
        }
        if (c.contains("string")) {
            EXPECT_EQ(std::string(r.text, static_cast<std::size_t>(r.length)), latin1(c["string"]));
        }
        if (c.contains("timeBase")) {
            EXPECT_EQ(r.timeBase, c["timeBase"].get<int>());
        }
        if (c.contains("timeDigits")) {
            EXPECT_EQ(r.timeDigits, c["timeDigits"].get<int>());
        }
        if (c.contains("text")) {
            EXPECT_EQ(valueText(list.get()), c["text"].get<std::string>());
        } else {
            EXPECT_EQ(ORVAVarsValueText(list.get(), 0, nullptr, 0), ORVAVARS_ERR_NO_VALUE);
        }
    }
}

TEST(Vectors, EveryValueEncodesToItsBytesOrItsError) {
    ASSERT_GE(vectors()["encode"].size(), 80u);
    for (const json& c : vectors()["encode"]) {
        const std::string variable = c["variable"];
        SCOPED_TRACE(variable + " " + c["set"].dump());
        List list = listOf(variable);
        if (c.contains("options") && c["options"].value("roundTimes", false)) {
            ASSERT_EQ(ORVAVarsSetOption(list.get(), ORVAVARS_OPTION_ROUND_TIMES, 1), 0);
        }
        const json& set = c["set"];
        ORVAVarsError error{};
        int result = 0;
        if (set.contains("real")) {
            result = ORVAVarsSetReal(list.get(), 0, set["real"].get<double>(), &error);
        } else if (set.contains("integer")) {
            result = ORVAVarsSetInteger(list.get(), 0, set["integer"].get<long long>(), &error);
        } else if (set.contains("boolean")) {
            result = ORVAVarsSetBoolean(list.get(), 0, set["boolean"].get<bool>() ? 1 : 0, &error);
        } else if (set.contains("string")) {
            const std::string bytes = latin1(set["string"]);
            result = ORVAVarsSetString(list.get(), 0, bytes.data(), static_cast<int>(bytes.size()), &error);
        } else {
            result = ORVAVarsSetText(list.get(), 0, set["text"].get<std::string>().c_str(), &error);
        }
        unsigned char bytes[70000];
        if (c.contains("error")) {
            EXPECT_EQ(result, constant(c["error"]["code"]));
            EXPECT_EQ(error.code, result);
            EXPECT_EQ(std::string(error.message), c["error"]["message"].get<std::string>());
            EXPECT_EQ(ORVAVarsEncoded(list.get(), 0, bytes, sizeof bytes), ORVAVARS_ERR_NO_VALUE)
                << "a refused value leaves the variable without one";
            continue;
        }
        ASSERT_EQ(result, 0) << error.message;
        const int n = ORVAVarsEncoded(list.get(), 0, bytes, sizeof bytes);
        EXPECT_EQ(hex(bytes, n), c["bytes"].get<std::string>());
        EXPECT_EQ(valueText(list.get()), c["text"].get<std::string>());
        // What a value prints as is what the tools take back (orvacli set X=text).
        List again = listOf(variable);
        if (c.contains("options")) ORVAVarsSetOption(again.get(), ORVAVARS_OPTION_ROUND_TIMES, 1);
        ASSERT_EQ(ORVAVarsSetText(again.get(), 0, c["text"].get<std::string>().c_str(), &error), 0) << error.message;
        unsigned char back[70000];
        EXPECT_EQ(hex(back, ORVAVarsEncoded(again.get(), 0, back, sizeof back)), c["bytes"].get<std::string>());
    }
}

}  // namespace
