// SPDX-License-Identifier: Apache-2.0
// The PLC's notation the programs share: how numbers and areas are read, and
// how areas, addresses and values are written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A command line of the kinds of options every program has, and what its handlers saw.
struct Program {
    std::vector<std::string> seen;  // "name=value" per handler call, in order
    std::vector<std::string> operands;
    CommandLine line{"Usage: program [OPTIONS] OPERAND...\n", "\nExit status: 0\n"};

    explicit Program(bool takesOperands = true) {
        line.group("Transfer");
        line.flag("-w,--words", "move words", [this] { seen.push_back("words"); });
        line.option("-n,--repeat", "N", "do it N times",
                    [this](const std::string& v) { seen.push_back("repeat=" + v); });
        line.option("--timeout", "MS", "every time-out\nA time-out of 0 selects its default.",
                    [this](const std::string& v) {
                        seen.push_back("timeout=" + std::to_string(numberOrUsageError(v, 0, 1000, "timeout")));
                    });
        line.group("Output");
        line.choiceFlags("--table{table},--hex{hex}", "the format",
                         [this](const std::string& v) { seen.push_back(v); });
        line.helpFlag("-h,--help", "this text");
        line.versionFlag("-V,--version", "the version");
        if (takesOperands) line.operands(operands);
    }
    CommandLine::Outcome read(const std::vector<std::string>& args) { return line.read(args); }
};

TEST(CommandLines, OptionsValuesAndOperandsReadAlikeInEveryProgram) {
    Program p;
    ASSERT_EQ(p.read({"--timeout=250", "-n", "3", "127.0.0.1", "-5", "--words", "--hex", "--", "--not-an-option"}),
              CommandLine::Outcome::run)
        << p.line.error();
    EXPECT_EQ(p.seen, (std::vector<std::string>{"timeout=250", "repeat=3", "words", "hex"}));
    EXPECT_EQ(p.operands, (std::vector<std::string>{"127.0.0.1", "-5", "--not-an-option"}))
        << "a negative number is an operand, and after -- everything is";

    Program q;
    ASSERT_EQ(q.read({"--timeout", "1", "-n", "-w", "--timeout=", "--table", "--repeat="}),
              CommandLine::Outcome::usageError);
    EXPECT_EQ(q.line.error(), "timeout '' is not a number (decimal, 0x hex or 0b binary)")
        << "an empty value is a value: the next argument is not taken for it";
    EXPECT_EQ(q.seen, (std::vector<std::string>{"timeout=1", "repeat=-w"}))
        << "the argument after an option is its value";
}

TEST(CommandLines, FaultsOfTheFormAreSaidInTheProjectsWords) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    for (const Case& c : std::vector<Case>{
             {{"--words=yes"}, "option --words takes no value"},
             {{"x", "--repeat"}, "option --repeat needs a value"},
             {{"-n"}, "option -n needs a value"},
             {{"--bogus=1"}, "unknown option '--bogus'"},
             {{"-x"}, "unknown option '-x'"},
             {{"-n5"}, "unknown option '-n5'"},
             {{"-wn", "5"}, "unknown option '-wn'"},
             // The first fault in the arguments' order is the one said.
             {{"--timeout", "x", "--bogus"}, "timeout 'x' is not a number (decimal, 0x hex or 0b binary)"},
             {{"--bogus", "--timeout", "x"}, "unknown option '--bogus'"},
             {{"--timeout", "5000", "--repeat"}, "timeout 5000 is out of range (0..1000)"}}) {
        Program p;
        EXPECT_EQ(p.read(c.args), CommandLine::Outcome::usageError) << c.error;
        EXPECT_EQ(p.line.error(), c.error);
    }
    Program noOperands(false);
    EXPECT_EQ(noOperands.read({"-w", "stray", "--bogus"}), CommandLine::Outcome::usageError);
    EXPECT_EQ(noOperands.line.error(), "unexpected argument 'stray'");
    EXPECT_EQ(noOperands.read({"--", "-w"}), CommandLine::Outcome::usageError);
    EXPECT_EQ(noOperands.line.error(), "unexpected argument '-w'");
}

TEST(CommandLines, HelpAndVersionMetBeforeAFaultEndTheReading) {
    EXPECT_EQ(Program().read({"x", "--help", "--bogus", "--repeat"}), CommandLine::Outcome::help);
    EXPECT_EQ(Program().read({"-V", "--timeout", "x"}), CommandLine::Outcome::version);
    EXPECT_EQ(Program().read({"--bogus", "-h"}), CommandLine::Outcome::usageError);
    Program p;
    EXPECT_EQ(p.read({"-w", "-h", "-w"}), CommandLine::Outcome::help);
    EXPECT_EQ(p.seen, std::vector<std::string>{"words"}) << "nothing after it is read";
}

TEST(CommandLines, TheHelpIsMadeOfTheDeclarationsBetweenTheProgramsTexts) {
    EXPECT_EQ(Program().line.help(),
              "Usage: program [OPTIONS] OPERAND...\n"
              "\n"
              "Transfer:\n"
              "  -w, --words               move words\n"
              "  -n, --repeat N            do it N times\n"
              "      --timeout MS          every time-out\n"
              "                            A time-out of 0 selects its default.\n"
              "\n"
              "Output:\n"
              "      --table, --hex        the format\n"
              "  -h, --help                this text\n"
              "  -V, --version             the version\n"
              "\n"
              "Exit status: 0\n");
}

}  // namespace
