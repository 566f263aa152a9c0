/* SPDX-License-Identifier: Apache-2.0 */
// The floor of the benchmarks: a client with nothing but the socket calls. It
// sends the same request bytes as the library and reads the same replies, on a
// connection of its own to the same simulator.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <linux/tcp.h>  // struct tcp_info with the data segment counts
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "telegrams.h"

namespace orvabench {

using orva::wire::Bytes;
namespace wire = orva::wire;

// The connection request the library sends for two empty TSAPs, as the first
// handle opened sends it.
inline const Bytes emptyTsapRequest = wire::connectRequest("", "", wire::crFirstSourceReference);

// A fetch or write telegram as the library builds it (areaCode, start and
// length in the area's unit; data already in PLC order for a write).
inline Bytes telegram(bool write, wire::AreaCode area, int db, int start, int length,
                      std::span<const std::uint8_t> data = {}) {
    return wire::request(write, area, db, start, length, data);
}

class FloorClient {
public:
    // TCP connect, connection request, confirm. A receive time-out other than 0
    // is set as SO_RCVTIMEO, as the library sets its own.
    explicit FloorClient(const char* address, int receiveTimeoutMs = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveTimeoutMs != 0) {
            timeval tv{receiveTimeoutMs / 1000, (receiveTimeoutMs % 1000) * 1000};
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(wire::isoTcpPort);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("raw client: connect failed");
        const std::size_t n = roundTrip(emptyTsapRequest);
        if (n <= wire::cotpCodeOffset ||
            (reply_[wire::cotpCodeOffset] & wire::cotpCodeMask) != wire::cotpConnectConfirm)
            throw std::runtime_error("raw client: no confirm");
    }
    ~FloorClient() {
        linger hard{1, 0};  // as the library closes: a reset, no TIME_WAIT
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(fd_);
    }
    FloorClient(const FloorClient&) = delete;
    FloorClient& operator=(const FloorClient&) = delete;

    // One send of the request, then receives until the whole reply is in. Its length.
    std::size_t roundTrip(std::span<const std::uint8_t> request) {
        if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
            throw std::runtime_error("raw client: send failed");
        std::size_t have = 0, want = wire::tpktHeaderSize;
        while (have < want) {
            const ssize_t r = ::recv(fd_, reply_.data() + have, reply_.size() - have, 0);
            if (r <= 0) throw std::runtime_error("raw client: connection lost");
            have += static_cast<std::size_t>(r);
            if (have >= wire::tpktHeaderSize) want = wire::readBe16(&reply_[wire::tpktLengthOffset]);
        }
        return have;
    }
    // The same, reading the reply as the library must: the 7 bytes of TPKT and DT
    // header first, then exactly the rest that the header announces, so that no
    // byte of anything that follows is taken.
    // With lookFirst, a look without waiting at what is already waiting before
    // the send, as the library makes to know that the connection is in step.
    std::size_t roundTripFramed(std::span<const std::uint8_t> request, bool lookFirst = false) {
        if (lookFirst) {
            std::uint8_t waiting[wire::dtHeaderSize];
            if (::recv(fd_, waiting, sizeof waiting, MSG_PEEK | MSG_DONTWAIT) >= 0)
                throw std::runtime_error("raw client: bytes nobody asked for, or the end");
        }
        if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
            throw std::runtime_error("raw client: send failed");
        receiveExactly(0, wire::dtHeaderSize);
        const std::size_t length = wire::readBe16(&reply_[wire::tpktLengthOffset]);
        receiveExactly(wire::dtHeaderSize, length);
        return length;
    }
    const std::uint8_t* reply() const { return reply_.data(); }

    // Segments with data that this connection has received so far.
    std::uint32_t dataSegmentsIn() const {
        tcp_info info{};
        socklen_t size = sizeof info;
        ::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &size);
        return info.tcpi_data_segs_in;
    }

private:
    void receiveExactly(std::size_t from, std::size_t to) {
        while (from < to) {
            const ssize_t r = ::recv(fd_, reply_.data() + from, to - from, 0);
            if (r <= 0) throw std::runtime_error("raw client: connection lost");
            from += static_cast<std::size_t>(r);
        }
    }

    int fd_ = -1;
    std::array<std::uint8_t, 2048> reply_{};
};

}  // namespace orvabench
