/* SPDX-License-Identifier: Apache-2.0 */
// Plain TCP on loopback for the tests that run against an external orvasim,
// on Windows Sockets and on POSIX alike: a line client for the control
// channel and a listener whose connects never complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unique_handle.h"

namespace orvaext {

// The socket layer of the test program itself (Windows Sockets 2.2 on Windows;
// the DLL starts its own 1.1). One per process, for its lifetime.
class SocketLayer {
public:
    SocketLayer();
    ~SocketLayer();
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;
};

// A socket of either system as a number (a SOCKET is a pointer-sized handle),
// closed with closesocket or close.
struct SocketTraits {
    using Handle = std::intptr_t;
    static constexpr Handle none = -1;
    static void close(Handle socket);
};

// One owned socket; closed by the destructor.
using Socket = orvatest::UniqueHandle<SocketTraits>;

// A text-line client over TCP.
class LineClient {
public:
    // False when no connection stood within timeoutMs.
    bool connect(const std::string& address, std::uint16_t port, int timeoutMs);
    bool sendAll(std::string_view text);
    // The next line without its end, or nothing when none came within timeoutMs.
    std::optional<std::string> readLine(int timeoutMs);

private:
    Socket socket;
    std::string input;
};

// A listener on address:102 that never accepts, with its accept queue filled,
// so that a further connect to it waits until the connecting side gives up.
class BlackHoleListener {
public:
    explicit BlackHoleListener(const std::string& address);
    // True when a probe connect was seen to hang.
    bool ready() const { return hanging; }

private:
    Socket listener;
    std::vector<Socket> probes;
    bool hanging = false;
};

}  // namespace orvaext
