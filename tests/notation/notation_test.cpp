// SPDX-License-Identifier: Apache-2.0
// The PLC's notation the programs share: how numbers and areas are read, and
// how areas, addresses and values are written.
#include <gtest/gtest.h>

#include "command_line.h"
#include "notation.h"

namespace {

using namespace orva::notation;

TEST(Numbers, ReadDecimalHexAndBinaryWithASignAndNothingElse) {
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

TEST(Areas, EverySpellingOfEveryAreaInEitherCase) {
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

TEST(Addresses, FollowThePlcNotation) {
    EXPECT_EQ(elementAddress(AreaCode::inputs, 0, Unit::bytes, 0, 2), "EB2");
    EXPECT_EQ(elementAddress(AreaCode::flags, 0, Unit::words, 10, 1), "MW12") << "words of flags step by 2";
    EXPECT_EQ(elementAddress(AreaCode::outputs, 0, Unit::words, 0, 1), "AW2");
    EXPECT_EQ(elementAddress(AreaCode::dataBlock, 5, Unit::words, 10, 1), "DB 5 DW11");
    EXPECT_EQ(elementAddress(AreaCode::extendedDataBlock, 7, Unit::bytes, 0, 0), "DX 7 DB0");
    EXPECT_EQ(elementAddress(AreaCode::timers, 0, Unit::words, 7, 0), "T 7");
    EXPECT_EQ(elementAddress(AreaCode::counters, 0, Unit::words, 3, 1), "Z 4");
}

TEST(Values, CharactersOnlyWhenEveryBytePrintsTheLowByteFirst) {
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

}  // namespace

namespace {

TEST(CommandLines, OptionsValuesAndOperandsReadAlikeInEveryProgram) {
    orva::notation::ArgumentReader r(
        {"--timeout=250", "-n", "3", "127.0.0.1", "-5", "--words", "--", "--not-an-option"});
    std::string error;
    ASSERT_FALSE(r.done());
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.name(), "--timeout");
    EXPECT_EQ(r.value(error), "250");
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.name(), "-n");
    EXPECT_TRUE(r.noValue(error));
    EXPECT_EQ(r.value(error), "3") << "the next argument";
    ASSERT_FALSE(r.next());
    EXPECT_EQ(r.operand(), "127.0.0.1");
    ASSERT_FALSE(r.next()) << "a negative number is an operand";
    EXPECT_EQ(r.operand(), "-5");
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.name(), "--words");
    ASSERT_FALSE(r.done());
    ASSERT_FALSE(r.next()) << "after --, everything is an operand";
    EXPECT_EQ(r.operand(), "--not-an-option");
    EXPECT_TRUE(r.done());

    orva::notation::ArgumentReader flags({"--words=yes", "--repeat"});
    ASSERT_TRUE(flags.next());
    EXPECT_FALSE(flags.noValue(error));
    EXPECT_EQ(error, "option --words takes no value");
    ASSERT_TRUE(flags.next());
    EXPECT_EQ(flags.value(error), std::nullopt);
    EXPECT_EQ(error, "option --repeat needs a value");
    EXPECT_TRUE(orva::notation::ArgumentReader({"--"}).done()) << "a lone -- leaves nothing";
}

}  // namespace
