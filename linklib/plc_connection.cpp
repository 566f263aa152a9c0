// SPDX-License-Identifier: Apache-2.0
// The transport connection of one handle: the connection request, the lazy
// bounded connect, the confirm, and abortive closes.
#include "plc_connection.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

#include "builders.h"
#include "receive.h"

namespace orva {
namespace {

std::atomic<std::uint16_t> sourceReferenceCounter{wire::crFirstSourceReference};

std::size_t tsapLength(const char* tsap) { return tsap == nullptr ? 0 : ::strnlen(tsap, wire::maxTsapLength); }

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

PlcConnection::PlcConnection() {
    // The fixed bytes of every data telegram; only the length changes later.
    wire::writeDataUnitHeader(requestTelegram, 0);
}

PlcConnection::~PlcConnection() {
    if (socketHandle != platform::invalidSocket) platform::hardClose(socketHandle);
}

void PlcConnection::configure(const char* address, int tcpPort, const char* ownTsap, const char* plcTsap,
                              int receiveTimeout, int sendTimeout, int connectTimeout) {
    const std::size_t m = tsapLength(ownTsap);
    const std::size_t n = tsapLength(plcTsap);
    ipAddress = address == nullptr ? "" : address;
    port = tcpPort;
    receiveTimeoutMs = orDefault(receiveTimeout, defaultReceiveTimeoutMs);
    sendTimeoutMs = orDefault(sendTimeout, defaultSendTimeoutMs);
    connectTimeoutMs = orDefault(connectTimeout, defaultConnectTimeoutMs);

    wire::writeConnectRequest(connectRequest, std::string_view(ownTsap == nullptr ? "" : ownTsap, m),
                              std::string_view(plcTsap == nullptr ? "" : plcTsap, n), takeSourceReference());
}

bool PlcConnection::ensureConnected() {
    // Whatever ended or arrived while the connection was idle, the next reply
    // read from it would not be the answer to the next request: start afresh.
    if (connected && !inStep()) closeConnection();
    if (!connected) connected = connectTransport();
    return connected;
}

bool PlcConnection::inStep() {
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

bool PlcConnection::connectTransport() {
    // A socket that cannot be made leaves the handle's record as it was.
    const platform::OpenedSocket opened = platform::openTcpSocket();
    if (opened.socket == platform::invalidSocket) return false;
    socketHandle = opened.socket;

    // All three, whatever the outcome of the others; as above, a failure here
    // records nothing.
    const bool sendOk = platform::setSendTimeout(socketHandle, sendTimeoutMs) == platform::wsa::none;
    const bool receiveOk = platform::setReceiveTimeout(socketHandle, receiveTimeoutMs) == platform::wsa::none;
    const bool lingerOk = platform::setAbortiveLinger(socketHandle) == platform::wsa::none;
    if (!sendOk || !receiveOk || !lingerOk) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
        return false;
    }

    if (timedConnect()) {
        // A request sent in part or a confirm that does not come record no
        // socket error of their own.
        const int length = static_cast<int>(connectRequestLength());
        const platform::Transfer sent =
            platform::sendWithin(socketHandle, connectRequest.data(), length, platform::Deadline::after(sendTimeoutMs));
        if (sent.bytes == length && receiveConfirm()) {
            lastSocketError = platform::wsa::none;
            return true;
        }
    }

    linkStatus = LinkStatus::setupFailed;
    if (socketHandle != platform::invalidSocket) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
    }
    return false;
}

bool PlcConnection::receiveConfirm() {
    // The confirm counts by its unit code in the first receive, which must hold
    // more than 5 bytes. When it announces more than came, the rest is read
    // too, so that it is not taken for the start of the first reply.
    const platform::Deadline deadline = platform::Deadline::after(receiveTimeoutMs);
    const platform::Transfer first = platform::receiveFirst(socketHandle, confirmBuffer.data(),
                                                            static_cast<int>(wire::telegramBufferSize), deadline);
    if (first.error != platform::wsa::none || first.bytes <= static_cast<int>(wire::cotpCodeOffset)) return false;
    if ((confirmBuffer[wire::cotpCodeOffset] & wire::cotpCodeMask) != wire::cotpConnectConfirm) return false;
    const int announced = wire::readBe16(&confirmBuffer[wire::tpktLengthOffset]);
    if (announced <= first.bytes || announced > static_cast<int>(wire::telegramBufferSize)) return true;
    return receiveRest(socketHandle, confirmBuffer.data(), first.bytes, announced, deadline).complete();
}

bool PlcConnection::timedConnect() {
    std::uint32_t address = 0;
    platform::ConnectResult result{platform::ConnectOutcome::failed, platform::wsa::eAddrNotAvail};
    // Text that is no address is not connected to: it fails as such a connect would.
    if (platform::parseIpv4(ipAddress.c_str(), address))
        result = platform::connectWithin(socketHandle, address, static_cast<std::uint16_t>(port), connectTimeoutMs);

    switch (result.outcome) {
    case platform::ConnectOutcome::connected: return true;
    case platform::ConnectOutcome::failed:
        // A connect that its own give-up closed reports no error of its own.
        if (result.error != platform::wsa::eNotSock) lastSocketError = result.error;
        break;
    case platform::ConnectOutcome::timedOut: lastSocketError = platform::wsa::eHostUnreach; break;
    }
    platform::hardClose(socketHandle);
    socketHandle = platform::invalidSocket;
    return false;
}

void PlcConnection::dropConnection() {
    linkStatus = LinkStatus::dropped;
    closeConnection();
}

void PlcConnection::closeConnection() {
    if (connected) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
    }
    connected = false;
}

}  // namespace orva
