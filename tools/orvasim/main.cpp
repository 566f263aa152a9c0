// SPDX-License-Identifier: Apache-2.0
// orvasim: runs the adapter simulator from the command line until SIGINT or SIGTERM.
#include "control_channel.h"
#include "sim_faults.h"
#include "sim_server.h"
#include "command_line.h"
#include "notation.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <optional>
#include <pthread.h>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace w = orva::wire;

// Exit statuses.
constexpr int exitSuccess = 0;
constexpr int exitCannotServe = 1;
constexpr int exitUsage = 64;

std::string helpText() {
    std::string text =
        "Usage: orvasim [--address A] [--port P] [--block DB5=WORDS]... [--control A:P] [--verbose]\n"
        "       orvasim --help | --version\n"
        "\n"
        "Simulates the network adapter of an S5 PLC: ISO transport on TCP (RFC 1006)\n"
        "with S5 fetch/write telegrams, served from memory: inputs E, outputs A and\n"
        "flags M of 65536 bytes each, timers T and counters Z of 65536 words each,\n"
        "data blocks DB0..DB255 and DX0..DX255 of 2048 words each.\n"
        "\n"
        "  --address A       IPv4 address to listen on (default 127.0.0.1)\n"
        "  --port P          TCP port (default 102; 0 picks a free one)\n"
        "  --block DB5=N     data block 5 gets N words (0..65535; 0: it does not\n"
        "                    exist); also D5=N, DX7=N, X7=N, either case; repeatable\n"
        "  --control A:P     also serve the control channel (faults, record, memory;\n"
        "                    one text line per request) on IPv4 address A, port P\n"
        "  -v, --verbose     one line on stderr for every telegram received and sent\n"
        "  -h, --help        this text\n"
        "  -V, --version     the version\n"
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
        "Exit status:\n"
        "  0   stopped by SIGINT or SIGTERM (also after --help, --version)\n"
        "  1   cannot listen (address in use, not an address of this machine)\n"
        "  64  bad usage: it did not start\n";
    return text;
}

struct UsageError {
    std::string message;
};

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
    const auto spelled = orva::notation::readArea(name, error, orva::notation::blockAreas);
    if (!spelled) throw UsageError{"--block " + text + ": " + error};
    if (!orva::notation::isBlockArea(spelled->area))
        throw UsageError{"--block " + text + ": '" + name + "' is not a data block: use " +
                         std::string(orva::notation::blockAreas)};
    if (!spelled->block)
        throw UsageError{"--block " + text + ": the data block needs its number, as in " +
                         orva::notation::areaText(spelled->area, 5) + "=65535"};
    const auto words = orva::notation::readNumber(text.substr(eq + 1), 0, 65535, "block size", error);
    if (!words) throw UsageError{"--block " + text + ": " + error};
    return {spelled->area, *spelled->block, static_cast<int>(*words)};
}

// "127.0.0.50:7050" into its address and port.
std::pair<std::string, std::uint16_t> parseEndpoint(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError{"--control " + text + ": use ADDRESS:PORT, as in 127.0.0.50:7050"};
    std::string error;
    const auto port = orva::notation::readNumber(text.substr(colon + 1), 0, 65535, "control port", error);
    if (!port) throw UsageError{"--control " + text + ": " + error};
    return {text.substr(0, colon), static_cast<std::uint16_t>(*port)};
}

enum class Action { serve, help, version };

struct CommandLine {
    Action action = Action::serve;
    orvasim::Options options;
    // The last size given for each block, in the order of area code and block.
    std::map<std::pair<w::AreaCode, int>, int> blocks;
    std::optional<std::pair<std::string, std::uint16_t>> control;
};

CommandLine parse(int argc, char** argv) {
    CommandLine c;
    orva::notation::ArgumentReader reader({argv + 1, argv + argc});
    std::string error;
    auto value = [&] {
        const auto given = reader.value(error);
        if (!given) throw UsageError{error};
        return *given;
    };
    auto flag = [&] {
        if (!reader.noValue(error)) throw UsageError{error};
    };
    while (!reader.done()) {
        if (!reader.next()) throw UsageError{"unexpected argument '" + reader.operand() + "'"};
        const std::string& name = reader.name();
        if (reader.isHelp() || reader.isVersion()) {
            c.action = reader.isHelp() ? Action::help : Action::version;
            return c;
        }
        if (name == "-v" || name == "--verbose") {
            flag();
            c.options.verbose = true;
        } else if (name == "--address") {
            c.options.address = value();
            if (c.options.address.empty()) throw UsageError{"option --address needs an IPv4 address"};
        } else if (name == "--port") {
            const auto port = orva::notation::readNumber(value(), 0, 65535, "port", error);
            if (!port) throw UsageError{error};
            c.options.port = static_cast<std::uint16_t>(*port);
        } else if (name == "--block") {
            const BlockSize b = parseBlock(value());
            c.blocks[{b.area, b.block}] = b.words;
        } else if (name == "--control") {
            c.control = parseEndpoint(value());
        } else {
            throw UsageError{"unknown option '" + name + "'"};
        }
    }
    return c;
}

// " (DB5 65535 words, DX7 removed)" for the blocks resized, or nothing.
std::string blocksText(const CommandLine& c) {
    std::string text;
    for (const auto& [where, words] : c.blocks) {
        text += text.empty() ? " (" : ", ";
        text += orva::notation::areaText(where.first, where.second);
        text += words == 0 ? " removed" : " " + std::to_string(words) + " words";
    }
    return text.empty() ? text : text + ")";
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine c;
    try {
        c = parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "orvasim: %s\nTry 'orvasim --help' for more information.\n", e.message.c_str());
        return exitUsage;
    }
    if (c.action == Action::help) {
        std::fputs(helpText().c_str(), stdout);
        return exitSuccess;
    }
    if (c.action == Action::version) {
        std::fputs("orvasim " ORVA_VERSION "\n", stdout);
        return exitSuccess;
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
