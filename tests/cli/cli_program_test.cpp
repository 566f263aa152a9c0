// SPDX-License-Identifier: Apache-2.0
// orvacli as a user runs it: against the adapter simulator on 127.0.0.40, and
// against 127.0.0.41 where nothing listens. Checks what it prints, what reaches
// the adapter and its exit status.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include "loopback_addresses.h"
#include "running_program.h"
#include "sim_server.h"

namespace {

using orva::wire::AreaCode;
using orvatest::ProgramResult;
using orvatest::runProgram;

constexpr const char* simAddress = orvatest::address::cliSim;
constexpr const char* silentAddress = orvatest::address::cliSilentSim;  // nothing listens here

constexpr int exitSuccess = 0;
constexpr int exitOtherFailure = 1;
constexpr int exitPlcError = 2;
constexpr int exitConnectionFailure = 3;
constexpr int exitUsage = 64;

class OrvacliProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.start(&error)) << error;
    }

    ProgramResult cli(std::vector<std::string> args) { return runProgram(ORVACLI_PROGRAM, args); }
    // What a run that must succeed printed; its standard error explains a failure.
    std::string succeeded(std::vector<std::string> args) {
        const ProgramResult r = cli(std::move(args));
        EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
        return r.out;
    }

    orvasim::Server sim{orvasim::Options{simAddress, 102, false, 64}};
};

