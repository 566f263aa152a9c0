/* SPDX-License-Identifier: Apache-2.0 */
// The transport connection of one handle: the connection request, the lazy
// bounded set-up with its confirm, the look at the stream before each telegram,
// one request/reply exchange of DT units, and abortive closes. Knows nothing of
// fetch/write telegrams; every step hands back an Outcome.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "outcome.h"
#include "platform/socket.h"
#include "wire_format.h"

namespace orva {

// Values taken for time-outs given as 0.
inline constexpr std::uint32_t defaultReceiveTimeoutMs = 500;
inline constexpr std::uint32_t defaultSendTimeoutMs = 500;
inline constexpr std::uint32_t defaultConnectTimeoutMs = 5000;

// How an exchange ended, and the length of the reply it read.
struct Exchanged {
    Outcome outcome;
    int replyLength = 0;
};

class Transport {
public:
    Transport() = default;
    ~Transport();

    // Records the parameters and builds the connection request; sends nothing.
    // A time-out of 0 takes its default; any other is the unsigned 32-bit
    // number of milliseconds it has the bits of (-1: 4294967295).
    void configure(const char* ipAddress, int port, const char* ownTsap, const char* plcTsap, int receiveTimeout,
                   int sendTimeout, int connectTimeout);

    // Succeeds when a connection stands that is in step with the adapter. One
    // that is no longer (bytes waiting that no request asked for, or an end the
    // adapter made while it was idle) is closed and set up afresh, so that no
    // reply is ever taken for the answer to another request; a fresh one that
    // is not in step either fails the set-up.
    Outcome ensureConnected();

    // Sends request within the send time-out, then reads one reply into reply
    // within the receive time-out: a DT unit with the end mark, framed by its
    // TPKT length (7 up to reply's size), empty units before it skipped. A
    // failure drops the connection.
    Exchanged exchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply);

    // Abortive close of an established connection.
    void close();

    // Read-only views for tests and diagnostics.
    bool isConnected() const { return connected; }
    platform::SocketHandle socket() const { return socketHandle; }
    std::uint32_t receiveTimeout() const { return receiveTimeoutMs; }
    std::uint32_t sendTimeout() const { return sendTimeoutMs; }
    std::uint32_t connectTimeout() const { return connectTimeoutMs; }
    std::span<const std::uint8_t> connectRequestBytes() const;

    // One per handle, and it owns its socket: never copied.
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

private:
    Outcome setUp();
    bool setOptions();
    Outcome timedConnect();
    bool sendConnectRequest();
    bool receiveConfirm();
    bool inStep();
    Exchanged failExchange(int socketError);
    void closeSocket();

    // The request of this handle: TPKT, the fixed CR part, both TSAPs, the TPDU size.
    std::array<std::uint8_t, wire::crMaxSize> connectRequest{};
    // A confirm is one CC unit, whose one-byte length indicator keeps it within
    // 4 + 256 bytes; the buffer takes the largest unit the library reads at
    // all, so that no adapter's confirm with parameters is cut, and a TPKT
    // length beyond it says that what came is no confirm.
    std::array<std::uint8_t, wire::telegramBufferSize> confirmBuffer{};
    bool connected = false;
    std::uint32_t receiveTimeoutMs = defaultReceiveTimeoutMs;
    std::uint32_t sendTimeoutMs = defaultSendTimeoutMs;
    std::uint32_t connectTimeoutMs = defaultConnectTimeoutMs;
    platform::SocketHandle socketHandle = platform::invalidSocket;
    int port = 0;
    std::string ipAddress;
};

// Takes the next source reference from the process-wide counter: 1, 2, ...,
// 0x6000, 0, 1, ... Safe to call from parallel opens.
std::uint16_t takeSourceReference();
// Puts the counter back to its value at load (tests only).
void resetSourceReferenceCounter();

}  // namespace orva
