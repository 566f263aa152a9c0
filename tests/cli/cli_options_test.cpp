// SPDX-License-Identifier: Apache-2.0
// orvacli's argument checks and output texts, without a network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format.h"
#include "options.h"
#include "orvanet.h"
#include "variable_output.h"

namespace {

using namespace orvacli;

ParseResult parse(std::vector<std::string> args) { return parseCommandLine(args); }

struct AreaCase {
    const char* command;
    const char* area;
    bool words;
    bool accepted;
};

// The letters each library function accepts, by direction and unit.
TEST(OrvacliAreas, AcceptExactlyWhatTheLibraryFunctionAccepts) {
    const std::vector<AreaCase> cases = {
        // ORVARdB: outputs, inputs, flags.
        {"read", "A", false, true},
        {"read", "O", false, true},
        {"read", "E", false, true},
        {"read", "I", false, true},
        {"read", "M", false, true},
        {"read", "DB1", false, false},
        {"read", "DX1", false, false},
        {"read", "T", false, false},
        {"read", "Z", false, false},
        {"read", "C", false, false},
        // ORVARdW: every area.
        {"read", "A", true, true},
        {"read", "E", true, true},
        {"read", "M", true, true},
        {"read", "DB1", true, true},
        {"read", "DX1", true, true},
        {"read", "T", true, true},
        {"read", "Z", true, true},
        {"read", "C", true, true},
        // ORVAWrB: outputs and flags.
        {"write", "A", false, true},
        {"write", "O", false, true},
        {"write", "M", false, true},
        {"write", "E", false, false},
        {"write", "I", false, false},
        {"write", "DB1", false, false},
        {"write", "T", false, false},
        // ORVAWrW: all but inputs.
        {"write", "A", true, true},
        {"write", "M", true, true},
        {"write", "DB1", true, true},
        {"write", "DX1", true, true},
        {"write", "T", true, true},
        {"write", "Z", true, true},
        {"write", "E", true, false},
        {"write", "I", true, false},
    };
    for (const AreaCase& c : cases) {
        std::vector<std::string> args = {"127.0.0.1", c.command, c.area, "0", "1"};
        if (c.words) args.push_back("--words");
        const ParseResult r = parse(args);
        EXPECT_EQ(r.status == ParseStatus::run, c.accepted)
            << c.command << " " << c.area << (c.words ? " words: " : " bytes: ") << r.error;
    }
}

TEST(OrvacliAreas, NamesBecomeTheCanonicalLetterAndBlock) {
    const std::vector<std::pair<std::string, std::pair<char, int>>> names = {
        {"a", {'A', 0}},      {"o", {'A', 0}},   {"i", {'E', 0}},    {"E", {'E', 0}},
        {"m", {'M', 0}},      {"t", {'T', 0}},   {"c", {'Z', 0}},    {"db5", {'D', 5}},
        {"D255", {'D', 255}}, {"dx0", {'X', 0}}, {"X17", {'X', 17}},
    };
    for (const auto& [name, area] : names) {
        const ParseResult r = parse({"127.0.0.1", "read", name, "0", "1", "-w"});
        ASSERT_EQ(r.status, ParseStatus::run) << name << ": " << r.error;
        EXPECT_EQ(r.options.area.letter(), area.first) << name;
        EXPECT_EQ(r.options.area.block, area.second) << name;
    }
    for (const char* bad : {"DB", "DX", "D256", "DB-1", "DBX", "Q", "MB", "", "DB5x"})
        EXPECT_EQ(parse({"127.0.0.1", "read", bad, "0", "1", "-w"}).status, ParseStatus::usageError) << bad;
}

TEST(OrvacliRanges, StartAndCountStayInsideTheAreasAddresses) {
    auto ok = [](std::vector<std::string> args) { return parse(args).status == ParseStatus::run; };
    EXPECT_TRUE(ok({"127.0.0.1", "read", "M", "65535", "1"}));
    EXPECT_FALSE(ok({"127.0.0.1", "read", "M", "65535", "2"}));
    EXPECT_TRUE(ok({"127.0.0.1", "read", "M", "0", "65535"}));
    EXPECT_FALSE(ok({"127.0.0.1", "read", "M", "0", "65536"}));
    EXPECT_FALSE(ok({"127.0.0.1", "read", "M", "0", "0"}));
    EXPECT_FALSE(ok({"127.0.0.1", "read", "M", "65536", "1"}));
    // A word of a byte area covers two addresses; a data word one.
    EXPECT_TRUE(ok({"127.0.0.1", "read", "M", "65534", "1", "-w"}));
    EXPECT_FALSE(ok({"127.0.0.1", "read", "M", "65535", "1", "-w"}));
    EXPECT_TRUE(ok({"127.0.0.1", "read", "DB1", "65535", "1", "-w"}));
    EXPECT_FALSE(ok({"127.0.0.1", "write", "M", "65534", "1", "2", "-w"}));
    for (const char* number : {" 5", "5 ", "1e3", "", "0x", "99999999999999999999999"})
        EXPECT_FALSE(ok({"127.0.0.1", "read", "M", number, "1"})) << "start '" << number << "'";
}

// Every number reads the same way, in every argument, and a refusal says what is wrong.
TEST(OrvacliNumbers, ReadAlikeEverywhereAndSayWhatIsWrong) {
    const ParseResult hex = parse({"127.0.0.1", "read", "DB0x10", "0x10", "0b11", "-w", "--timeout", "0x3E8"});
    ASSERT_EQ(hex.status, ParseStatus::run) << hex.error;
    EXPECT_EQ(hex.options.area.block, 16);
    EXPECT_EQ(hex.options.start, 16);
    EXPECT_EQ(hex.options.count, 3);
    EXPECT_EQ(hex.options.receiveTimeoutMs, 1000);
    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "+5", "1"}).options.start, 5);

    auto error = [](std::vector<std::string> args) { return parse(args).error; };
    EXPECT_EQ(error({"127.0.0.1", "read", "M", "abc", "1"}),
              "start 'abc' is not a number (decimal, 0x hex or 0b binary)");
    EXPECT_EQ(error({"127.0.0.1", "read", "M", "70000", "1"}), "start 70000 is out of range (0..65535)");
    EXPECT_EQ(error({"127.0.0.1", "read", "M", "0", "1", "--repeat", "-1"}),
              "repeat -1 is out of range (0..2147483647)");
    EXPECT_EQ(error({"127.0.0.1", "write", "M", "0", "abc"}),
              "value 'abc' is not a number (decimal, 0x hex or 0b binary)");
    EXPECT_EQ(error({"127.0.0.1", "write", "M", "0", "300"}),
              "value 300 does not fit in a byte (0..255, or -128..-1 as two's complement); add --words for 16-bit "
              "values");
}

