// SPDX-License-Identifier: Apache-2.0
#include "raw_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

namespace {

Bytes dataUnit(const Bytes& payload) {
    std::size_t length = 7 + payload.size();
    Bytes t = {0x03, 0x00, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF), 0x02,
               0xF0, 0x80};
    t.insert(t.end(), payload.begin(), payload.end());
    return t;
}

Bytes requestHeader(std::uint8_t op, std::uint8_t area, std::uint8_t block, std::uint16_t start, std::uint16_t length) {
    return {0x53,
            0x35,
            0x10,
            0x01,
            0x03,
            op,
            0x03,
            0x08,
            area,
            block,
            static_cast<std::uint8_t>(start >> 8),
            static_cast<std::uint8_t>(start & 0xFF),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length & 0xFF),
            0xFF,
            0x02};
}

int msLeft(std::chrono::steady_clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

Bytes connectRequest(const std::string& calling, const std::string& called, std::uint16_t srcRef) {
    Bytes unit = {0xE0,
                  0x00,
                  0x00,
                  static_cast<std::uint8_t>(srcRef >> 8),
                  static_cast<std::uint8_t>(srcRef & 0xFF),
                  0x00,
                  0xC1,
                  static_cast<std::uint8_t>(calling.size())};
    unit.insert(unit.end(), calling.begin(), calling.end());
    unit.push_back(0xC2);
    unit.push_back(static_cast<std::uint8_t>(called.size()));
    unit.insert(unit.end(), called.begin(), called.end());
    unit.insert(unit.end(), {0xC0, 0x01, 0x09});
    std::size_t length = 5 + unit.size();
    Bytes t = {0x03, 0x00, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF),
               static_cast<std::uint8_t>(unit.size())};
    t.insert(t.end(), unit.begin(), unit.end());
    return t;
}

Bytes fetchRequest(std::uint8_t area, std::uint8_t block, std::uint16_t start, std::uint16_t length) {
    return dataUnit(requestHeader(0x05, area, block, start, length));
}

Bytes writeRequest(std::uint8_t area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                   const Bytes& data) {
    return dataUnit(concat(requestHeader(0x03, area, block, start, length), data));
}

Bytes expectedReply(std::uint8_t ackOp, std::uint8_t error, const Bytes& data) {
    Bytes ack = {0x53, 0x35, 0x10, 0x01, 0x03, ackOp, 0x0F, 0x03, error, 0xFF, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00};
    return dataUnit(concat(ack, data));
}

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes r = a;
    r.insert(r.end(), b.begin(), b.end());
    return r;
}

bool RawClient::connect(const std::string& address, std::uint16_t port) {
    socket.reset(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool RawClient::send(const Bytes& bytes) {
    return ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

Bytes RawClient::receive(std::size_t n, int timeoutMs) {
    Bytes got;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n) {
        pollfd p{socket.get(), POLLIN, 0};
        if (::poll(&p, 1, msLeft(until)) <= 0) break;
        std::uint8_t chunk[4096];
        ssize_t r = ::recv(socket.get(), chunk, std::min(sizeof chunk, n - got.size()), 0);
        if (r <= 0) {
            error = r < 0 ? errno : 0;
            break;
        }
        got.insert(got.end(), chunk, chunk + r);
    }
    return got;
}

Bytes RawClient::receiveOnce(int timeoutMs) {
    pollfd p{socket.get(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return {};
    std::uint8_t chunk[4096];
    ssize_t r = ::recv(socket.get(), chunk, sizeof chunk, 0);
    if (r <= 0) {
        error = r < 0 ? errno : 0;
        return {};
    }
    return Bytes(chunk, chunk + r);
}

Bytes RawClient::receiveTelegram(int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Bytes t = receive(4, timeoutMs);
    if (t.size() < 4) return t;
    std::size_t length = static_cast<std::size_t>((t[2] << 8) | t[3]);
    if (length > 4) {
        Bytes rest = receive(length - 4, msLeft(until));
        t.insert(t.end(), rest.begin(), rest.end());
    }
    return t;
}

PeerEnd RawClient::waitForEnd(int timeoutMs) {
    pollfd p{socket.get(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return PeerEnd::stillOpen;
    std::uint8_t byte;
    ssize_t r = ::recv(socket.get(), &byte, 1, 0);
    if (r > 0) return PeerEnd::data;
    if (r == 0) return PeerEnd::orderlyClose;
    error = errno;
    return errno == ECONNRESET ? PeerEnd::reset : PeerEnd::stillOpen;
}

Bytes RawClient::connectTransport(const std::string& calling, const std::string& called, std::uint16_t srcRef) {
    if (!send(connectRequest(calling, called, srcRef))) return {};
    return receiveTelegram();
}

Bytes RawClient::exchange(const Bytes& request, int timeoutMs) {
    if (!send(request)) return {};
    return receiveTelegram(timeoutMs);
}

void RawClient::closeOrderly() { socket.reset(); }

void RawClient::closeAbortive() {
    if (!socket) return;
    linger hard{1, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket.reset();
}

}  // namespace simtest
