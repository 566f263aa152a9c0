// SPDX-License-Identifier: Apache-2.0
// orvacli as a user runs it: against the adapter simulator on 127.0.0.40, and
// against 127.0.0.41 where nothing listens. Checks what it prints, what reaches
// the adapter and its exit status.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
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
    const ProgramResult r = cli({simAddress, "read", "DX9", "4", "2", "--words", "--format", "json"});
    EXPECT_EQ(r.exitStatus, exitSuccess) << r.err;
    EXPECT_EQ(r.out,
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
    EXPECT_NE(r.err.find("the PLC refused: data block missing, or the range runs past the end of the area (result 2)"),
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
            "failed: socket error 10061: connection refused: nothing listens on port 102 at that address (result -7)"),
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
    EXPECT_NE(r.err.find("socket error 10060: timed out: no answer within the receive or send time-out (result -7)"),
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
    EXPECT_NE(r.err.find("(result 2)"), std::string::npos) << r.err;
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

TEST(OrvacliHelp, DocumentsEveryOptionAndExitStatus) {
    const ProgramResult r = runProgram(ORVACLI_PROGRAM, {"--help"});
    EXPECT_EQ(r.exitStatus, exitSuccess);
    for (const char* word : {"--bytes", "--words", "--own-tsap", "--plc-tsap", "--receive-timeout", "--send-timeout",
                             "--connect-timeout", "--timeout", "--format", "--hex", "--json", "--repeat", "--interval",
                             "--version", "DB<n>", "DX<n>", "  64 ", "  3 ", "  2 "}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
}

}  // namespace