TEST(OrvacliValues, MustFitTheElementSize) {
    auto values = [](std::vector<std::string> args) {
        const ParseResult r = parse(args);
        EXPECT_EQ(r.status, ParseStatus::run) << r.error;
        return r.options.values;
    };
    EXPECT_EQ(values({"127.0.0.1", "write", "M", "0", "0", "255", "0xfF", "0b1010", "-1", "-128"}),
              (std::vector<std::uint16_t>{0, 255, 255, 10, 0xFF, 0x80}));
    EXPECT_EQ(values({"127.0.0.1", "write", "DB1", "0", "65535", "0x1234", "-1", "-32768", "-w"}),
              (std::vector<std::uint16_t>{0xFFFF, 0x1234, 0xFFFF, 0x8000}));
    EXPECT_EQ(parse({"127.0.0.1", "write", "M", "0", "1", "2", "3"}).options.count, 3);

    for (const char* bad : {"256", "-129", "0x100", "x1", "0x", "1.5", "--1"}) {
        const ParseResult r = parse({"127.0.0.1", "write", "M", "0", bad});
        EXPECT_EQ(r.status, ParseStatus::usageError) << bad;
    }
    EXPECT_NE(parse({"127.0.0.1", "write", "M", "0", "0x1234"}).error.find("add --words"), std::string::npos);
    for (const char* bad : {"65536", "-32769", "0x10000"})
        EXPECT_EQ(parse({"127.0.0.1", "write", "DB1", "0", bad, "-w"}).status, ParseStatus::usageError) << bad;
    EXPECT_EQ(parse({"127.0.0.1", "write", "M", "0"}).status, ParseStatus::usageError);
}

