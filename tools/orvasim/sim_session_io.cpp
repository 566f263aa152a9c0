// SPDX-License-Identifier: Apache-2.0
// A session's I/O. Every blocking wait (recv, send, pauses of faults) polls
// the server's wake-up pipe as well, so that stop() ends the session at once.
#include "sim_session.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace orvasim {

void Session::recordEnd(ConnectionEnd end) {
    ended = true;
    server.recordEnd(number, end);
}

int Session::waitFor(short events, int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{socket.get(), events, 0}, {server.listener.wakeRead.get(), POLLIN, 0}};
        int r = ::poll(fds, 2, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[1].revents || server.stopping) return -1;
        return fds[0].revents;
    }
}

Outcome Session::receiveSome() {
    for (;;) {
        if (waitFor(POLLIN, -1) < 0) return Outcome::ended;  // stopping: the record keeps "open"
        std::uint8_t chunk[4096];
        ssize_t n = ::recv(socket.get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            input.insert(input.end(), chunk, chunk + n);
            return Outcome::goOn;
        }
        if (n == 0) {
            server.trace(number, "end: orderly close by the client");
            recordEnd(ConnectionEnd::orderlyClose);
            return Outcome::ended;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        server.trace(number, "end: %s", errno == ECONNRESET ? "reset by the client" : std::strerror(errno));
        recordEnd(ConnectionEnd::reset);
        return Outcome::ended;
    }
}

Outcome Session::sendAll(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (waitFor(POLLOUT, -1) < 0) return Outcome::ended;
            continue;
        }
        // EPIPE or ECONNRESET: the client has reset the connection.
        server.trace(number, "end: send failed (%s)", std::strerror(errno));
        recordEnd(ConnectionEnd::reset);
        return Outcome::ended;
    }
    return Outcome::goOn;
}

Outcome Session::pause(int ms) {
    if (ms <= 0) return server.stopping ? Outcome::ended : Outcome::goOn;
    pollfd fd{server.listener.wakeRead.get(), POLLIN, 0};
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return Outcome::goOn;
        int r = ::poll(&fd, 1, static_cast<int>(left));
        if (r > 0 || server.stopping) return Outcome::ended;
    }
}

Outcome Session::resetNow(const char* why) {
    server.trace(number, "end: adapter resets the connection (%s)", why);
    linger hard{1, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket.reset();
    recordEnd(ConnectionEnd::reset);
    return Outcome::ended;
}

Outcome Session::closeOrderly(const char* why) {
    server.trace(number, "adapter closes the connection (%s)", why);
    ::shutdown(socket.get(), SHUT_WR);
    // Whatever the client still sends is not served; the record tells how it
    // ended its side: an orderly close or a reset.
    while (receiveSome() == Outcome::goOn) input.clear();
    return Outcome::ended;
}

}  // namespace orvasim
