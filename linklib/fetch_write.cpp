// SPDX-License-Identifier: Apache-2.0
// S5 fetch/write telegrams on a handle's transport connection, and the block
// transfer that splits long requests into telegrams of at most 492 data bytes.
#include <algorithm>
#include <cstring>

#include "builders.h"
#include "plc_connection.h"
#include "receive.h"

namespace orva {
namespace {

inline constexpr int byteElement = 1;
inline constexpr int wordElement = 2;
// A fetch is the header alone; so is the acknowledgement of a write.
inline constexpr int fetchTelegramLength = static_cast<int>(wire::fwDataOffset);
inline constexpr int bareAcknowledgementLength = static_cast<int>(wire::fwDataOffset);

// Exchanges the two bytes of each of n words; the buffer need not be aligned.
void swapWords(void* words, int n) {
    auto* p = static_cast<std::uint8_t*>(words);
    for (int i = 0; i < n; ++i, p += 2) std::swap(p[0], p[1]);
}

}  // namespace

void PlcConnection::buildHeader(std::uint8_t* destination, bool write, int areaLetter, int dbNumber, int start,
                                int byteCount) const {
    const auto bytes = static_cast<std::uint16_t>(byteCount);
    const wire::AreaCode area = wire::areaCodeOf(areaLetter);
    const std::uint16_t length = wire::isWordCounted(area) ? static_cast<std::uint16_t>(bytes >> 1) : bytes;
    wire::writeRequestHeader(std::span(destination, wire::fwHeaderSize), write ? wire::opWrite : wire::opFetch, area,
                             static_cast<std::uint8_t>(dbNumber), static_cast<std::uint16_t>(start), length);
}

int PlcConnection::buildFetchTelegram(int dbNumber, int start, int byteCount, int areaLetter) {
    buildHeader(&requestTelegram[wire::fwHeaderOffset], false, areaLetter, dbNumber, start, byteCount);
    wire::writeBe16(&requestTelegram[wire::tpktLengthOffset], static_cast<std::uint16_t>(fetchTelegramLength));
    return fetchTelegramLength;
}

int PlcConnection::buildWriteTelegram(int dbNumber, int start, int byteCount, int areaLetter, int elementSize,
                                      const void* source) {
    buildHeader(&requestTelegram[wire::fwHeaderOffset], true, areaLetter, dbNumber, start, byteCount);
    const int n = static_cast<std::uint16_t>(byteCount);
    std::memcpy(&requestTelegram[wire::fwDataOffset], source, static_cast<std::size_t>(n));
    if (elementSize == wordElement) swapWords(&requestTelegram[wire::fwDataOffset], n / 2);
    const int length = n + static_cast<int>(wire::fwDataOffset);
    wire::writeBe16(&requestTelegram[wire::tpktLengthOffset], static_cast<std::uint16_t>(length));
    return length;
}

std::optional<int> PlcConnection::exchange(int telegramLength) {
    const platform::Transfer sent = platform::sendWithin(socketHandle, requestTelegram.data(), telegramLength,
                                                         platform::Deadline::after(sendTimeoutMs));
    if (sent.bytes != telegramLength) return failExchange(sent.error);

    // The whole reply, header and body, within one receive time-out.
    const platform::Deadline replyBy = platform::Deadline::after(receiveTimeoutMs);
    const ReadResult header = readTransportHeader(socketHandle, replyBuffer.data(), replyBy);
    if (!header.complete()) return failExchange(header.error);
    // A length that cannot be a reply is refused before its body is read.
    const int announced = wire::readBe16(&replyBuffer[wire::tpktLengthOffset]);
    if (announced < static_cast<int>(wire::dtHeaderSize) || announced > static_cast<int>(wire::telegramBufferSize))
        return failExchange(platform::wsa::none);
    const ReadResult body =
        receiveRest(socketHandle, replyBuffer.data(), static_cast<int>(wire::dtHeaderSize), announced, replyBy);
    if (!body.complete()) return failExchange(body.error);

    lastSocketError = platform::wsa::none;
    if ((replyBuffer[wire::cotpCodeOffset] & wire::cotpCodeMask) != wire::cotpData ||
        replyBuffer[wire::dtEotOffset] != wire::dtEndOfTsdu)
        return failExchange(platform::wsa::none);
    return announced;
}

std::nullopt_t PlcConnection::failExchange(int socketError) {
    lastSocketError = socketError;
    dropConnection();
    return std::nullopt;
}

std::uint8_t PlcConnection::replyErrorByte(int replyLength) const {
    return replyLength > static_cast<int>(wire::replyErrorByteOffset) ? replyBuffer[wire::replyErrorByteOffset] : 0;
}

bool PlcConnection::completeWrite(int telegramLength) {
    const std::optional<int> r = exchange(telegramLength);
    if (!r) return false;
    const std::uint8_t error = replyErrorByte(*r);
    if (*r == bareAcknowledgementLength) {
        if (error == wire::ackNoError) return true;
        linkStatus = LinkStatus::plcError;
        return false;
    }
    // A reply that does not fit a write: the connection cannot be trusted.
    dropConnection();
    if (error != wire::ackNoError) linkStatus = LinkStatus::plcError;
    return false;
}

bool PlcConnection::completeFetch(int telegramLength, std::uint32_t byteCount, void* destination) {
    const std::optional<int> r = exchange(telegramLength);
    if (!r) return false;
    const std::uint8_t error = replyErrorByte(*r);
    if (*r >= bareAcknowledgementLength) {
        if (static_cast<std::uint32_t>(*r - bareAcknowledgementLength) == byteCount) {
            linkStatus = LinkStatus::none;
            std::memcpy(destination, &replyBuffer[wire::fwDataOffset], byteCount);
            return true;
        }
        dropConnection();
        if (error != wire::ackNoError) linkStatus = LinkStatus::plcError;
        return false;
    }
    // Shorter than an acknowledgement: a refusal keeps the connection, anything else drops it.
    if (error != wire::ackNoError) {
        linkStatus = LinkStatus::plcError;
        return false;
    }
    dropConnection();
    return false;
}

PlcConnection::Telegram PlcConnection::readTelegram(int dbNumber, int start, int elementCount, void* position,
                                                    int areaLetter, int elementSize) {
    if (!ensureConnected()) return Telegram::notConnected;
    const int byteCount = elementCount * elementSize;
    const int length = buildFetchTelegram(dbNumber, start, byteCount, areaLetter);
    if (!completeFetch(length, static_cast<std::uint16_t>(byteCount), position)) return Telegram::failed;
    if (elementSize == wordElement) swapWords(position, (byteCount % 65536) / 2);
    return Telegram::done;
}

PlcConnection::Telegram PlcConnection::writeTelegram(int dbNumber, int start, int elementCount, const void* position,
                                                     int areaLetter, int elementSize) {
    if (!ensureConnected()) return Telegram::notConnected;
    const int length =
        buildWriteTelegram(dbNumber, start, elementCount * elementSize, areaLetter, elementSize, position);
    return completeWrite(length) ? Telegram::done : Telegram::failed;
}

namespace {

// Runs one block transfer: splits the low 16 bits of count into telegrams of at
// most 492 data bytes and calls sendOne(start, elements, byteOffset) for each,
// stopping at the first that does not succeed. True when all succeeded.
template <class SendOne>
bool transferBlock(int start, int count, int areaLetter, int elementSize, SendOne&& sendOne) {
    const int total = count & 0xFFFF;
    if (total == 0) return false;
    const int perTelegram = static_cast<int>(wire::maxDataPerTelegram) / elementSize;
    const bool wordCounted = wire::isWordCounted(wire::areaCodeOf(areaLetter));
    auto address = static_cast<std::uint32_t>(start);
    for (int done = 0; done < total;) {
        const int k = std::min(perTelegram, total - done);
        if (!sendOne(static_cast<int>(address & 0xFFFF), k, done * elementSize)) return false;
        // Advance by the telegram's length in the area's unit, so that no address is
        // covered twice (a word read of flags covers two byte addresses per word).
        address += static_cast<std::uint32_t>(wordCounted ? k * elementSize / 2 : k * elementSize);
        done += k;
    }
    return true;
}

}  // namespace

bool fitsAddressSpace(int start, int count, int areaLetter, int elementSize) {
    const auto first = static_cast<std::uint32_t>(start) & 0xFFFFu;
    const auto elements = static_cast<std::uint32_t>(count) & 0xFFFFu;
    const bool wordCounted = wire::isWordCounted(wire::areaCodeOf(areaLetter));
    const std::uint32_t addresses = wordCounted ? elements : elements * static_cast<std::uint32_t>(elementSize);
    return first + addresses <= 0x10000u;
}

bool isBlockNumber(int dbNumber, int areaLetter) {
    const wire::AreaCode area = wire::areaCodeOf(areaLetter);
    if (area != wire::AreaCode::dataBlock && area != wire::AreaCode::extendedDataBlock) return true;
    return dbNumber >= 0 && dbNumber <= 0xFF;
}

bool PlcConnection::readBlock(int dbNumber, int start, int count, void* buffer, int areaLetter, int elementSize) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    return transferBlock(start, count, areaLetter, elementSize, [&](int at, int k, int offset) {
        return readTelegram(dbNumber, at, k, bytes + offset, areaLetter, elementSize) == Telegram::done;
    });
}

bool PlcConnection::writeBlock(int dbNumber, int start, int count, const void* buffer, int areaLetter,
                               int elementSize) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    return transferBlock(start, count, areaLetter, elementSize, [&](int at, int k, int offset) {
        return writeTelegram(dbNumber, at, k, bytes + offset, areaLetter, elementSize) == Telegram::done;
    });
}

bool PlcConnection::readBytes(int dbNumber, int start, int count, void* buffer, int areaLetter) {
    return readBlock(dbNumber, start, count, buffer, areaLetter, byteElement);
}

bool PlcConnection::readWords(int dbNumber, int start, int count, void* buffer, int areaLetter) {
    return readBlock(dbNumber, start, count, buffer, areaLetter, wordElement);
}

bool PlcConnection::writeBytes(int dbNumber, int start, int count, const void* buffer, int areaLetter) {
    return writeBlock(dbNumber, start, count, buffer, areaLetter, byteElement);
}

bool PlcConnection::writeWords(int dbNumber, int start, int count, const void* buffer, int areaLetter) {
    return writeBlock(dbNumber, start, count, buffer, areaLetter, wordElement);
}

}  // namespace orva
