/* SPDX-License-Identifier: Apache-2.0 */
// The far end of the fuzz targets: a loopback listener that plays back bytes
// chosen by the fuzzer to the library's real transport over a real TCP
// connection, so the library's own receive and exchange code runs, not a copy
// of it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "orvanet.h"
#include "telegrams.h"
#include "unique_handle.h"

namespace orvafuzz {

using orva::wire::Bytes;

// A peer's wait for the client; long enough for a loaded machine, short enough
// that a lost connection ends the run instead of hanging it.
inline constexpr int peerWaitMs = 3000;

// Stops the run with a message: a fuzz target reports a broken rule this way.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// An owned descriptor, the one the tests use.
using Fd = orvatest::UniqueFd;

// Listens on address:port (0: any free port) with SO_REUSEADDR.
inline Fd listenOn(const char* address, std::uint16_t port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd.get(), 16) != 0) {
        std::perror(address);
        std::exit(1);
    }
    return fd;
}

inline std::uint16_t boundPort(const Fd& listener) {
    sockaddr_in a{};
    socklen_t size = sizeof a;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
}

inline bool waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

// The next accepted connection, with Nagle off so that each piece leaves at once.
inline Fd acceptOne(const Fd& listener) {
    if (!waitReadable(listener.get(), peerWaitMs)) return Fd();
    Fd c(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    int one = 1;
    ::setsockopt(c.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return c;
}

// One TPKT packet as framed by its length field; empty when the client closed,
// reset or sent nothing in time.
inline Bytes readTpkt(const Fd& c) {
    Bytes packet;
    std::size_t want = orva::wire::tpktHeaderSize;
    while (packet.size() < want) {
        if (!waitReadable(c.get(), peerWaitMs)) return {};
        std::uint8_t chunk[2048];
        const std::size_t room = std::min(sizeof chunk, want - packet.size());
        const ssize_t r = ::recv(c.get(), chunk, room, 0);
        if (r <= 0) return {};
        packet.insert(packet.end(), chunk, chunk + r);
        if (packet.size() == orva::wire::tpktHeaderSize) {
            want = orva::wire::readBe16(&packet[orva::wire::tpktLengthOffset]);
            if (want < orva::wire::tpktHeaderSize) return {};
        }
    }
    return packet;
}

inline bool sendAll(const Fd& c, std::span<const std::uint8_t> bytes) {
    return bytes.empty() ||
           ::send(c.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Sends each piece with one send. With spaced set the peer waits a moment
// between pieces, so that the client sees them in separate receives.
inline void sendPieces(const Fd& c, const std::vector<Bytes>& pieces, bool spaced) {
    for (const Bytes& piece : pieces) {
        if (!sendAll(c, piece)) return;
        if (spaced) ::usleep(50);
    }
}

// Sends the bytes [from, to) of the stream that the pieces make up, keeping the
// pieces' boundaries inside that range.
inline void sendRange(const Fd& c, const std::vector<Bytes>& pieces, std::size_t from, std::size_t to, bool spaced) {
    std::size_t at = 0;
    for (const Bytes& piece : pieces) {
        const std::size_t begin = std::max(at, from);
        const std::size_t end = std::min(at + piece.size(), to);
        if (begin < end) {
            if (!sendAll(c, std::span(piece).subspan(begin - at, end - begin))) return;
            if (spaced) ::usleep(50);
        }
        at += piece.size();
        if (at >= to) return;
    }
}

// Reads everything the client still sends until it closes; the requests among
// it are appended to requests.
inline void drain(const Fd& c, std::vector<Bytes>& requests) {
    for (;;) {
        Bytes packet = readTpkt(c);
        if (packet.empty()) return;
        requests.push_back(std::move(packet));
    }
}

// Splits fuzz bytes into pieces: each piece is a length byte and that many bytes
// (a length byte of 0 gives a piece of 256 bytes, so that long replies are reachable).
inline std::vector<Bytes> splitPieces(std::span<const std::uint8_t> data) {
    std::vector<Bytes> pieces;
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t n = data[at++];
        if (n == 0) n = 256;
        n = std::min(n, data.size() - at);
        pieces.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                            data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    return pieces;
}

inline const Bytes goodConfirm = orva::wire::connectConfirm();

// A socket error number that orvanet.h names: the only ones the library may record.
inline bool isNamedSocketError(int e) { return e == 0 || *ORVASocketErrorText(e) != '\0'; }

}  // namespace orvafuzz