TEST(OrvacliOptions, FormsPlacesAndLimits) {
    ParseResult r = parse({"--timeout=250", "127.0.0.1", "read", "M", "0", "1", "--receive-timeout", "700",
                           "--own-tsap", "ABCDEFGH", "--plc-tsap=", "--json", "-n", "0", "-i", "5"});
    ASSERT_EQ(r.status, ParseStatus::run) << r.error;
    EXPECT_EQ(r.options.receiveTimeoutMs, 700);
    EXPECT_EQ(r.options.sendTimeoutMs, 250);
    EXPECT_EQ(r.options.connectTimeoutMs, 250);
    EXPECT_EQ(r.options.ownTsap, "ABCDEFGH");
    EXPECT_EQ(r.options.plcTsap, "");
    EXPECT_EQ(r.options.format, Format::json);
    EXPECT_EQ(r.options.repeat, 0);
    EXPECT_EQ(r.options.intervalMs, 5);

    r = parse({"127.0.0.1", "read", "M", "0", "1"});
    EXPECT_EQ(r.options.receiveTimeoutMs, 0);  // the library's defaults
    EXPECT_EQ(r.options.repeat, 1);
    EXPECT_EQ(r.options.format, Format::table);
    EXPECT_EQ(r.options.unit, Unit::bytes);

    // After --, and as values, a leading minus is a number, not an option.
    r = parse({"127.0.0.1", "write", "M", "0", "--", "-5"});
    ASSERT_EQ(r.status, ParseStatus::run) << r.error;
    EXPECT_EQ(r.options.values, std::vector<std::uint16_t>{0xFB});

    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "0", "1", "--own-tsap", "ABCDEFGHI"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "0", "1", "--format", "xml"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "0", "1", "--repeat"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "0", "1", "--words=yes"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "0", "1", "--timeout", "3600001"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"127.0.0.1", "read", "M", "0", "1", "extra"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"127.0.0.1", "fetch", "M", "0", "1"}).status, ParseStatus::usageError);
    EXPECT_EQ(parse({"x", "--help"}).status, ParseStatus::help);
    EXPECT_EQ(parse({"-V"}).status, ParseStatus::version);
}

TEST(OrvacliOptions, TheAddressIsADottedIpv4Address) {
    for (const char* good : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "127.000.0.045"})
        EXPECT_EQ(parse({good, "read", "M", "0", "1"}).status, ParseStatus::run) << good;
    for (const char* bad :
         {"127.0.0", "127.0.0.1.2", "127.0.0.256", "127..0.1", "localhost", "127.0.0.1 ", "::1", "1270.0.0.1"})
        EXPECT_EQ(parse({bad, "read", "M", "0", "1"}).status, ParseStatus::usageError) << bad;
}

Options request(const char* area, int block, Unit unit, int start, int count) {
    Options o;
    o.address = "127.0.0.1";
    o.area = Area{orva::wire::areaCodeOf(area[0]), block};
    o.unit = unit;
    o.start = start;
    o.count = count;
    return o;
}

