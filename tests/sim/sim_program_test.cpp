// SPDX-License-Identifier: Apache-2.0
// The orvasim program: options, its listening line, exit statuses. Runs it on 127.0.0.21.
#include "loopback_addresses.h"
#include "raw_client.h"
#include "running_program.h"
#include "sim_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

using namespace simtest;

namespace {

const std::string address = orvatest::address::simProgramSim;

// One run of the program.
class Program : public orvatest::RunningProgram {
public:
    explicit Program(const std::vector<std::string>& args) : RunningProgram(ORVASIM_PROGRAM, args) {}

    // The first line on stdout (without its newline), waiting at most timeoutMs.
    std::string firstLine(int timeoutMs = 5000) {
        waitForOutput("\n", timeoutMs);
        return out().substr(0, out().find('\n'));
    }
};

std::uint16_t portOf(const std::string& line) {
    return static_cast<std::uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
}

TEST(SimProgram, PrintsItsLineServesAndExitsOnSigterm) {
    // Blocks in the spellings of every tool; the last size given for a block counts.
    Program p({"--address", address, "--port", "0", "--block", "d5=0", "--block=DX7=65535", "--block", "Db9=0x10",
               "--block", "x8=0", "--block", "X8=2"});
    std::string line = p.firstLine();
    ASSERT_EQ(line.rfind("orvasim: listening on " + address + ":", 0), 0u) << line;
    EXPECT_TRUE(line.ends_with(" (DB5 removed, DB9 16 words, DX7 65535 words, DX8 2 words)")) << line;
    std::uint16_t port = portOf(line);
    ASSERT_NE(port, 0);

    RawClient c;
    ASSERT_TRUE(c.connect(address, port));
    EXPECT_EQ(c.connectTransport().size(), 18u);
    EXPECT_EQ(c.exchange(fetchRequest(1, 5, 0, 1)), expectedReply(0x06, 2));
    EXPECT_EQ(c.exchange(fetchRequest(10, 7, 65534, 1)), expectedReply(0x06, 0, {0, 0}));
    EXPECT_EQ(c.exchange(fetchRequest(1, 9, 15, 1)), expectedReply(0x06, 0, {0, 0}));
    EXPECT_EQ(c.exchange(fetchRequest(1, 9, 16, 1)), expectedReply(0x06, 3));
    EXPECT_EQ(c.exchange(fetchRequest(10, 8, 1, 1)), expectedReply(0x06, 0, {0, 0}));
    EXPECT_EQ(c.exchange(fetchRequest(1, 4, 0, 1)), expectedReply(0x06, 0, {0, 0}));

    p.signal(SIGTERM);  // with a connection still open
    EXPECT_EQ(p.wait(), 0);
    EXPECT_EQ(p.out(), line + "\n");  // exactly one line
}

TEST(SimProgram, ExitsOnSigintAndTracesWhenVerbose) {
    Program p({"--verbose", "--address", address, "--port", "0x0"});
    std::string line = p.firstLine();
    ASSERT_FALSE(line.empty());
    RawClient c;
    ASSERT_TRUE(c.connect(address, portOf(line)));
    EXPECT_EQ(c.connectTransport().size(), 18u);
    EXPECT_EQ(c.exchange(writeRequest(2, 0, 12, 2, {1, 2})), expectedReply(0x04, 0));
    EXPECT_EQ(c.exchange(fetchRequest(10, 7, 3, 1)), expectedReply(0x06, 0, {0, 0}));
    c.closeAbortive();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    p.signal(SIGINT);
    EXPECT_EQ(p.wait(), 0);
    std::string trace = p.err();
    EXPECT_NE(trace.find("<- CR"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> CC"), std::string::npos) << trace;
    EXPECT_NE(trace.find("<- DT write M start 12 length 2"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> DT write ack"), std::string::npos) << trace;
    EXPECT_NE(trace.find("error 0"), std::string::npos) << trace;
    EXPECT_NE(trace.find("(fetch DX7 start 3 length 1)"), std::string::npos) << trace;
    EXPECT_NE(trace.find("reset by the client"), std::string::npos) << trace;
}

// Bad usage: status 64, and on stderr the line that says what is wrong, then
// only the pointer to --help.
TEST(SimProgram, BadUsageExitsWith64SayingWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> bad = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--port"}, "option --port needs a value"},
        {{"--port", "x"}, "port 'x' is not a number (decimal, 0x hex or 0b binary)"},
        {{"--port", "70000"}, "port 70000 is out of range (0..65535)"},
        {{"--port", "-1"}, "port -1 is out of range (0..65535)"},
        {{"--port", "0x1G"}, "port '0x1G' is not a number (decimal, 0x hex or 0b binary)"},
        {{"--block", "Q1=2"}, "unknown area 'Q1'"},
        {{"--block", "M=2"}, "'M' is not a data block"},
        {{"--block", "DB=2"}, "the data block needs its number, as in DB5=65535"},
        {{"--block", "D256=1"}, "block number 256 is out of range (0..255)"},
        {{"--block", "dx1=65536"}, "block size 65536 is out of range (0..65535)"},
        {{"--block", "D1"}, "use DB<n>=WORDS"},
        {{"--control", "127.0.0.1:port"}, "control port 'port' is not a number (decimal, 0x hex or 0b binary)"},
        {{"--verbose=yes"}, "option --verbose takes no value"},
        {{"--set", "MW10:KQ=1"}, "--set MW10:KQ=1: unknown format \"KQ\" at 6; one of KF KH KM KY KC KT KZ KG DH KS"},
        {{"--set", "M10.3"}, "--set M10.3: expected \"=\" and a value at 6; as in M10.3=1"},
        {{"--set", "MW10:KF=40000"}, "--set MW10:KF=40000: 40000 does not fit MW10:KF (-32768..32767)"},
        {{"--block", "DB5=100", "--set", "DB5.DW100=1"},
         "--set DB5.DW100=1: DB5.DW100 lies outside DB5, which has 100 words"},
    };
    for (const Case& c : bad) {
        Program p(c.args);
        EXPECT_EQ(p.wait(), 64) << c.args[0];
        const std::string errors = p.err();
        const std::string first = errors.substr(0, errors.find('\n'));
        EXPECT_EQ(first.rfind("orvasim: ", 0), 0u) << errors;
        EXPECT_NE(first.find(c.says), std::string::npos) << errors;
        EXPECT_EQ(errors.substr(first.size()), "\nTry 'orvasim --help' for more information.\n");
    }
}

TEST(SimProgram, HelpListsEveryFaultAndExitsWithZero) {
    Program p({"--help"});
    EXPECT_EQ(p.wait(), 0);
    const std::string help = p.out();
    EXPECT_NE(help.find("--block DB5="), std::string::npos) << help;
    EXPECT_NE(help.find("--set VAR=VALUE"), std::string::npos) << help;
    EXPECT_NE(help.find("set VARIABLE=VALUE, show VARIABLE"), std::string::npos) << help;
    for (const orvasim::FaultEntry& f : orvasim::faultTable)
        EXPECT_NE(help.find("    " + std::string(f.name) + " "), std::string::npos) << f.name;
}

TEST(SimProgram, VersionIsTheProjects) {
    Program p({"--version"});
    EXPECT_EQ(p.wait(), 0);
    EXPECT_EQ(p.out(), "orvasim " ORVA_VERSION "\n");
}

TEST(SimProgram, BindFailureExitsWithOne) {
    orvasim::Options o;
    o.address = address;
    o.port = 0;
    orvasim::Server holder(o);
    ASSERT_TRUE(holder.start());
    Program p({"--address", address, "--port", std::to_string(holder.port())});
    EXPECT_EQ(p.wait(), 1);
    EXPECT_NE(p.err().find("cannot listen"), std::string::npos);
    Program q({"--address", "300.1.2.3", "--port", "0"});
    EXPECT_EQ(q.wait(), 1);
}

}  // namespace
