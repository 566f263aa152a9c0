/* SPDX-License-Identifier: Apache-2.0 */
// Inside the platform layer: the few calls each OS file gives, out of which
// bounded_io.cpp makes the bounded sends and receives of socket.h once for all
// of them.
#pragma once

#include "platform/socket.h"

namespace orva::platform::detail {

// The number this layer reports for an error of the OS's socket calls (an
// errno on POSIX, a Windows Sockets number on Windows): none for 0, otherwise
// always one of wsa::reported.
int wsaErrorOf(int osError);

// One send or receive: bytes moved (>= 0; a receive's 0 is the peer's end),
// or nothing now (the socket has no room or no data, or a signal came), or an
// error.
enum class Attempt { moved, notNow, failed };
struct AttemptResult {
    Attempt what;
    int bytes = 0;
    int error = wsa::none;
};

// blocking: the call may wait for the socket's own time-out (where the OS has
// such calls; elsewhere it never waits).
AttemptResult sendSome(SocketHandle s, const void* data, int len, bool blocking);
AttemptResult receiveSome(SocketHandle s, void* data, int len, bool blocking);

// A connect: begun without waiting (connected at once, under way, or failed),
// and once the socket is writable, its outcome (0, or the connect's error).
// After a connect that succeeded, the socket is set back the way the calls
// above expect it (its error, if that fails).
enum class ConnectStart { connected, underWay, failed };
struct ConnectBegun {
    ConnectStart what;
    int error = wsa::none;
};
ConnectBegun beginConnect(SocketHandle s, std::uint32_t networkOrderAddress, std::uint16_t port);
int connectError(SocketHandle s);
int finishConnect(SocketHandle s);

// Waits until s can be written (or read), at most until the deadline; a signal
// does not start the wait afresh. 0 when ready, else the error (10060 when the
// deadline passed).
int waitReady(SocketHandle s, bool forWriting, const Deadline& deadline);

}  // namespace orva::platform::detail
