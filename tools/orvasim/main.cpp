// SPDX-License-Identifier: Apache-2.0
// orvasim: runs the adapter simulator from the command line until SIGINT or SIGTERM.
#include "control_channel.h"
#include "sim_faults.h"
#include "sim_server.h"
#include "sim_variables.h"
#include "command_line.h"
#include "notation.h"
#include "variable.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

namespace w = orva::wire;
using orva::command_line::UsageError;

// Exit statuses.
constexpr int exitSuccess = 0;
constexpr int exitCannotServe = 1;
constexpr int exitUsage = 64;

constexpr std::string_view intro =
    R"(Usage: orvasim [--address A] [--port P] [--block DB5=WORDS]... [--set VARIABLE=VALUE]...
               [--control A:P] [--verbose]
       orvasim --help | --version

Simulates the network adapter of an S5 PLC: ISO transport on TCP (RFC 1006)
with S5 fetch/write telegrams, served from memory: inputs E, outputs A and
flags M of 65536 bytes each, timers T and counters Z of 65536 words each,
data blocks DB0..DB255 and DX0..DX255 of 2048 words each.
)";

// After the options: the listening lines, the faults from their table, the exit statuses.
std::string outro() {
    std::string text =
        "Numbers are decimal or 0x hex.\n"
        "\n"
        "Prints \"orvasim: listening on A:P\" once it serves (with the blocks resized);\n"
        "before it \"orvasim: control on A:P\" with --control.\n"
        "\n"
        "Faults, armed through the control channel, each used once:\n";
    struct Phase {
        orvasim::FaultPhase phase;
        const char* heading;
    };
    for (const Phase& p :
         {Phase{orvasim::FaultPhase::confirm, "  fault confirm NAME [VALUE]        on the next connection request\n"},
          Phase{orvasim::FaultPhase::reply,
                "  fault reply NAME [VALUE [PAUSE]]  on the next fetch or write request\n"}}) {
        text += p.heading;
        for (const orvasim::FaultEntry& f : orvasim::faultTable) {
            if (f.phase() != p.phase) continue;
            std::string line = "    " + std::string(f.name);
            line.resize(32, ' ');
            text += line + std::string(f.effect) + "\n";
        }
    }
    text +=
        "\n"
        "Memory through the control channel, by bytes or by variable:\n"
        "  read AREA BLOCK OFFSET COUNT, write AREA BLOCK OFFSET HEX, blocksize DB<n> WORDS\n"
        "  set VARIABLE=VALUE, show VARIABLE    each answered with a line such as\n"
        "                                       \"DB5.DD30:KG = 12.5\"\n"
        "\n"
        "Exit status:\n"
        "  0   stopped by SIGINT or SIGTERM (also after --help, --version)\n"
        "  1   cannot listen (address in use, not an address of this machine)\n"
        "  64  bad usage: it did not start\n";
    return text;
}

// "DB5=65535", "x7=0": a data block and its size in words.
struct BlockSize {
    w::AreaCode area;
    int block;
    int words;
};

BlockSize parseBlock(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) throw UsageError{"--block " + text + ": use DB<n>=WORDS, as in DB5=65535"};
    const std::string name = text.substr(0, eq);
    std::string error;
    const auto spelled = orva::vars::readArea(name, error, orva::vars::blockAreas);
    if (!spelled) throw UsageError{"--block " + text + ": " + error};
    if (!orva::vars::isBlockArea(spelled->area))
        throw UsageError{"--block " + text + ": '" + name + "' is not a data block: use " +
                         std::string(orva::vars::blockAreas)};
    if (!spelled->block)
        throw UsageError{"--block " + text + ": the data block needs its number, as in " +
                         orva::vars::areaText(spelled->area, 5) + "=65535"};
    const auto words = orva::vars::readNumber(text.substr(eq + 1), 0, 65535, "block size", error);
    if (!words) throw UsageError{"--block " + text + ": " + error};
    return {spelled->area, *spelled->block, static_cast<int>(*words)};
}

// "127.0.0.50:7050" into its address and port.
std::pair<std::string, std::uint16_t> parseEndpoint(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError{"--control " + text + ": use ADDRESS:PORT, as in 127.0.0.50:7050"};
    std::string error;
    const auto port = orva::vars::readNumber(text.substr(colon + 1), 0, 65535, "control port", error);
    if (!port) throw UsageError{"--control " + text + ": " + error};
    return {text.substr(0, colon), static_cast<std::uint16_t>(*port)};
}

// What the command line asks for.
struct Settings {
    orvasim::Options options;
    // The last size given for each block, in the order of area code and block.
    std::map<std::pair<w::AreaCode, int>, int> blocks;
    std::optional<std::pair<std::string, std::uint16_t>> control;
    std::vector<std::string> sets;  // VARIABLE=VALUE, in order, after the blocks
};

