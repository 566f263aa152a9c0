/* SPDX-License-Identifier: Apache-2.0 */
// One PLC's thread: polls its groups of variables at their intervals through
// its own liborvanet handle, publishes what the groups' rules let through,
// and carries out the writes waiting for it between polls, so that a write
// never runs beside a read on the handle. A slow or silent PLC holds up only
// this thread: every library call ends within the PLC's time-outs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config.h"
#include "outbox.h"
#include "payload.h"
#include "topics.h"
#include "variable_list.h"

namespace orvagate {

// A write request accepted for a variable, and where its result goes.
struct PendingWrite {
    WriteRequest request;
    std::string resultTopic;
    std::string correlation;
};

class PlcWorker {
public:
    // Builds the PLC's lists; throws std::invalid_argument for a variable the
    // library does not take (a checked configuration has none).
    PlcWorker(const PlcConfig& config, const Topics& topics);
    ~PlcWorker();  // stops and joins
    PlcWorker(const PlcWorker&) = delete;
    PlcWorker& operator=(const PlcWorker&) = delete;

    const std::string& name() const { return config.name; }
    // The retained topics it publishes: its values and its status.
    std::vector<std::string> retainedTopics() const;

    // Takes its slots in the outbox; before start().
    void attach(Outbox& outbox);
    void start();
    void requestStop();
    // True when the thread has ended by the deadline (and is joined).
    bool waitFinished(std::chrono::steady_clock::time_point deadline);

    // The index of a variable among the writable ones, if it is one.
    std::optional<std::size_t> writableIndex(std::string_view variable) const;

    enum class Queued { waiting, replacedOne, stopped };
    // Makes w the one write waiting for that variable; a write that was
    // waiting already comes back in replaced (its result is the caller's).
    Queued submit(std::size_t writable, PendingWrite w, std::optional<PendingWrite>& replaced);

private:
    using Clock = std::chrono::steady_clock;

    struct Variable {
        std::string name;
        SlotId slot = 0;
        std::optional<Reading> published;
    };
    struct Group {
        GroupConfig config;
        VariableList list;
        std::vector<Reading> readings;
        std::vector<Variable> variables;
        Clock::time_point due;
    };
    struct Writable {
        std::string name;
        std::size_t group = 0;
        VariableList writer;  // this one variable
        std::optional<PendingWrite> pending;
    };

    void run();
    bool openHandle();
    void pollDue();
    void publishState(const PlcState& state);
    void carryOut(Writable& writable, PendingWrite write);
    Writable* nextWrite(PendingWrite& write);

    PlcConfig config;
    Topics topics;
    std::vector<Group> groups;
    std::vector<Writable> writables;
    Outbox* outbox = nullptr;
    SlotId statusSlot = 0;

    int handle = -1;
    std::optional<PlcState> state;  // as published last
    Clock::time_point retryAt{};

    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool finished = false;
    std::size_t writeTurn = 0;
    std::thread thread;
};

}  // namespace orvagate
