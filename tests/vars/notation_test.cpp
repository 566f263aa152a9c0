// SPDX-License-Identifier: Apache-2.0
// The notation of areas and addresses as every tool and binding reads and
// writes it (orvacli, orvasim and orvapanel use this one copy): numbers,
// areas, element addresses and characters; and the C API the bindings call
// for it.
#include <gtest/gtest.h>

#include <string>

#include "notation.h"
#include "orvavars.h"

namespace {

using namespace orva::vars;
using orva::wire::AreaCode;

TEST(NotationNumbers, ReadDecimalHexAndBinaryWithASignAndNothingElse) {
    EXPECT_EQ(readNumber("42"), 42);
    EXPECT_EQ(readNumber("+5"), 5);
    EXPECT_EQ(readNumber("-128"), -128);
    EXPECT_EQ(readNumber("0x1F4"), 500);
    EXPECT_EQ(readNumber("0XfF"), 255);
    EXPECT_EQ(readNumber("0b1010"), 10);
    EXPECT_EQ(readNumber("-0x10"), -16);
    for (const char* bad : {"", " 5", "5 ", "0x", "0b2", "1e3", "1.5", "--1", "abc", "99999999999999999999999"})
        EXPECT_EQ(readNumber(bad), std::nullopt) << "'" << bad << "'";

    std::string error;
    EXPECT_EQ(readNumber("abc", 0, 9, "start", error), std::nullopt);
    EXPECT_EQ(error, "start 'abc' is not a number (decimal, 0x hex or 0b binary)");
    EXPECT_EQ(readNumber("-1", 0, 9, "repeat", error), std::nullopt);
    EXPECT_EQ(error, "repeat -1 is out of range (0..9)") << "a minus sign reads as a number out of range";
    EXPECT_EQ(readNumber("0x9", 0, 9, "start", error), 9);
}

TEST(NotationAreas, EverySpellingOfEveryAreaInEitherCase) {
    struct Case {
        const char* text;
        AreaCode area;
        std::optional<int> block;
    };
    for (const Case& c :
         {Case{"A", AreaCode::outputs, {}}, Case{"o", AreaCode::outputs, {}}, Case{"E", AreaCode::inputs, {}},
          Case{"i", AreaCode::inputs, {}}, Case{"m", AreaCode::flags, {}}, Case{"T", AreaCode::timers, {}},
          Case{"z", AreaCode::counters, {}}, Case{"C", AreaCode::counters, {}}, Case{"DB", AreaCode::dataBlock, {}},
          Case{"db5", AreaCode::dataBlock, 5}, Case{"D255", AreaCode::dataBlock, 255},
          Case{"DB0x10", AreaCode::dataBlock, 16}, Case{"dx0", AreaCode::extendedDataBlock, 0},
          Case{"X17", AreaCode::extendedDataBlock, 17}}) {
        std::string error;
        const auto spelled = readArea(c.text, error);
        ASSERT_TRUE(spelled) << c.text << ": " << error;
        EXPECT_EQ(spelled->area, c.area) << c.text;
        EXPECT_EQ(spelled->block, c.block) << c.text;
    }
    for (const char* bad : {"", "Q", "MB", "M5", "D256", "DB-1", "DBX", "DB5x", "T1"}) {
        std::string error;
        EXPECT_FALSE(readArea(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string error;
    EXPECT_FALSE(readArea("Q", error, blockAreas));
    EXPECT_EQ(error, "unknown area 'Q': use DB<n> or D<n>, DX<n> or X<n> (n 0..255)");

    EXPECT_EQ(areaText(AreaCode::dataBlock, 5), "DB5");
    EXPECT_EQ(areaText(AreaCode::extendedDataBlock, 7), "DX7");
    EXPECT_EQ(areaText(AreaCode::counters, 0), "Z");
    EXPECT_EQ(areaText(static_cast<AreaCode>(9), 0), "area code 9");
}

TEST(NotationAddresses, FollowThePlcNotation) {
    EXPECT_EQ(elementAddress(AreaCode::inputs, 0, Unit::bytes, 0, 2), "EB2");
    EXPECT_EQ(elementAddress(AreaCode::flags, 0, Unit::words, 10, 1), "MW12") << "words of flags step by 2";
    EXPECT_EQ(elementAddress(AreaCode::outputs, 0, Unit::words, 0, 1), "AW2");
    EXPECT_EQ(elementAddress(AreaCode::dataBlock, 5, Unit::words, 10, 1), "DB 5 DW11");
    EXPECT_EQ(elementAddress(AreaCode::extendedDataBlock, 7, Unit::bytes, 0, 0), "DX 7 DB0");
    EXPECT_EQ(elementAddress(AreaCode::timers, 0, Unit::words, 7, 0), "T 7");
    EXPECT_EQ(elementAddress(AreaCode::counters, 0, Unit::words, 3, 1), "Z 4");
}

TEST(NotationValues, CharactersOnlyWhenEveryBytePrintsTheLowByteFirst) {
    EXPECT_EQ(printableText(0x41, Unit::bytes), "'A'");
    EXPECT_EQ(printableText(0x20, Unit::bytes), "' '");
    EXPECT_EQ(printableText(0x7E, Unit::bytes), "'~'");
    EXPECT_EQ(printableText(0x1F, Unit::bytes), "");
    EXPECT_EQ(printableText(0x7F, Unit::bytes), "");
    EXPECT_EQ(printableText(0x4142, Unit::words), "'BA'");
    EXPECT_EQ(printableText(0x7E20, Unit::words), "' ~'");
    EXPECT_EQ(printableText(0x0041, Unit::words), "") << "its high byte does not print";
    EXPECT_EQ(printableText(0x8041, Unit::words), "");
}

TEST(Notation, TheBlockMayFollowABlankAsThePlcWritesIt) {
    std::string error;
    const auto spelled = readArea(" DB 5 ", error);
    ASSERT_TRUE(spelled) << error;
    EXPECT_EQ(spelled->area, AreaCode::dataBlock);
    EXPECT_EQ(spelled->block, 5);
    EXPECT_FALSE(readArea("M 5", error)) << "only blocks carry a number";
    EXPECT_FALSE(readArea("DB  5", error)) << "one blank";
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