TEST_F(OrvacliProgram, ReadsBytesAsATableWithAddressDecimalHexAndCharacters) {
    sim.writeBytes(AreaCode::flags, 0, 10, {0x41, 0x20, 0x7F, 0xFF});
    const ProgramResult r = cli({simAddress, "read", "M", "10", "4"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out,
              "Address  Decimal  Hex  ASCII\n"
              "MB10          65   41  'A'\n"
              "MB11          32   20  ' '\n"
              "MB12         127   7F\n"
              "MB13         255   FF\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(OrvacliProgram, ReadsWordsOfDataBlocksAndOfByteAreas) {
    sim.writeWord(AreaCode::dataBlock, 5, 0, 0x1234);
    sim.writeWord(AreaCode::dataBlock, 5, 1, 0x4142);
    sim.writeWord(AreaCode::dataBlock, 5, 2, 0xFFFF);
    ProgramResult r = cli({simAddress, "read", "DB5", "0", "3", "--words"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out,
              "Address   Decimal   Hex  ASCII\n"
              "DB 5 DW0     4660  1234\n"
              "DB 5 DW1    16706  4142  'BA'\n"
              "DB 5 DW2    65535  FFFF\n");

    // Words of inputs: numbered in steps of two, bytes combined high first.
    sim.writeBytes(AreaCode::inputs, 0, 10, {0x12, 0x34, 0x00, 0x41});
    r = cli({simAddress, "read", "I", "10", "2", "-w", "--hex"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out, "1234 0041\n");
    r = cli({simAddress, "read", "e", "10", "2", "-w"});
    EXPECT_NE(r.out.find("EW10"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("EW12"), std::string::npos) << r.out;
}

TEST_F(OrvacliProgram, WritesWordsAndBytesThatTheAdapterStores) {
    ProgramResult r = cli({simAddress, "write", "DB5", "3", "0x1234", "42", "-1", "--words"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out, "wrote 3 words to DB 5 DW3..DB 5 DW5\n");
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 5, 3), 0x1234);
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 5, 4), 42);
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 5, 5), 0xFFFF);
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 5, 6), 0);

    r = cli({simAddress, "write", "O", "7", "-1", "0b101", "200"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(sim.readBytes(AreaCode::outputs, 0, 7, 3), (std::vector<std::uint8_t>{0xFF, 0x05, 200}));

    r = cli({simAddress, "write", "C", "1", "999", "--words", "--json"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(sim.readWord(AreaCode::counters, 0, 1), 999);
    EXPECT_NE(r.out.find("\"ok\":true"), std::string::npos) << r.out;
}

TEST_F(OrvacliProgram, JsonCarriesTheRequestAndTheValues) {
    sim.writeWord(AreaCode::extendedDataBlock, 9, 4, 500);
    EXPECT_EQ(succeeded({simAddress, "read", "DX9", "4", "2", "--words", "--format", "json"}),
              "{\"address\":\"127.0.0.40\",\"operation\":\"read\",\"area\":\"DX\",\"block\":9,\"unit\":\"words\","
              "\"start\":4,\"count\":2,\"ok\":true,\"values\":[500,0]}\n");
}

TEST_F(OrvacliProgram, TheTsapsAndTheLongRequestsReachTheAdapter) {
    const ProgramResult r =
        cli({"--own-tsap", "OWN-1", "--plc-tsap=PLC-22", simAddress, "read", "M", "0", "1000", "--hex"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    const auto requests = sim.connectRequests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string crText(requests[0].begin(), requests[0].end());
    EXPECT_NE(crText.find("OWN-1"), std::string::npos);
    EXPECT_NE(crText.find("PLC-22"), std::string::npos);
    EXPECT_EQ(sim.requests().size(), 3u);  // 492 + 492 + 16 bytes
    EXPECT_EQ(r.out.size(), 1000u * 3u);   // "00" and a separator per byte
}

TEST_F(OrvacliProgram, APlcSideErrorExitsWithTwoAndSaysSo) {
    sim.setBlockWords(AreaCode::dataBlock, 9, 0);  // DB 9 does not exist
    ProgramResult r = cli({simAddress, "read", "DB9", "0", "4", "--words"});
    EXPECT_EQ(r.exitStatus, exitPlcError);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("the PLC refused: data block missing, or the range runs past the end of the area "
                         "(ORVA_ERR_PLC, result 2)"),
              std::string::npos)
        << r.err;

    sim.armReplyFault({orvasim::ReplyFaultKind::errorByte, 5});
    r = cli({simAddress, "write", "M", "0", "1"});
    EXPECT_EQ(r.exitStatus, exitPlcError) << r.err;
}

TEST_F(OrvacliProgram, ConnectionFailuresExitWithThreeAndNameTheSocketError) {
    ProgramResult r = cli({silentAddress, "read", "M", "0", "4"});
    EXPECT_EQ(r.exitStatus, exitConnectionFailure);
    EXPECT_NE(
        r.err.find(
            "failed: socket error 10061 (WSAECONNREFUSED): connection refused: nothing listens on port 102 at that "
            "address (ORVA_ERR_SOCKET, result -7)"),
        std::string::npos)
        << r.err;

    r = cli({silentAddress, "read", "M", "0", "4", "--json"});
    EXPECT_EQ(r.exitStatus, exitConnectionFailure);
    EXPECT_NE(r.out.find("\"ok\":false,\"result\":-7"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"socket_error\":10061"), std::string::npos) << r.out;

    // The adapter accepts but never answers: the receive time-out ends it.
    sim.armReplyFault({orvasim::ReplyFaultKind::silence});
    r = cli({simAddress, "read", "M", "0", "4", "--receive-timeout", "300"});
    EXPECT_EQ(r.exitStatus, exitConnectionFailure);
    EXPECT_NE(r.err.find("socket error 10060 (WSAETIMEDOUT): timed out: no answer within the receive or send time-out "
                         "(ORVA_ERR_SOCKET, result -7)"),
              std::string::npos)
        << r.err;

    sim.armReplyFault({orvasim::ReplyFaultKind::resetBeforeReply});
    r = cli({simAddress, "write", "A", "0", "1", "2"});
    EXPECT_EQ(r.exitStatus, exitConnectionFailure);
    EXPECT_NE(r.err.find("writing 2 bytes to AB0..AB1 at 127.0.0.40 failed"), std::string::npos) << r.err;
}

TEST_F(OrvacliProgram, BadUsageExitsWith64BeforeAnyTraffic) {
    const std::vector<std::vector<std::string>> bad = {
        {simAddress, "read", "DB5", "0", "10"},          // data blocks need --words
        {simAddress, "read", "T", "0", "1", "--bytes"},  // so do timers
        {simAddress, "write", "E", "0", "1"},            // inputs cannot be written
        {simAddress, "write", "I", "0", "1", "-w"},
        {simAddress, "write", "M", "0", "256"},              // not a byte
        {simAddress, "write", "DB5", "0", "0x10000", "-w"},  // not a word
        {simAddress, "read", "M", "65535", "2"},             // past the last address
        {simAddress, "read", "M", "0", "0"},                 // nothing to read
        {simAddress, "read", "DB256", "0", "1", "-w"},       // no such block number
        {simAddress, "read", "Q", "0", "1"},                 // no such area
        {simAddress, "read", "M", "0"},                      // count missing
        {simAddress, "read", "M", "0", "1", "--own-tsap", "NINECHARS"},
        {simAddress, "read", "M", "0", "1", "--timeout", "-5"},
        {simAddress, "read", "M", "0", "1", "--frobnicate"},
        {"127.0.0.400", "read", "M", "0", "1"},
        {"localhost", "read", "M", "0", "1"},
        {},
    };
    for (const auto& args : bad) {
        const ProgramResult r = cli(args);
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_EQ(r.exitStatus, exitUsage) << line;
        EXPECT_EQ(r.err.rfind("orvacli: ", 0), 0u) << line << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << line;
        EXPECT_EQ(r.out, "") << line;
    }
    EXPECT_EQ(sim.connectionsAccepted(), 0);
}

TEST_F(OrvacliProgram, RepeatPollsAndCountsTheFailures) {
    sim.writeBytes(AreaCode::flags, 0, 0, {7});
    sim.armReplyFault({orvasim::ReplyFaultKind::delayReply, 0, 0});  // round 1: fine
    sim.armReplyFault({orvasim::ReplyFaultKind::errorByte, 5});      // round 2: refused
    const ProgramResult r = cli({simAddress, "read", "M", "0", "1", "--repeat", "3", "--interval", "10"});
    EXPECT_EQ(r.exitStatus, exitPlcError);
    EXPECT_EQ(r.out,
              "round 1\nAddress  Decimal  Hex  ASCII\nMB0            7   07\n"
              "round 3\nAddress  Decimal  Hex  ASCII\nMB0            7   07\n");
    EXPECT_NE(r.err.find("(ORVA_ERR_PLC, result 2)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("orvacli: 3 rounds, 1 failed\n"), std::string::npos) << r.err;
    EXPECT_EQ(sim.requests().size(), 3u);
}

TEST_F(OrvacliProgram, RepeatUntilInterruptedStopsOnCtrlCWithASummary) {
    orvatest::RunningProgram cli(ORVACLI_PROGRAM,
                                 {simAddress, "read", "M", "0", "1", "--hex", "--repeat", "0", "--interval", "20"});
    ASSERT_TRUE(cli.waitForOutput("00\n00\n", 10000)) << cli.err();
    cli.signal(SIGINT);
    EXPECT_EQ(cli.wait(10000), exitSuccess) << cli.err();
    EXPECT_NE(cli.err().find(" rounds, 0 failed\n"), std::string::npos) << cli.err();
}

// --- get and set -----------------------------------------------------------------

TEST_F(OrvacliProgram, GetPrintsALinePerVariableInEveryFormatWithTheFewestCalls) {
    sim.writeBytes(AreaCode::dataBlock, 10, 60, {0x04, 0x62, 0xC3, 0xEF});  // DD30: KG 12.34567
    sim.writeBytes(AreaCode::dataBlock, 10, 8, {0x21, 0x27});               // DW4: KT 127 x 1 s
    sim.writeBytes(AreaCode::dataBlock, 10, 40, {'H', 'e', 'l', 'l', 'o'});
    sim.writeBytes(AreaCode::dataBlock, 10, 80, {0xDE, 0xAD, 0xBE, 0xEF});
    sim.writeBytes(AreaCode::flags, 0, 20, {0xFF, 0xF9, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x41, 0x42, 0xC8, 0x80});
    sim.writeWord(AreaCode::counters, 0, 5, 0x0123);
    sim.writeWord(AreaCode::timers, 0, 3, 0x0150);
    const ProgramResult r =
        cli({simAddress, "get", "DB10.DD30:KG", "MW20:KF", "MW22:KH", "MW24:KM", "MW26:KY", "MW28:KC", "DB10.DW4:KT",
             "Z5:KZ", "DB10.DD40:DH", "DB10.DW20:KS5", "MB30", "M31.7", "T3", "T3:KT", "mw 20"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out,
              "DB10.DD30:KG = 12.34567\n"
              "MW20:KF = -7\n"
              "MW22:KH = 1234\n"
              "MW24:KM = 00010010 00110100\n"
              "MW26:KY = 18,52\n"
              "MW28:KC = AB\n"
              "DB10.DW4:KT = 127s\n"
              "Z5:KZ = 123\n"
              "DB10.DD40:DH = DEADBEEF\n"
              "DB10.DW20:KS5 = Hello\n"
              "MB30 = 200\n"
              "M31.7 = true\n"
              "T3 = 336\n"
              "T3:KT = 1.5s\n"
              "MW20 = 65529\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(sim.requests().size(), 4u) << "one call each for DB 10 (its ranges lie within 32 bytes), M, T and Z";
}

TEST_F(OrvacliProgram, GetWithJsonPrintsOneObject) {
    sim.writeBytes(AreaCode::dataBlock, 10, 60, {0x04, 0x62, 0xC3, 0xEF});
    EXPECT_EQ(succeeded({simAddress, "get", "DB10.DD30:KG", "M0.1", "--json"}),
              "{\"DB10.DD30:KG\":{\"value\":12.345670700073242,\"text\":\"12.34567\"},"
              "\"M0.1\":{\"value\":false,\"text\":\"false\"}}\n");
}

TEST_F(OrvacliProgram, EachVariableCarriesItsOwnFailureAndTheFirstSetsTheExitStatus) {
    sim.setBlockWords(AreaCode::dataBlock, 9, 0);  // DB 9 does not exist
    sim.writeBytes(AreaCode::flags, 0, 0, {7});
    ProgramResult r = cli({simAddress, "get", "MB0", "DB9.DW0", "DB9.DD2:KG"});
    EXPECT_EQ(r.exitStatus, exitPlcError);
    EXPECT_EQ(r.out, "MB0 = 7\n");
    const std::string refused =
        " at 127.0.0.40 failed: the PLC refused: data block missing, or the range runs past the end of the area "
        "(ORVA_ERR_PLC, result 2)\n";
    EXPECT_EQ(r.err, "orvacli: reading DB9.DW0" + refused + "orvacli: reading DB9.DD2:KG" + refused);

    r = cli({simAddress, "get", "MB0", "DB9.DW0", "--json"});
    EXPECT_EQ(r.exitStatus, exitPlcError);
    EXPECT_NE(r.out.find("\"DB9.DW0\":{\"error\":{\"name\":\"ORVA_ERR_PLC\",\"code\":2,\"socket_error\":0,"),
              std::string::npos)
        << r.out;

    // A value the PLC holds that no BCD reads: that variable fails on its own.
    sim.writeBytes(AreaCode::dataBlock, 10, 8, {0x00, 0xAF});
    r = cli({simAddress, "get", "DB10.DW4:KT", "DB10.DW4"});
    EXPECT_EQ(r.exitStatus, exitOtherFailure);
    EXPECT_EQ(r.out, "DB10.DW4 = 175\n");
    EXPECT_EQ(r.err,
              "orvacli: reading DB10.DW4:KT at 127.0.0.40 failed: invalid value: a BCD digit above 9 "
              "(ORVAVARS_ERR_INVALID_BCD, result -120)\n");

    // The connection lost on the first call: the rest are not tried, each says so.
    sim.armReplyFault({orvasim::ReplyFaultKind::silence});
    r = cli({simAddress, "get", "DB10.DW0", "MW0", "--receive-timeout", "200"});
    EXPECT_EQ(r.exitStatus, exitConnectionFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("orvacli: reading DB10.DW0 at 127.0.0.40 failed: socket error 10060 (WSAETIMEDOUT)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("orvacli: reading MW0 at 127.0.0.40 failed: not tried: an earlier call of the list lost the "
                         "connection (ORVAVARS_ERR_NOT_TRIED, result -132)"),
              std::string::npos)
        << r.err;

    r = cli({silentAddress, "set", "MW0=1"});
    EXPECT_EQ(r.exitStatus, exitConnectionFailure);
    EXPECT_EQ(r.err,
              "orvacli: writing MW0 at 127.0.0.41 failed: socket error 10061 (WSAECONNREFUSED): connection refused: "
              "nothing listens on port 102 at that address (ORVA_ERR_SOCKET, result -7)\n");
}

TEST_F(OrvacliProgram, SetWritesWhatTheAdapterStoresInTheFewestCalls) {
    sim.writeBytes(AreaCode::flags, 0, 20, {0x81});
    ProgramResult r =
        cli({simAddress, "set", "DB10.DD30:KG=12.5", "DB10.DW32:KF=-2", "M20.3=1", "T3:KT=1.5s", "DB10.DW40:KS3=AB"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out, "DB10.DD30:KG = 12.5\nDB10.DW32:KF = -2\nM20.3 = true\nT3:KT = 1.5s\nDB10.DW40:KS3 = AB \n");
    EXPECT_EQ(sim.readBytes(AreaCode::dataBlock, 10, 60, 6), (std::vector<std::uint8_t>{0x04, 0x64, 0, 0, 0xFF, 0xFE}));
    EXPECT_EQ(sim.readBytes(AreaCode::flags, 0, 20, 1), std::vector<std::uint8_t>{0x89}) << "the other bits kept";
    EXPECT_EQ(sim.readWord(AreaCode::timers, 0, 3), 0x0150);
    EXPECT_EQ(sim.readBytes(AreaCode::dataBlock, 10, 80, 4), (std::vector<std::uint8_t>{'A', 'B', ' ', 0}))
        << "the word's other byte read and written back";
    // DD30 and DW32 touch: one write; M20.3 and DW40's right byte: a read and a write each; T3 one.
    EXPECT_EQ(sim.requests().size(), 6u);

    r = cli({simAddress, "set", "M20.3=0", "--json"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out, "{\"M20.3\":{\"value\":false,\"text\":\"false\"}}\n");
    EXPECT_EQ(sim.readBytes(AreaCode::flags, 0, 20, 1), std::vector<std::uint8_t>{0x81});
}

TEST_F(OrvacliProgram, ARefusedVariableOrValueExitsWith64BeforeAnyTraffic) {
    ProgramResult r = cli({simAddress, "get", "MW10", "MW10:KQ"});
    EXPECT_EQ(r.exitStatus, exitUsage);
    EXPECT_EQ(r.err,
              "orvacli: MW10:KQ: unknown format \"KQ\" at 6; one of KF KH KM KY KC KT KZ KG DH KS\n"
              "Try 'orvacli --help' for more information.\n");
    r = cli({simAddress, "set", "MW10=1", "DB10.DW4:KT=12.345s"});
    EXPECT_EQ(r.exitStatus, exitUsage);
    EXPECT_NE(r.err.find("orvacli: DB10.DW4:KT=12.345s: 12.345s is no whole number of 0.1s"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(sim.connectionsAccepted(), 0);
}

TEST(OrvacliHelp, DocumentsEveryOptionAndExitStatus) {
    const ProgramResult r = runProgram(ORVACLI_PROGRAM, {"--help"});
    EXPECT_EQ(r.exitStatus, exitSuccess);
    for (const char* word : {"--bytes",
                             "--words",
                             "--own-tsap",
                             "--plc-tsap",
                             "--receive-timeout",
                             "--send-timeout",
                             "--connect-timeout",
                             "--timeout",
                             "--format",
                             "--hex",
                             "--json",
                             "--repeat",
                             "--interval",
                             "--version",
                             "DB<n>",
                             "DX<n>",
                             "get VARIABLE...",
                             "set VARIABLE=VALUE...",
                             "DB10.DD30:KG",
                             "  64 ",
                             "  3 ",
                             "  2 "}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
}

}  // namespace
