// SPDX-License-Identifier: Apache-2.0
#include "transport.h"

#include <atomic>
#include <cstring>
#include <string_view>

#include "builders.h"
#include "receive.h"

namespace orva {
namespace {

std::atomic<std::uint16_t> sourceReferenceCounter{wire::crFirstSourceReference};

// The shortest TPKT length that can hold a unit's code (byte 5).
constexpr int minConfirmLength = static_cast<int>(wire::cotpCodeOffset) + 1;

std::string_view tsapOf(const char* tsap) {
    return tsap == nullptr ? std::string_view() : std::string_view(tsap, ::strnlen(tsap, wire::maxTsapLength));
}

std::uint32_t orDefault(int milliseconds, std::uint32_t fallback) {
    return milliseconds == 0 ? fallback : static_cast<std::uint32_t>(milliseconds);
}

}  // namespace

std::uint16_t takeSourceReference() {
    std::uint16_t current = sourceReferenceCounter.load(std::memory_order_relaxed);
    std::uint16_t next;
    do {
        next = current >= wire::crMaxSourceReference ? 0 : static_cast<std::uint16_t>(current + 1);
    } while (!sourceReferenceCounter.compare_exchange_weak(current, next, std::memory_order_relaxed));
    return current;
}

void resetSourceReferenceCounter() { sourceReferenceCounter.store(wire::crFirstSourceReference); }

Transport::~Transport() {
    if (socketHandle != platform::invalidSocket) platform::hardClose(socketHandle);
}

void Transport::configure(const char* address, int tcpPort, const char* ownTsap, const char* plcTsap,
                          int receiveTimeout, int sendTimeout, int connectTimeout) {
    ipAddress = address == nullptr ? "" : address;
    port = tcpPort;
    receiveTimeoutMs = orDefault(receiveTimeout, defaultReceiveTimeoutMs);
    sendTimeoutMs = orDefault(sendTimeout, defaultSendTimeoutMs);
    connectTimeoutMs = orDefault(connectTimeout, defaultConnectTimeoutMs);
    wire::writeConnectRequest(connectRequest, tsapOf(ownTsap), tsapOf(plcTsap), takeSourceReference());
}

std::span<const std::uint8_t> Transport::connectRequestBytes() const {
    return {connectRequest.data(), wire::readBe16(&connectRequest[wire::tpktLengthOffset])};
}

Outcome Transport::ensureConnected() {
    // Whatever ended or arrived while the connection was idle, the next reply
    // read from it would not be the answer to the next request: start afresh.
    if (connected && !inStep()) close();
    if (connected) return Outcome::success();
    return setUp();
}

bool Transport::inStep() {
    // One look without waiting; empty data units, which may come before any
    // reply, are taken off and looked past.
    std::array<std::uint8_t, wire::dtHeaderSize> waiting{};
    const int unit = static_cast<int>(waiting.size());
    for (;;) {
        const platform::Peek peek = platform::peekWaiting(socketHandle, waiting.data(), unit);
        if (peek.what == platform::Waiting::nothing) return true;
        if (peek.what != platform::Waiting::bytes || peek.bytes < unit || !isEmptyDataUnit(waiting.data()))
            return false;
        const platform::Transfer taken =
            platform::receiveWithin(socketHandle, waiting.data(), unit, platform::Deadline::after(0));
        if (taken.bytes != unit) return false;
    }
}

Outcome Transport::setUp() {
    // A socket that cannot be made, or given its options, records nothing: the
    // handle's record stays as it was.
    const platform::OpenedSocket opened = platform::openTcpSocket();
    if (opened.socket == platform::invalidSocket) return Outcome::nothingRecorded();
    socketHandle = opened.socket;
    if (!setOptions()) {
        closeSocket();
        return Outcome::nothingRecorded();
    }
    if (const Outcome tcp = timedConnect(); !tcp.succeeded) {
        closeSocket();
        return tcp;
    }
    // A request sent in part, a confirm that does not come or is none, and
    // bytes behind it that no request asked for record no socket error of their
    // own. The look is the one every later telegram makes: what sits behind the
    // confirm would otherwise be read as the first reply.
    connected = sendConnectRequest() && receiveConfirm() && inStep();
    if (!connected) {
        closeSocket();
        return Outcome::failed(Failure::setupFailed);
    }
    return Outcome::success(platform::wsa::none);
}

bool Transport::setOptions() {
    // All three, whatever the outcome of the others.
    const bool sendOk = platform::setSendTimeout(socketHandle, sendTimeoutMs) == platform::wsa::none;
    const bool receiveOk = platform::setReceiveTimeout(socketHandle, receiveTimeoutMs) == platform::wsa::none;
    const bool lingerOk = platform::setAbortiveLinger(socketHandle) == platform::wsa::none;
    return sendOk && receiveOk && lingerOk;
}

Outcome Transport::timedConnect() {
    std::uint32_t address = 0;
    platform::ConnectResult result{platform::ConnectOutcome::failed, platform::wsa::eAddrNotAvail};
    // Text that is no address is not connected to: it fails as such a connect would.
    if (platform::parseIpv4(ipAddress.c_str(), address))
        result = platform::connectWithin(socketHandle, address, static_cast<std::uint16_t>(port), connectTimeoutMs);

    switch (result.outcome) {
    case platform::ConnectOutcome::connected: return Outcome::success();
    case platform::ConnectOutcome::timedOut: return Outcome::failed(Failure::setupFailed, platform::wsa::eHostUnreach);
    case platform::ConnectOutcome::failed: break;
    }
    // A connect that its own give-up closed reports no error of its own.
    if (result.error == platform::wsa::eNotSock) return Outcome::failed(Failure::setupFailed);
    return Outcome::failed(Failure::setupFailed, result.error);
}

bool Transport::sendConnectRequest() {
    const std::span<const std::uint8_t> request = connectRequestBytes();
    const int length = static_cast<int>(request.size());
    const platform::Deadline sendBy = platform::Deadline::after(sendTimeoutMs);
    return platform::sendWithin(socketHandle, request.data(), length, sendBy).bytes == length;
}

bool Transport::receiveConfirm() {
    // Framed by its TPKT length as every unit is: the 4-byte header, then
    // exactly what it announces, however TCP splits it, all within one receive
    // time-out; what lies behind stays in the stream for the look. A length
    // too short to hold the unit's code, or longer than the buffer (and so than
    // any confirm), is refused at once, before more is read. The version byte
    // is not checked, as it never was: framing and code alone say what a unit
    // is, and a peer with another version number frames its units the same way.
    const platform::Deadline deadline = platform::Deadline::after(receiveTimeoutMs);
    const int header = static_cast<int>(wire::tpktHeaderSize);
    if (!receiveExactly(socketHandle, confirmBuffer.data(), header, deadline).complete()) return false;
    const int announced = wire::readBe16(&confirmBuffer[wire::tpktLengthOffset]);
    if (announced < minConfirmLength || announced > static_cast<int>(confirmBuffer.size())) return false;
    if (!receiveRest(socketHandle, confirmBuffer.data(), header, announced, deadline).complete()) return false;
    return (confirmBuffer[wire::cotpCodeOffset] & wire::cotpCodeMask) == wire::cotpConnectConfirm;
}

Exchanged Transport::exchange(std::span<const std::uint8_t> request, std::span<std::uint8_t> reply) {
    const int length = static_cast<int>(request.size());
    const platform::Transfer sent =
        platform::sendWithin(socketHandle, request.data(), length, platform::Deadline::after(sendTimeoutMs));
    if (sent.bytes != length) return failExchange(sent.error);

    // The whole reply, header and body, within one receive time-out.
    const platform::Deadline replyBy = platform::Deadline::after(receiveTimeoutMs);
    const ReadResult header = readTransportHeader(socketHandle, reply.data(), replyBy);
    if (!header.complete()) return failExchange(header.error);
    // A length that cannot be a reply is refused before its body is read.
    const int announced = wire::readBe16(&reply[wire::tpktLengthOffset]);
    if (announced < static_cast<int>(wire::dtHeaderSize) || announced > static_cast<int>(reply.size()))
        return failExchange(platform::wsa::none);
    const ReadResult body =
        receiveRest(socketHandle, reply.data(), static_cast<int>(wire::dtHeaderSize), announced, replyBy);
    if (!body.complete()) return failExchange(body.error);

    if ((reply[wire::cotpCodeOffset] & wire::cotpCodeMask) != wire::cotpData ||
        reply[wire::dtEotOffset] != wire::dtEndOfTsdu)
        return failExchange(platform::wsa::none);
    return {Outcome::success(platform::wsa::none), announced};
}

Exchanged Transport::failExchange(int socketError) {
    close();
    return {Outcome::failed(Failure::dropped, socketError)};
}

void Transport::close() {
    if (connected) closeSocket();
    connected = false;
}

void Transport::closeSocket() {
    platform::hardClose(socketHandle);
    socketHandle = platform::invalidSocket;
}

}  // namespace orva
