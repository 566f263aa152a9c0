/* SPDX-License-Identifier: Apache-2.0 */
// The state of one server, shared by its threads: what the Server calls act
// on, and what every connection's Session reads and records into.
#pragma once

#include "sim_faults.h"
#include "sim_memory.h"
#include "sim_socket.h"
#include "sim_types.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace orvasim {

struct ServerState {
    explicit ServerState(Options o) : options(std::move(o)) {}

    // One accepted connection: its thread (which owns the socket) and whether it has ended.
    struct Connection {
        std::atomic<bool> finished{false};
        std::jthread thread;
    };

    Options options;
    Memory memory;

    ServedListener served;  // its thread runs acceptLoop
    WakeableListener& listener = served.listener;
    std::atomic<bool> stopping{false};
    std::mutex connectionsMutex;
    std::list<std::unique_ptr<Connection>> connections;

    std::mutex faultMutex;
    std::deque<ConfirmFault> confirmFaults;
    std::deque<ReplyFault> replyFaults;

    mutable std::mutex recordMutex;
    mutable std::condition_variable recordChanged;
    int totalAccepted = 0;  // since start, never cleared: the connection numbers
    int recordBase = 1;     // number of the first connection in `ends`
    int openCount = 0;
    std::vector<std::vector<std::uint8_t>> connectRequests, requests;
    std::vector<ConnectionEnd> ends;

    std::atomic<std::uint16_t> nextOwnRef{0x0101};
    std::mutex traceMutex;

    // One line of the trace on stderr, when verbose: "orvasim #N text".
    void trace(int connection, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // The fault armed first, taken off its queue.
    template <class Fault>
    std::optional<Fault> takeFault(std::deque<Fault>& faults) {
        std::lock_guard lock(faultMutex);
        if (faults.empty()) return std::nullopt;
        Fault f = faults.front();
        faults.pop_front();
        return f;
    }

    void recordTelegram(std::vector<std::vector<std::uint8_t>>& list, std::span<const std::uint8_t> telegram);
    // The connection has ended: recorded and no longer counted as open, in one step.
    void recordEnd(int number, ConnectionEnd end);

    void acceptLoop();
};

}  // namespace orvasim
