/* SPDX-License-Identifier: Apache-2.0 */
// One open handle: its parameters, its transport connection to the adapter and
// the fixed buffers of its telegrams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link_status.h"
#include "platform/socket.h"
#include "wire_format.h"

namespace orva {

// Values taken for time-outs given as 0.
inline constexpr std::uint32_t defaultReceiveTimeoutMs = 500;
inline constexpr std::uint32_t defaultSendTimeoutMs = 500;
inline constexpr std::uint32_t defaultConnectTimeoutMs = 5000;

class PlcConnection {
public:
    PlcConnection();
    ~PlcConnection();

    // Records the parameters and builds the connection request; sends nothing.
    void configure(const char* ipAddress, int port, const char* ownTsap, const char* plcTsap, int receiveTimeout,
                   int sendTimeout, int connectTimeout);

    // True when the transport connection stands, connecting first if needed. A
    // connection that is no longer in step with the adapter (bytes waiting that
    // no request asked for, or an end the adapter made while it was idle) is
    // closed first and set up afresh, so that no reply is ever taken for the
    // answer to another request.
    bool ensureConnected();
    // Abortive close of an established connection.
    void closeConnection();
    // After a failed exchange: status -1, socket reset, not connected.
    void dropConnection();

    // Block transfers: true when every telegram succeeded.
    bool readBytes(int dbNumber, int start, int count, void* buffer, int areaLetter);
    bool readWords(int dbNumber, int start, int count, void* buffer, int areaLetter);
    bool writeBytes(int dbNumber, int start, int count, const void* buffer, int areaLetter);
    bool writeWords(int dbNumber, int start, int count, const void* buffer, int areaLetter);

    int lastSocketError = 0;
    int linkStatus = LinkStatus::none;

    // One object per handle, owned by the table: never copied.
    PlcConnection(const PlcConnection&) = delete;
    PlcConnection& operator=(const PlcConnection&) = delete;

    // Read-only views for tests and diagnostics.
    bool isConnected() const { return connected; }
    platform::SocketHandle socket() const { return socketHandle; }
    std::uint32_t receiveTimeout() const { return receiveTimeoutMs; }
    std::uint32_t sendTimeout() const { return sendTimeoutMs; }
    std::uint32_t connectTimeout() const { return connectTimeoutMs; }
    const std::uint8_t* connectRequestBytes() const { return connectRequest.data(); }
    std::size_t connectRequestLength() const { return wire::readBe16(&connectRequest[wire::tpktLengthOffset]); }
    const std::uint8_t* requestBytes() const { return requestTelegram.data(); }

private:
    // How one telegram ended, for the block transfer.
    enum class Telegram { done, failed, notConnected };

    // Transport connection.
    bool connectTransport();
    bool timedConnect();
    bool receiveConfirm();
    bool inStep();

    // One telegram.
    void buildHeader(std::uint8_t* destination, bool write, int areaLetter, int dbNumber, int start,
                     int byteCount) const;
    int buildFetchTelegram(int dbNumber, int start, int byteCount, int areaLetter);
    int buildWriteTelegram(int dbNumber, int start, int byteCount, int areaLetter, int elementSize, const void* source);
    // The reply's length, or nothing when the exchange failed (and dropped the connection).
    std::optional<int> exchange(int telegramLength);
    std::nullopt_t failExchange(int socketError);
    bool completeWrite(int telegramLength);
    bool completeFetch(int telegramLength, std::uint32_t byteCount, void* destination);
    Telegram readTelegram(int dbNumber, int start, int elementCount, void* position, int areaLetter, int elementSize);
    Telegram writeTelegram(int dbNumber, int start, int elementCount, const void* position, int areaLetter,
                           int elementSize);
    // Error byte of the acknowledgement in a reply of length replyLength; a reply too
    // short to hold it counts as no error.
    std::uint8_t replyErrorByte(int replyLength) const;
    bool readBlock(int dbNumber, int start, int count, void* buffer, int areaLetter, int elementSize);
    bool writeBlock(int dbNumber, int start, int count, const void* buffer, int areaLetter, int elementSize);

    // The request of this handle: TPKT, the fixed CR part, the parameter area.
    std::array<std::uint8_t, wire::tpktHeaderSize + 7 + wire::crParameterAreaSize> connectRequest{};
    bool connected = false;
    std::uint32_t receiveTimeoutMs = defaultReceiveTimeoutMs;
    std::uint32_t sendTimeoutMs = defaultSendTimeoutMs;
    std::uint32_t connectTimeoutMs = defaultConnectTimeoutMs;
    std::array<std::uint8_t, wire::telegramBufferSize> replyBuffer{};
    std::array<std::uint8_t, wire::telegramBufferSize> requestTelegram{};
    std::array<std::uint8_t, wire::confirmBufferSize> confirmBuffer{};
    platform::SocketHandle socketHandle = platform::invalidSocket;
    int port = 0;
    std::string ipAddress;
};

// True when a transfer of the low 16 bits of count elements from the low 16
// bits of start stays within the area's 65536 addresses (in its unit: bytes of
// A, E, M, a word read there covering two of them; words of D, X, T, Z).
bool fitsAddressSpace(int start, int count, int areaLetter, int elementSize);

// True unless areaLetter names a data block (D, X) and dbNumber is outside
// 0..255, the numbers one byte of the telegram carries. Other areas carry the
// block byte too, where nothing reads it: any number passes.
bool isBlockNumber(int dbNumber, int areaLetter);

// Takes the next source reference from the process-wide counter: 1, 2, ...,
// 0x6000, 0, 1, ... Safe to call from parallel opens.
std::uint16_t takeSourceReference();
// Puts the counter back to its value at load (tests only).
void resetSourceReferenceCounter();

}  // namespace orva
