// SPDX-License-Identifier: Apache-2.0
// orvacli: read and write S5 PLC data areas from a shell, through liborvanet.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "format.h"
#include "options.h"
#include "orvanet.h"

namespace {

using namespace orvacli;

volatile std::sig_atomic_t interrupted = 0;

// The first Ctrl-C ends a repeated run after the current round; a second one
// ends the program at once.
extern "C" void onInterrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

// One library handle, closed when it goes out of scope.
class PlcHandle {
public:
    explicit PlcHandle(const Options& o)
        : handle(ORVAOpen(o.address.c_str(), o.ownTsap.c_str(), o.plcTsap.c_str(), o.receiveTimeoutMs, o.sendTimeoutMs,
                          o.connectTimeoutMs)) {}
    ~PlcHandle() {
        if (handle >= 0) ORVAClose(handle);
    }
    PlcHandle(const PlcHandle&) = delete;
    PlcHandle& operator=(const PlcHandle&) = delete;

    int get() const { return handle; }
    bool isOpen() const { return handle >= 0; }

private:
    int handle;
};

Outcome transfer(const PlcHandle& plc, const Options& o) {
    Outcome outcome;
    const int h = plc.get();
    const int letter = o.area.letter();
    const int block = o.area.block;
    if (o.unit == Unit::bytes) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(o.count));
        if (o.direction == Direction::read) {
            outcome.result = ORVARdB(h, letter, block, o.start, o.count, bytes.data());
            outcome.values.assign(bytes.begin(), bytes.end());
        } else {
            std::transform(o.values.begin(), o.values.end(), bytes.begin(),
                           [](std::uint16_t v) { return static_cast<unsigned char>(v); });
            outcome.result = ORVAWrB(h, letter, block, o.start, o.count, bytes.data());
        }
    } else {
        std::vector<unsigned short> words(static_cast<std::size_t>(o.count));
        if (o.direction == Direction::read) {
            outcome.result = ORVARdW(h, letter, block, o.start, o.count, words.data());
            outcome.values.assign(words.begin(), words.end());
        } else {
            std::copy(o.values.begin(), o.values.end(), words.begin());
            outcome.result = ORVAWrW(h, letter, block, o.start, o.count, words.data());
        }
    }
    if (outcome.result != ORVA_OK) {
        outcome.values.clear();
        outcome.socketError = ORVAGetSockErr(h);
    }
    return outcome;
}

void pause(int ms) {
    using namespace std::chrono;
    constexpr milliseconds slice{50};
    const auto until = steady_clock::now() + milliseconds(ms);
    while (!interrupted && steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<steady_clock::duration>(slice, until - steady_clock::now()));
}

void print(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

int run(const Options& o) {
    PlcHandle plc(o);
    if (!plc.isOpen()) {
        print(stderr, "orvacli: no handle: " + describeFailure(plc.get(), 0) + "\n");
        return exitOtherFailure;
    }
    const bool repeating = o.repeat != 1;
    if (repeating) std::signal(SIGINT, onInterrupt);

    int status = exitSuccess;
    int rounds = 0;
    int failures = 0;
    while (o.repeat == 0 || rounds < o.repeat) {
        ++rounds;
        const int round = repeating ? rounds : 0;
        const Outcome outcome = transfer(plc, o);
        if (outcome.result == ORVA_OK) {
            print(stdout, formatSuccess(o, outcome, round));
        } else {
            ++failures;
            status = exitStatusFor(outcome.result);
            if (o.format == Format::json) print(stdout, failureJson(o, outcome, round));
            print(stderr, failureMessage(o, outcome));
        }
        if (interrupted || (o.repeat != 0 && rounds >= o.repeat)) break;
        pause(o.intervalMs);
        if (interrupted) break;
    }
    if (repeating) print(stderr, repeatSummary(rounds, failures));
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const ParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.status) {
    case ParseStatus::help: print(stdout, helpText()); return exitSuccess;
    case ParseStatus::version: print(stdout, "orvacli " ORVACLI_VERSION "\n"); return exitSuccess;
    case ParseStatus::usageError:
        print(stderr, "orvacli: " + parsed.error + "\nTry 'orvacli --help' for more information.\n");
        return exitUsage;
    case ParseStatus::run: break;
    }
    return run(parsed.options);
}