TEST(OrvacliOutput, AddressesFollowThePlcNotation) {
    EXPECT_EQ(elementAddress(request("E", 0, Unit::bytes, 0, 3), 2), "EB2");
    EXPECT_EQ(elementAddress(request("M", 0, Unit::words, 10, 2), 1), "MW12");
    EXPECT_EQ(elementAddress(request("A", 0, Unit::words, 0, 2), 1), "AW2");
    EXPECT_EQ(elementAddress(request("D", 5, Unit::words, 10, 2), 1), "DB 5 DW11");
    EXPECT_EQ(elementAddress(request("X", 7, Unit::words, 0, 1), 0), "DX 7 DW0");
    EXPECT_EQ(elementAddress(request("T", 0, Unit::words, 7, 1), 0), "T 7");
    EXPECT_EQ(elementAddress(request("Z", 0, Unit::words, 3, 2), 1), "Z 4");
}

TEST(OrvacliOutput, ValuesShowDecimalHexAndPrintableCharacters) {
    Options bytes = request("E", 0, Unit::bytes, 0, 3);
    EXPECT_EQ(formatSuccess(bytes, Outcome{0, 0, {0x41, 0x20, 0x7F}}, 0),
              "Address  Decimal  Hex  ASCII\n"
              "EB0           65   41  'A'\n"
              "EB1           32   20  ' '\n"
              "EB2          127   7F\n");
    // Words: four hex digits, characters low byte first, and only when both
    // bytes print.
    Options words = request("D", 1, Unit::words, 0, 4);
    EXPECT_EQ(formatSuccess(words, Outcome{0, 0, {0x0041, 0xFFFF, 0x01F4, 0x4142}}, 0),
              "Address   Decimal   Hex  ASCII\n"
              "DB 1 DW0       65  0041\n"
              "DB 1 DW1    65535  FFFF\n"
              "DB 1 DW2      500  01F4\n"
              "DB 1 DW3    16706  4142  'BA'\n");

    words.format = Format::hex;
    EXPECT_EQ(formatSuccess(words, Outcome{0, 0, {0x41, 0xFFFF, 0x1F4, 0x4142}}, 0), "0041 FFFF 01F4 4142\n");
    Options many = request("M", 0, Unit::bytes, 0, 17);
    many.format = Format::hex;
    EXPECT_EQ(formatSuccess(many, Outcome{0, 0, std::vector<std::uint16_t>(17, 0xAB)}, 0),
              "AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB\nAB\n");
}

TEST(OrvacliOutput, FailuresNameTheResultTheSocketErrorAndTheExitStatus) {
    const Options o = request("M", 0, Unit::bytes, 4, 2);
    EXPECT_EQ(failureMessage(o, Outcome{ORVA_ERR_SOCKET, ORVA_WSAECONNREFUSED, {}}),
              "orvacli: reading 2 bytes from MB4..MB5 at 127.0.0.1 failed: socket error 10061 (WSAECONNREFUSED): "
              "connection refused: nothing listens on port 102 at that address (ORVA_ERR_SOCKET, result -7)\n");
    // Without a socket error the result says it all: no "socket error 0" tail.
    EXPECT_EQ(failureMessage(o, Outcome{ORVA_ERR_DROPPED, 0, {}}),
              "orvacli: reading 2 bytes from MB4..MB5 at 127.0.0.1 failed: the connection was dropped: closed, reset "
              "without a socket error, or a reply that did not fit (ORVA_ERR_DROPPED, result -1)\n");
    EXPECT_EQ(failureMessage(o, Outcome{ORVA_ERR_PLC, 0, {}}),
              "orvacli: reading 2 bytes from MB4..MB5 at 127.0.0.1 failed: the PLC refused: data block missing, or "
              "the range runs past the end of the area (ORVA_ERR_PLC, result 2)\n");

    Options j = request("M", 0, Unit::bytes, 4, 2);
    j.format = Format::json;
    EXPECT_EQ(failureJson(j, Outcome{ORVA_ERR_DROPPED, 0, {}}, 4),
              "{\"round\":4,\"address\":\"127.0.0.1\",\"operation\":\"read\",\"area\":\"M\",\"unit\":\"bytes\","
              "\"start\":4,\"count\":2,\"ok\":false,\"result\":-1,\"result_text\":\"the connection was dropped: "
              "closed, reset without a socket error, or a reply that did not fit\",\"socket_error\":0,"
              "\"socket_error_text\":\"none\"}\n");

    EXPECT_EQ(exitStatusFor(ORVA_OK), exitSuccess);
    EXPECT_EQ(exitStatusFor(ORVA_ERR_PLC), exitPlcError);
    for (int connection : {ORVA_ERR_DROPPED, ORVA_ERR_CONNECT, ORVA_ERR_SOCKET})
        EXPECT_EQ(exitStatusFor(connection), exitConnectionFailure) << connection;
    for (int other :
         {static_cast<int>(ORVA_ERR_FAILED), static_cast<int>(ORVA_ERR_NO_FREE_HANDLE), static_cast<int>(ORVA_ERR_AREA),
          static_cast<int>(ORVA_ERR_HANDLE), static_cast<int>(ORVAVARS_ERR_INVALID_BCD)})
        EXPECT_EQ(exitStatusFor(other), exitOtherFailure) << other;
}

