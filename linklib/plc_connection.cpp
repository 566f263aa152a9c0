// The transport connection of one handle: the connection request, the lazy
// bounded connect, the confirm, and abortive closes.
#include "plc_connection.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace orva {
namespace {

std::atomic<std::uint16_t> sourceReferenceCounter{wire::crFirstSourceReference};

std::size_t tsapLength(const char* tsap) {
    return tsap == nullptr ? 0 : ::strnlen(tsap, wire::maxTsapLength);
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

PlcConnection::PlcConnection() {
    // The fixed bytes of every data telegram; only the length changes later.
    requestTelegram[0] = wire::tpktVersion;
    requestTelegram[1] = 0;
    requestTelegram[2] = 0;
    requestTelegram[3] = 0;
    requestTelegram[wire::cotpLengthIndicatorOffset] = wire::dtLengthIndicator;
    requestTelegram[wire::cotpCodeOffset] = wire::cotpData;
    requestTelegram[wire::dtEotOffset] = wire::dtEndOfTsdu;
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

    std::uint8_t* cr = connectRequest.data();
    cr[0] = wire::tpktVersion;
    cr[1] = 0;
    cr[wire::cotpCodeOffset] = wire::cotpConnectRequest;
    wire::writeBe16(cr + wire::crDstRefOffset, 0);
    wire::writeBe16(cr + wire::crSrcRefOffset, takeSourceReference());
    cr[wire::crClassOffset] = wire::crClass0;
    std::size_t at = wire::crParametersOffset;
    cr[at++] = wire::paramCallingTsap;
    cr[at++] = static_cast<std::uint8_t>(m);
    if (m != 0) std::memcpy(cr + at, ownTsap, m);
    at += m;
    cr[at++] = wire::paramCalledTsap;
    cr[at++] = static_cast<std::uint8_t>(n);
    if (n != 0) std::memcpy(cr + at, plcTsap, n);
    at += n;
    cr[at++] = wire::paramTpduSize;
    cr[at++] = 1;
    cr[at++] = wire::tpduSize512;
    cr[wire::cotpLengthIndicatorOffset] = static_cast<std::uint8_t>(wire::crLengthIndicatorBase + m + n);
    wire::writeBe16(cr + wire::tpktLengthOffset, static_cast<std::uint16_t>(at));
}

int PlcConnection::ensureConnected() {
    if (connected == 0) connected = connectTransport();
    return connected;
}

int PlcConnection::connectTransport() {
    socketHandle = platform::openTcpSocket();
    if (socketHandle == platform::invalidSocket) return 0;

    // All three, whatever the outcome of the others.
    const bool sendOk = platform::setSendTimeout(socketHandle, sendTimeoutMs) == 0;
    const bool receiveOk = platform::setReceiveTimeout(socketHandle, receiveTimeoutMs) == 0;
    const bool lingerOk = platform::setDontLinger(socketHandle) == 0;
    platform::setLastError(0);
    if (!sendOk || !receiveOk || !lingerOk) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
        return 0;
    }

    if (timedConnect() != 0) {
        const int length = static_cast<int>(connectRequestLength());
        if (platform::sendOnce(socketHandle, connectRequest.data(), length) == length) {
            const int received =
                platform::receiveOnce(socketHandle, confirmBuffer.data(), static_cast<int>(wire::telegramBufferSize));
            if (received > static_cast<int>(wire::cotpCodeOffset) &&
                (confirmBuffer[wire::cotpCodeOffset] & wire::cotpCodeMask) == wire::cotpConnectConfirm) {
                lastSocketError = 0;
                return 1;
            }
        }
        // A failed request or confirm records no socket error of its own.
        platform::setLastError(0);
    }

    linkStatus = LinkStatus::setupFailed;
    if (socketHandle != platform::invalidSocket) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
    }
    return 0;
}

int PlcConnection::timedConnect() {
    std::uint32_t address = 0;
    platform::ConnectOutcome outcome;
    if (!platform::parseIpv4(ipAddress.c_str(), address)) {
        // Nothing to connect to: fail as a connect to such an address would.
        platform::setLastError(platform::wsa::eAddrNotAvail);
        outcome = platform::ConnectOutcome::failed;
    } else {
        outcome = platform::connectWithin(socketHandle, address, static_cast<std::uint16_t>(port), connectTimeoutMs);
    }

    switch (outcome) {
    case platform::ConnectOutcome::connected:
        return 1;
    case platform::ConnectOutcome::failed: {
        const int error = platform::lastError();
        if (error != platform::wsa::eNotSock) lastSocketError = error;
        platform::setLastError(0);
        break;
    }
    case platform::ConnectOutcome::timedOut:
        lastSocketError = platform::wsa::eHostUnreach;
        break;
    }
    platform::hardClose(socketHandle);
    socketHandle = platform::invalidSocket;
    return 0;
}

void PlcConnection::dropConnection() {
    linkStatus = LinkStatus::dropped;
    if (connected != 0) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
    }
    connected = 0;
}

int PlcConnection::closeConnection() {
    if (connected != 0) {
        platform::hardClose(socketHandle);
        socketHandle = platform::invalidSocket;
    }
    connected = 0;
    return 1;
}

}  // namespace orva
