// SPDX-License-Identifier: Apache-2.0
// The notation of areas and addresses that orvavars now owns: it reads and
// writes exactly what the tools' copy (tools/notation) does, which the tools
// switch over from, plus the PLC's spacing "DB 5" that two bindings took and
// two tools refused; and the C API the bindings will call for it.
#include <gtest/gtest.h>

#include <string>

#include "notation.h"
#include "orvavars.h"
#include "../../tools/notation/notation.h"

namespace {

namespace vars = orva::vars;
namespace tools = orva::notation;
using orva::wire::AreaCode;

constexpr AreaCode allAreas[] = {AreaCode::outputs,           AreaCode::inputs, AreaCode::flags,    AreaCode::dataBlock,
                                 AreaCode::extendedDataBlock, AreaCode::timers, AreaCode::counters, AreaCode::none,
                                 static_cast<AreaCode>(9)};

TEST(Notation, AreasAddressesAndValuesReadAsTheToolsCopyWritesThem) {
    for (AreaCode area : allAreas) {
        EXPECT_EQ(vars::areaText(area, 5), tools::areaText(area, 5));
        EXPECT_EQ(vars::areaName(area), tools::areaName(area));
        EXPECT_EQ(vars::libraryLetter(area), tools::libraryLetter(area));
        for (auto unit : {vars::Unit::bytes, vars::Unit::words}) {
            const auto toolUnit = unit == vars::Unit::bytes ? tools::Unit::bytes : tools::Unit::words;
            EXPECT_EQ(vars::addressLabel(area, 7, unit), tools::addressLabel(area, 7, toolUnit));
            EXPECT_EQ(vars::addressStep(area, unit), tools::addressStep(area, toolUnit));
            for (int index : {0, 1, 65535})
                EXPECT_EQ(vars::elementAddress(area, 255, unit, 3, index),
                          tools::elementAddress(area, 255, toolUnit, 3, index));
        }
    }
    for (unsigned v = 0; v <= 0xFFFF; v += 0x0101 / 3)
        for (auto unit : {vars::Unit::bytes, vars::Unit::words})
            EXPECT_EQ(vars::printableText(static_cast<std::uint16_t>(unit == vars::Unit::bytes ? v & 0xFF : v), unit),
                      tools::printableText(static_cast<std::uint16_t>(unit == vars::Unit::bytes ? v & 0xFF : v),
                                           unit == vars::Unit::bytes ? tools::Unit::bytes : tools::Unit::words));
    for (const char* text : {"42", "+5", "-128", "0x1F4", "0XfF", "0b1010", "-0x10", "", " 5", "0x", "1e3", "abc",
                             "99999999999999999999999"}) {
        EXPECT_EQ(vars::readNumber(text), tools::readNumber(text)) << text;
        std::string a, b;
        EXPECT_EQ(vars::readNumber(text, 0, 100, "start", a), tools::readNumber(text, 0, 100, "start", b)) << text;
        EXPECT_EQ(a, b);
    }
    for (const char* text : {"A",   "o",   "E", "i", "m",  "T",  "z",    "C",    "DB",  "db5",  "D255", "DB0x10",
                             "dx0", "X17", "",  "Q", "MB", "M5", "D256", "DB-1", "DBX", "DB5x", "T1"}) {
        std::string a, b;
        const auto mine = vars::readArea(text, a);
        const auto theirs = tools::readArea(text, b);
        ASSERT_EQ(mine.has_value(), theirs.has_value()) << text;
        EXPECT_EQ(a, b) << text;
        if (mine) {
            EXPECT_EQ(mine->area, theirs->area) << text;
            EXPECT_EQ(mine->block, theirs->block) << text;
        }
    }
}

TEST(Notation, TheBlockMayFollowABlankAsThePlcWritesIt) {
    std::string error;
    const auto spelled = vars::readArea(" DB 5 ", error);
    ASSERT_TRUE(spelled) << error;
    EXPECT_EQ(spelled->area, AreaCode::dataBlock);
    EXPECT_EQ(spelled->block, 5);
    EXPECT_FALSE(vars::readArea("M 5", error)) << "only blocks carry a number";
    EXPECT_FALSE(vars::readArea("DB  5", error)) << "one blank";
}

TEST(NotationCApi, AreasAndAddressesForTheBindings) {
    int area = 0, block = 0;
    ORVAVarsError error{};
    ASSERT_EQ(ORVAVarsParseArea("db 7", &area, &block, &error), 0);
    EXPECT_EQ(area, 'D');
    EXPECT_EQ(block, 7);
    ASSERT_EQ(ORVAVarsParseArea("c", &area, &block, &error), 0);
    EXPECT_EQ(area, 'Z');
    EXPECT_EQ(block, -1) << "no block spelled";
    ASSERT_EQ(ORVAVarsParseArea("DX", &area, &block, &error), 0);
    EXPECT_EQ(area, 'X');
    EXPECT_EQ(block, -1);
    EXPECT_EQ(ORVAVarsParseArea("flags", &area, &block, &error), ORVAVARS_ERR_UNKNOWN_AREA);
    EXPECT_STREQ(error.message,
                 "unknown area 'flags': use A or O, E or I, M, T, Z or C, DB<n> or D<n>, DX<n> or X<n> (n 0..255)");
    EXPECT_EQ(ORVAVarsParseArea("DB256", &area, &block, &error), ORVAVARS_ERR_OUT_OF_RANGE);
    EXPECT_STREQ(error.message, "block number 256 is out of range (0..255)");
    EXPECT_EQ(ORVAVarsParseArea(nullptr, &area, &block, &error), ORVAVARS_ERR_ARGUMENT);

    char text[32];
    EXPECT_EQ(ORVAVarsElementAddress('d', 5, 1, 10, 1, text, sizeof text), 9);
    EXPECT_STREQ(text, "DB 5 DW11");
    EXPECT_EQ(ORVAVarsElementAddress('M', 0, 1, 10, 1, text, sizeof text), 4);
    EXPECT_STREQ(text, "MW12");
    EXPECT_EQ(ORVAVarsElementAddress('c', 0, 1, 3, 0, text, 3), 3) << "the whole length, the text cut";
    EXPECT_STREQ(text, "Z ");
    EXPECT_EQ(ORVAVarsElementAddress('Q', 0, 0, 0, 0, text, sizeof text), ORVAVARS_ERR_ARGUMENT)
        << "the library's letters only";
    EXPECT_STREQ(ORVAVarsAreaName('e'), "inputs (E)");
    EXPECT_STREQ(ORVAVarsAreaName('?'), "this area");
}

TEST(NotationCApi, EveryCodeHasItsWordsAndTheLibrarysCodesKeepTheirs) {
    for (int code = -150; code <= 5; ++code) {
        const std::string words = ORVAVarsResultText(code);
        EXPECT_FALSE(words.empty()) << code;
    }
    EXPECT_STREQ(ORVAVarsResultText(ORVAVARS_ERR_INVALID_BCD), "invalid value: a BCD digit above 9");
    EXPECT_STREQ(ORVAVarsResultText(-7), "socket error: ORVAGetSockErr tells which");
    EXPECT_STREQ(ORVAVarsResultText(0), "success");
    EXPECT_STREQ(ORVAVarsResultText(-150), "unknown result");
}

}  // namespace