// --- get and set ---------------------------------------------------------------

std::vector<std::string> spellings(const Options& o) {
    std::vector<std::string> out;
    for (int i = 0; i < o.variables.size(); ++i) out.push_back(orva::vars::variableText(o.variables.variable(i)));
    return out;
}

TEST(OrvacliVariables, GetAndSetTakeTheNotationOfTheVariablesLibrary) {
    ParseResult r = parse({"127.0.0.1", "get", "db10.dd30:kg", "MW 20:KF", "c5", "q0.7", "--json"});
    ASSERT_EQ(r.status, ParseStatus::run) << r.error;
    EXPECT_TRUE(r.options.byVariable);
    EXPECT_EQ(r.options.direction, Direction::read);
    EXPECT_EQ(spellings(r.options), (std::vector<std::string>{"DB10.DD30:KG", "MW20:KF", "Z5", "A0.7"}));

    // set: the first "=" ends the variable; the value is the format's, taken at once.
    r = parse({"127.0.0.1", "set", "DB10.DD30:KG=12.5", "M20.3=1", "DB5.DW0:KS4=a=b", "--", "MW2:KF=-3"});
    ASSERT_EQ(r.status, ParseStatus::run) << r.error;
    EXPECT_EQ(r.options.direction, Direction::write);
    EXPECT_EQ(spellings(r.options), (std::vector<std::string>{"DB10.DD30:KG", "M20.3", "DB5.DW0:KS4", "MW2:KF"}));
    const auto encoded = [&r](int i) {
        const auto bytes = r.options.variables.encoded(i);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(encoded(0), (std::vector<std::uint8_t>{0x04, 0x64, 0x00, 0x00}));  // 12.5 as KG
    EXPECT_EQ(encoded(1), std::vector<std::uint8_t>{0x08});                      // its bit of MB20
    EXPECT_EQ(encoded(2), (std::vector<std::uint8_t>{'a', '=', 'b', ' '}));
    EXPECT_EQ(encoded(3), (std::vector<std::uint8_t>{0xFF, 0xFD}));
}

TEST(OrvacliVariables, ARefusedOneNamesWhereAndWhatWasExpectedBeforeAnyTraffic) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    for (const Case& c : std::vector<Case>{
             {{"get", "MW10:KQ"}, "MW10:KQ: unknown format \"KQ\" at 6; one of KF KH KM KY KC KT KZ KG DH KS"},
             {{"get", "MW10", "DB5.D3.16"}, "DB5.D3.16: the bit 16 at 8 is out of range (0..15)"},
             {{"get", "MW10", "mw 10"}, "mw 10: MW10 is given twice"},
             {{"get"}, "get needs VARIABLE..., as in DB10.DD30:KG MW20:KF T3"},
             {{"get", "MW10", "--hex"}, "get prints a line per variable or json; --hex is for read and write"},
             {{"set", "M20.3"}, "M20.3: expected \"=\" and a value at 6; as in M20.3=1"},
             {{"set", "MW10:KQ=1"}, "MW10:KQ=1: unknown format \"KQ\" at 6; one of KF KH KM KY KC KT KZ KG DH KS"},
             {{"set", "MW10:KF=40000"}, "MW10:KF=40000: 40000 does not fit MW10:KF (-32768..32767)"},
             {{"set", "DB10.DD30:KG=abc"},
              "DB10.DD30:KG=abc: value \"abc\" for DB10.DD30:KG is not a number (such as 12.5, -0.005 or 1.5e-3)"},
             {{"set", "EB0=1"}, "EB0=1: inputs (E) can be read but not written"},
             {{"set"}, "set needs VARIABLE=VALUE..., as in DB10.DD30:KG=12.5 M20.3=1"}}) {
        std::vector<std::string> args = {"127.0.0.1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ParseResult r = parse(args);
        EXPECT_EQ(r.status, ParseStatus::usageError) << c.error;
        EXPECT_EQ(r.error, c.error);
    }
}

TEST(OrvacliVariables, JsonHoldsEachValueAsItsKindAndEachFailureByName) {
    Options o;
    o.address = "127.0.0.1";
    o.format = Format::json;
    orva::vars::ParseError e;
    for (const char* text : {"M0.0", "MW2:KF", "MD4:KG", "MW8:KT", "MW10:KC", "MW12"}) o.variables.add(text, e);
    const std::vector<std::uint8_t> bytes = {0x01, 0, 0xFF, 0xF9, 0x04, 0x62, 0xC3, 0xEF, 0x01, 0x50, 'A', 0xE4};
    for (int i = 0; i < 5; ++i) {
        const auto& v = o.variables.variable(i);
        o.variables.decode(
            i, std::span(bytes).subspan(static_cast<std::size_t>(v.byteOffset), static_cast<std::size_t>(v.byteCount)));
    }
    const std::vector<VariableResult> results = {{}, {}, {}, {}, {}, {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT}};
    EXPECT_EQ(variablesOutput(o, results, 0),
              "{\"M0.0\":{\"value\":true,\"text\":\"true\"},\"MW2:KF\":{\"value\":-7,\"text\":\"-7\"},"
              "\"MD4:KG\":{\"value\":12.345670700073242,\"text\":\"12.34567\"},"
              "\"MW8:KT\":{\"value\":1500,\"text\":\"1.5s\"},"
              "\"MW10:KC\":{\"value\":\"A\u00e4\",\"text\":\"A\u00e4\"},"
              "\"MW12\":{\"error\":{\"name\":\"ORVA_ERR_SOCKET\",\"code\":-7,\"socket_error\":10060,"
              "\"message\":\"socket error 10060 (WSAETIMEDOUT): timed out: no answer within the receive or send "
              "time-out (ORVA_ERR_SOCKET, result -7)\"}}}\n");
    EXPECT_EQ(variablesOutput(o, results, 3).rfind("{\"round\":3,\"M0.0\":", 0), 0u);
    o.format = Format::table;
    EXPECT_EQ(variablesOutput(o, results, 2),
              "round 2\nM0.0 = true\nMW2:KF = -7\nMD4:KG = 12.34567\nMW8:KT = 1.5s\nMW10:KC = A\u00e4\n");
    EXPECT_EQ(variableFailures(o, results),
              "orvacli: reading MW12 at 127.0.0.1 failed: socket error 10060 (WSAETIMEDOUT): timed out: no answer "
              "within the receive or send time-out (ORVA_ERR_SOCKET, result -7)\n");
}

}  // namespace
