// SPDX-License-Identifier: Apache-2.0
// The bounded sends and receives of socket.h, made of each OS's primitives:
// every wait is the time left to one deadline, however often it is resumed.
#include "platform/socket_primitives.h"

namespace orva::platform {
namespace {

// After an attempt that found the socket not ready: wait, unless the deadline
// has passed (then it is over, even if the socket keeps being reported ready).
int waitUnlessPassed(SocketHandle s, bool forWriting, const Deadline& deadline) {
    if (deadline.passed()) return wsa::eTimedOut;
    return detail::waitReady(s, forWriting, deadline);
}

}  // namespace

ConnectResult connectWithin(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port,
                            std::uint32_t timeoutMs) {
    const Deadline deadline = Deadline::after(timeoutMs);
    const detail::ConnectBegun begun = detail::beginConnect(s, networkOrderAddress, port);
    if (begun.what == detail::ConnectStart::failed) return {ConnectOutcome::failed, begun.error};
    if (begun.what == detail::ConnectStart::underWay) {
        // Completion shows as writable, with the outcome in the socket's error.
        if (const int error = detail::waitReady(s, true, deadline); error != wsa::none)
            return error == wsa::eTimedOut ? ConnectResult{ConnectOutcome::timedOut}
                                           : ConnectResult{ConnectOutcome::failed, error};
        if (const int error = detail::connectError(s); error != wsa::none) return {ConnectOutcome::failed, error};
    }
    if (const int error = detail::finishConnect(s); error != wsa::none) return {ConnectOutcome::failed, error};
    return {ConnectOutcome::connected};
}

Transfer sendWithin(SocketHandle s, const void* data, int len, const Deadline& deadline) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Transfer done;
    bool blocking = true;  // the first send may wait on the socket's send time-out
    while (done.bytes < len) {
        const detail::AttemptResult r = detail::sendSome(s, bytes + done.bytes, len - done.bytes, blocking);
        blocking = false;
        if (r.what == detail::Attempt::moved) {
            done.bytes += r.bytes;
            continue;
        }
        done.error = r.what == detail::Attempt::failed ? r.error : waitUnlessPassed(s, true, deadline);
        if (done.error != wsa::none) return done;
    }
    return done;
}

Transfer receiveFirst(SocketHandle s, void* data, int len, const Deadline& deadline) {
    const detail::AttemptResult r = detail::receiveSome(s, data, len, true);
    if (r.what == detail::Attempt::moved) return {r.bytes};
    if (r.what == detail::Attempt::failed) return {0, r.error};
    return receiveWithin(s, data, len, deadline);  // a signal, or a socket that never blocks
}

Transfer receiveWithin(SocketHandle s, void* data, int len, const Deadline& deadline) {
    for (;;) {
        const detail::AttemptResult r = detail::receiveSome(s, data, len, false);
        if (r.what == detail::Attempt::moved) return {r.bytes};
        if (r.what == detail::Attempt::failed) return {0, r.error};
        if (const int error = waitUnlessPassed(s, false, deadline); error != wsa::none) return {0, error};
    }
}

}  // namespace orva::platform
