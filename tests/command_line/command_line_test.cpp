// SPDX-License-Identifier: Apache-2.0
// The programs' command lines: options, values and operands read alike in
// every program, the faults of the form in the project's words, the help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

namespace {

using namespace orva::command_line;

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