// The command line of orvasim, its handlers writing into s.
std::unique_ptr<orva::command_line::CommandLine> commandLine(Settings& s) {
    auto cl = std::make_unique<orva::command_line::CommandLine>(std::string(intro), outro());
    cl->option("--address", "A", "IPv4 address to listen on (default 127.0.0.1)", [&s](const std::string& v) {
        if (v.empty()) throw UsageError{"option --address needs an IPv4 address"};
        s.options.address = v;
    });
    cl->option("--port", "P", "TCP port (default 102; 0 picks a free one)", [&s](const std::string& v) {
        s.options.port = static_cast<std::uint16_t>(orva::command_line::numberOrUsageError(v, 0, 65535, "port"));
    });
    cl->option("--block", "DB5=N",
               "data block 5 gets N words (0..65535; 0: it does not\n"
               "exist); also D5=N, DX7=N, X7=N, either case; repeatable",
               [&s](const std::string& v) {
                   const BlockSize b = parseBlock(v);
                   s.blocks[{b.area, b.block}] = b.words;
               });
    cl->option("--set", "VAR=VALUE",
               "the variable gets the value once the blocks exist, as in\n"
               "DB5.DD30:KG=12.5, M10.3=1, T3:KT=1.5s (the notation of\n"
               "docs/variables.md); repeatable, in order",
               [&s](const std::string& v) {
                   if (const auto parsed = orva::vars::parseAssignment(v);
                       const auto* e = std::get_if<orva::vars::ParseError>(&parsed))
                       throw UsageError{"--set " + v + ": " + e->message};
                   s.sets.push_back(v);
               });
    cl->option("--control", "A:P",
               "also serve the control channel (faults, record, memory;\n"
               "one text line per request) on IPv4 address A, port P",
               [&s](const std::string& v) { s.control = parseEndpoint(v); });
    cl->flag("-v,--verbose", "one line on stderr for every telegram received and sent",
             [&s] { s.options.verbose = true; });
    cl->helpFlag("-h,--help", "this text");
    cl->versionFlag("-V,--version", "the version");
    return cl;
}

// " (DB5 65535 words, DX7 removed)" for the blocks resized, or nothing.
std::string blocksText(const Settings& c) {
    std::string text;
    for (const auto& [where, words] : c.blocks) {
        text += text.empty() ? " (" : ", ";
        text += orva::vars::areaText(where.first, where.second);
        text += words == 0 ? " removed" : " " + std::to_string(words) + " words";
    }
    return text.empty() ? text : text + ")";
}

}  // namespace

int main(int argc, char** argv) {
    Settings c;
    const auto cl = commandLine(c);
    switch (cl->read({argv + 1, argv + argc})) {
    case orva::command_line::CommandLine::Outcome::help: std::fputs(cl->help().c_str(), stdout); return exitSuccess;
    case orva::command_line::CommandLine::Outcome::version:
        std::fputs("orvasim " ORVA_VERSION "\n", stdout);
        return exitSuccess;
    case orva::command_line::CommandLine::Outcome::usageError:
        std::fprintf(stderr, "orvasim: %s\nTry 'orvasim --help' for more information.\n", cl->error().c_str());
        return exitUsage;
    case orva::command_line::CommandLine::Outcome::run: break;
    }

    // Block the two signals in every thread; the main thread takes them with sigwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const orvasim::Options& options = c.options;
    orvasim::Server server(options);
    for (const auto& [where, words] : c.blocks) server.setBlockWords(where.first, where.second, words);
    for (const std::string& assignment : c.sets) {
        try {
            orvasim::setVariable(server, assignment);
        } catch (const orvasim::VariableError& e) {
            std::fprintf(stderr, "orvasim: --set %s: %s\nTry 'orvasim --help' for more information.\n",
                         assignment.c_str(), e.what());
            return exitUsage;
        }
    }
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "orvasim: cannot listen on %s:%u: %s\n", options.address.c_str(), options.port,
                     error.c_str());
        return exitCannotServe;
    }
    // Ready before the listening line, which tells scripts that all of it is up.
    std::optional<orvasim::ControlChannel> channel;
    if (c.control) {
        channel.emplace(server, c.control->first, c.control->second);
        if (!channel->start(&error)) {
            std::fprintf(stderr, "orvasim: cannot serve the control channel on %s:%u: %s\n", c.control->first.c_str(),
                         c.control->second, error.c_str());
            return exitCannotServe;
        }
        std::printf("orvasim: control on %s:%u\n", c.control->first.c_str(), channel->port());
        std::fflush(stdout);
    }

    std::printf("orvasim: listening on %s:%u%s\n", options.address.c_str(), server.port(), blocksText(c).c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    if (options.verbose) std::fprintf(stderr, "orvasim: %s, stopping\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    if (channel) channel->stop();
    server.stop();
    return exitSuccess;
}
