/* SPDX-License-Identifier: Apache-2.0 */
// What a data call, or one step of it, did, as the layers hand it up, and the
// handle's record that outcomes leave behind for ORVAGetSockErr and for the
// results of later calls. The codes are the header's: nothing here lists them
// again.
#pragma once

#include <optional>

#include "orvanet.h"
#include "platform/socket.h"

namespace orva {

// The result a failed call reports when no socket error is recorded; none when
// no cause is recorded either (the call then reports ORVA_ERR_FAILED).
enum class Failure : int {
    none = ORVA_OK,
    plcRefused = ORVA_ERR_PLC,
    dropped = ORVA_ERR_DROPPED,
    setupFailed = ORVA_ERR_CONNECT,
};

// Whether a step succeeded, and what it records. Each of the two records is
// set only by a step that says something about it and otherwise left as the
// steps and calls before left it: a call that fails before it reaches the
// network (no socket could be made) reports what the handle's last calls left.
struct Outcome {
    bool succeeded = false;
    std::optional<int> socketError;  // recorded when set (wsa::none clears it)
    std::optional<Failure> failure;  // recorded when set

    // Nothing was done and nothing is recorded: nothing to transfer, or no
    // socket to do it with.
    static constexpr Outcome nothingRecorded() { return {}; }
    static constexpr Outcome success(std::optional<int> socketError = {}, std::optional<Failure> failure = {}) {
        return {true, socketError, failure};
    }
    static constexpr Outcome failed(Failure failure, std::optional<int> socketError = {}) {
        return {false, socketError, failure};
    }

    // This step followed by next: next decides whether it all succeeded, and
    // its records win where it makes them.
    constexpr Outcome then(const Outcome& next) const {
        return {next.succeeded, next.socketError ? next.socketError : socketError,
                next.failure ? next.failure : failure};
    }
};

// What a handle's calls recorded: kept between calls.
struct Record {
    int socketError = platform::wsa::none;
    Failure failure = Failure::none;

    void take(const Outcome& outcome) {
        if (outcome.socketError) socketError = *outcome.socketError;
        if (outcome.failure) failure = *outcome.failure;
    }
};

}  // namespace orva
