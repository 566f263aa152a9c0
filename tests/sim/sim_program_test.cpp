// SPDX-License-Identifier: Apache-2.0
// The orvasim program: options, its listening line, exit statuses. Runs it on 127.0.0.21.
#include "raw_client.h"
#include "sim_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include "loopback_addresses.h"

using namespace simtest;

namespace {

const std::string address = orvatest::address::simProgramSim;

// One run of the program with its stdout and stderr in pipes.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            std::vector<char*> argv;
            std::string program = ORVASIM_PROGRAM;
            argv.push_back(program.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        stdoutFd = out[0];
        stderrFd = err[0];
    }

    ~Program() {
        if (pid > 0 && !exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (stdoutFd >= 0) ::close(stdoutFd);
        if (stderrFd >= 0) ::close(stderrFd);
    }

    // The first line on stdout (without its newline), waiting at most timeoutMs.
    std::string firstLine(int timeoutMs = 5000) {
        std::string line;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (line.find('\n') == std::string::npos) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
            pollfd p{stdoutFd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            char c[256];
            ssize_t n = ::read(stdoutFd, c, sizeof c);
            if (n <= 0) break;
            line.append(c, static_cast<std::size_t>(n));
        }
        rest = line.substr(line.find('\n') == std::string::npos ? line.size() : line.find('\n') + 1);
        return line.substr(0, line.find('\n'));
    }

    // Waits for the exit; the exit code, or -1 when it did not exit in time or by a signal.
    int wait(int timeoutMs = 5000) {
        for (int waited = 0; waited <= timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    static std::string drain(int fd) {
        std::string text;
        char c[4096];
        ssize_t n;
        while ((n = ::read(fd, c, sizeof c)) > 0) text.append(c, static_cast<std::size_t>(n));
        return text;
    }
    // After the exit: the rest of stdout and all of stderr.
    std::string remainingStdout() { return rest + drain(stdoutFd); }
    std::string errors() { return drain(stderrFd); }
    void signal(int s) { ::kill(pid, s); }

private:
    pid_t pid = -1;
    bool exited = false;
    int stdoutFd = -1, stderrFd = -1;
    std::string rest;
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
    EXPECT_EQ(p.remainingStdout(), "");  // exactly one line
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
    std::string trace = p.errors();
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
    };
    for (const Case& c : bad) {
        Program p(c.args);
        EXPECT_EQ(p.wait(), 64) << c.args[0];
        const std::string errors = p.errors();
        const std::string first = errors.substr(0, errors.find('\n'));
        EXPECT_EQ(first.rfind("orvasim: ", 0), 0u) << errors;
        EXPECT_NE(first.find(c.says), std::string::npos) << errors;
        EXPECT_EQ(errors.substr(first.size()), "\nTry 'orvasim --help' for more information.\n");
    }
}

TEST(SimProgram, HelpListsEveryFaultAndExitsWithZero) {
    Program p({"--help"});
    EXPECT_EQ(p.wait(), 0);
    const std::string help = p.remainingStdout();
    EXPECT_NE(help.find("--block DB5="), std::string::npos) << help;
    for (const orvasim::FaultEntry& f : orvasim::faultTable)
        EXPECT_NE(help.find("    " + std::string(f.name) + " "), std::string::npos) << f.name;
}

TEST(SimProgram, VersionIsTheProjects) {
    Program p({"--version"});
    EXPECT_EQ(p.wait(), 0);
    EXPECT_EQ(p.remainingStdout(), "orvasim " ORVA_VERSION "\n");
}

TEST(SimProgram, BindFailureExitsWithOne) {
    orvasim::Options o;
    o.address = address;
    o.port = 0;
    orvasim::Server holder(o);
    ASSERT_TRUE(holder.start());
    Program p({"--address", address, "--port", std::to_string(holder.port())});
    EXPECT_EQ(p.wait(), 1);
    EXPECT_NE(p.errors().find("cannot listen"), std::string::npos);
    Program q({"--address", "300.1.2.3", "--port", "0"});
    EXPECT_EQ(q.wait(), 1);
}

}  // namespace
