// SPDX-License-Identifier: Apache-2.0
// orvacli: read and write S5 PLC data areas, and get and set variables, from a
// shell, through liborvanet.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "format.h"
#include "messages.h"
#include "options.h"
#include "orvanet.h"
#include "transfer.h"
#include "variable_output.h"

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

// What one round printed, and the result it ends with.
struct Round {
    int result = ORVA_OK;
    std::string out;
    std::string err;
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

Round areaRound(const PlcHandle& plc, const Options& o, int round) {
    const Outcome outcome = transfer(plc, o);
    if (outcome.result == ORVA_OK) return {ORVA_OK, formatSuccess(o, outcome, round), ""};
    return {outcome.result, o.format == Format::json ? failureJson(o, outcome, round) : "", failureMessage(o, outcome)};
}

// get and set: the list in the calls the variables library plans.
Round variableRound(const PlcHandle& plc, Options& o, int round) {
    std::vector<VariableResult> results(static_cast<std::size_t>(o.variables.size()));
    int first = ORVA_OK;
    if (o.direction == Direction::read) {
        first = orva::vars::readList(plc.get(), o.variables);
        for (int i = 0; i < o.variables.size(); ++i)
            results[static_cast<std::size_t>(i)] = {o.variables.current(i).status, o.variables.current(i).socketError};
    } else {
        std::vector<orva::vars::WriteOutcome> outcomes;
        first = orva::vars::writeList(plc.get(), o.variables, outcomes);
        for (std::size_t i = 0; i < outcomes.size(); ++i) results[i] = {outcomes[i].status, outcomes[i].socketError};
    }
    return {first, variablesOutput(o, results, round), variableFailures(o, results)};
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

int run(Options& o) {
    PlcHandle plc(o);
    if (!plc.isOpen()) {
        print(stderr, "orvacli: no handle: " + orva::vars::failureText(plc.get(), 0) + "\n");
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
        const Round done = o.byVariable ? variableRound(plc, o, round) : areaRound(plc, o, round);
        print(stdout, done.out);
        print(stderr, done.err);
        if (done.result != ORVA_OK) {
            ++failures;
            status = exitStatusFor(done.result);
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
    ParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
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
