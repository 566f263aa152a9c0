// orvasim: runs the adapter simulator from the command line until SIGINT or SIGTERM.
#include "control_channel.h"
#include "sim_server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <pthread.h>
#include <string>
#include <utility>
#include <vector>

namespace {

const char usage[] =
    "usage: orvasim [--address A] [--port P] [--verbose] [--block D5=65535]... [--control A:P] [--help]\n"
    "  Simulates the network adapter of an S5 PLC: ISO transport on TCP (RFC 1006)\n"
    "  with S5 fetch/write telegrams, served from memory.\n"
    "  --address A   IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port P      TCP port (default 102; 0 picks a free one)\n"
    "  --verbose     one line on stderr for every telegram received and sent\n"
    "  --block XN=W  size of data block N (0..255) of area D or X in words (0..65535;\n"
    "                0 removes the block); repeatable. Default: 2048 words each\n"
    "  --control A:P also serve the control channel (faults, record, memory; one\n"
    "                text line per request) on IPv4 address A, TCP port P\n"
    "  --help        this text\n"
    "Prints \"orvasim: listening on <address>:<port>\" once it listens.\n";

struct BlockSize {
    orva::wire::AreaCode area;
    int block;
    int words;
};

std::optional<long> parseNumber(const std::string& text, long low, long high) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6)
        return std::nullopt;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < low || v > high) return std::nullopt;
    return v;
}

// "D5=65535" or "x7=0".
std::optional<BlockSize> parseBlock(const std::string& text) {
    if (text.empty()) return std::nullopt;
    BlockSize b{};
    switch (text[0]) {
    case 'D': case 'd': b.area = orva::wire::AreaCode::dataBlock; break;
    case 'X': case 'x': b.area = orva::wire::AreaCode::extendedDataBlock; break;
    default: return std::nullopt;
    }
    auto eq = text.find('=');
    if (eq == std::string::npos) return std::nullopt;
    auto block = parseNumber(text.substr(1, eq - 1), 0, 255);
    auto words = parseNumber(text.substr(eq + 1), 0, 65535);
    if (!block || !words) return std::nullopt;
    b.block = static_cast<int>(*block);
    b.words = static_cast<int>(*words);
    return b;
}

// "127.0.0.50:7050" into its address and port.
std::optional<std::pair<std::string, std::uint16_t>> parseEndpoint(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    auto port = parseNumber(text.substr(colon + 1), 0, 65535);
    if (!port) return std::nullopt;
    return std::make_pair(text.substr(0, colon), static_cast<std::uint16_t>(*port));
}

int badOption(const std::string& message) {
    std::fprintf(stderr, "orvasim: %s\n%s", message.c_str(), usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    orvasim::Options options;
    std::vector<BlockSize> blocks;
    std::optional<std::pair<std::string, std::uint16_t>> control;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--verbose" || arg == "-v") {
            if (hasValue) return badOption("--verbose takes no value");
            options.verbose = true;
        } else if (arg == "--address") {
            if (!takeValue() || value.empty()) return badOption("--address needs an IPv4 address");
            options.address = value;
        } else if (arg == "--port") {
            if (!takeValue()) return badOption("--port needs a number");
            auto port = parseNumber(value, 0, 65535);
            if (!port) return badOption("bad port: " + value);
            options.port = static_cast<std::uint16_t>(*port);
        } else if (arg == "--block") {
            if (!takeValue()) return badOption("--block needs a value such as D5=65535");
            auto block = parseBlock(value);
            if (!block) return badOption("bad block size (expected D<0..255>=<0..65535> or X...): " + value);
            blocks.push_back(*block);
        } else if (arg == "--control") {
            if (!takeValue() || !(control = parseEndpoint(value)))
                return badOption("--control needs an address and a port such as 127.0.0.50:7050");
        } else {
            return badOption("unknown option: " + std::string(argv[i]));
        }
    }

    // Block the two signals in every thread; the main thread takes them with sigwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    orvasim::Server server(options);
    for (const auto& b : blocks) server.setBlockWords(b.area, b.block, b.words);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "orvasim: cannot listen on %s:%u: %s\n", options.address.c_str(), options.port,
                     error.c_str());
        return 1;
    }
    // Ready before the listening line, which tells scripts that all of it is up.
    std::optional<orvasim::ControlChannel> channel;
    if (control) {
        channel.emplace(server, control->first, control->second);
        if (!channel->start(&error)) {
            std::fprintf(stderr, "orvasim: cannot serve the control channel on %s:%u: %s\n",
                         control->first.c_str(), control->second, error.c_str());
            return 1;
        }
        std::printf("orvasim: control on %s:%u\n", control->first.c_str(), channel->port());
        std::fflush(stdout);
    }

    std::printf("orvasim: listening on %s:%u\n", options.address.c_str(), server.port());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    if (options.verbose) std::fprintf(stderr, "orvasim: %s, stopping\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    if (channel) channel->stop();
    server.stop();
    return 0;
}
