// S5 fetch/write telegrams on a handle's transport connection, and the block
// transfer that splits long requests into telegrams of at most 492 data bytes.
#include <algorithm>
#include <cstring>

#include "plc_connection.h"
#include "receive.h"

namespace orva {
namespace {

inline constexpr int byteElement = 1;
inline constexpr int wordElement = 2;
inline constexpr int headerOnlyReply = static_cast<int>(wire::fwDataOffset);  // 23

// Exchanges the two bytes of each of n words; the buffer need not be aligned.
void swapWords(void* words, int n) {
    auto* p = static_cast<std::uint8_t*>(words);
    for (int i = 0; i < n; ++i, p += 2) std::swap(p[0], p[1]);
}

}  // namespace

void PlcConnection::buildHeader(std::uint8_t* destination, bool write, int areaLetter, int dbNumber, int start,
                                int byteCount) {
    std::memcpy(destination, wire::headerTemplate.data(), wire::fwHeaderSize);
    const auto bytes = static_cast<std::uint16_t>(byteCount);
    requestedByteCount = bytes;
    const wire::AreaCode area = wire::areaCodeOf(areaLetter);
    const std::uint16_t length = wire::isWordCounted(area) ? static_cast<std::uint16_t>(bytes >> 1) : bytes;
    destination[wire::fwAreaOffset] = static_cast<std::uint8_t>(area);
    destination[wire::fwDbNumberOffset] = static_cast<std::uint8_t>(dbNumber);
    wire::writeBe16(destination + wire::fwStartOffset, static_cast<std::uint16_t>(start));
    wire::writeBe16(destination + wire::fwLengthOffset, length);
    destination[wire::fwOpCodeOffset] = write ? wire::opWrite : wire::opFetch;
}

int PlcConnection::buildFetchTelegram(int dbNumber, int start, int byteCount, int areaLetter) {
    buildHeader(&requestTelegram[wire::fwHeaderOffset], false, areaLetter, dbNumber, start, byteCount);
    wire::writeBe16(&requestTelegram[wire::tpktLengthOffset], static_cast<std::uint16_t>(wire::fwDataOffset));
    return headerOnlyReply;
}

int PlcConnection::buildWriteTelegram(int dbNumber, int start, int byteCount, int areaLetter, int elementSize,
                                      const void* source) {
    buildHeader(&requestTelegram[wire::fwHeaderOffset], true, areaLetter, dbNumber, start, byteCount);
    const int n = static_cast<std::uint16_t>(byteCount);
    std::memcpy(&requestTelegram[wire::fwDataOffset], source, static_cast<std::size_t>(n));
    if (elementSize == wordElement) swapWords(&requestTelegram[wire::fwDataOffset], n / 2);
    const int length = n + headerOnlyReply;
    wire::writeBe16(&requestTelegram[wire::tpktLengthOffset], static_cast<std::uint16_t>(length));
    return length;
}

int PlcConnection::exchange(int telegramLength) {
    int replyLength = exchangeFailed;
    if (platform::sendOnce(socketHandle, requestTelegram.data(), telegramLength) == telegramLength &&
        readTransportHeader(socketHandle, replyBuffer.data(), receiveTimeoutMs) ==
            static_cast<int>(wire::dtHeaderSize)) {
        const int announced = wire::readBe16(&replyBuffer[wire::tpktLengthOffset]);
        // A length that cannot be a reply is refused before its body is read.
        if (announced >= static_cast<int>(wire::dtHeaderSize) &&
            announced <= static_cast<int>(wire::telegramBufferSize)) {
            const int rest = announced - static_cast<int>(wire::dtHeaderSize);
            if (rest == 0 ||
                receiveWithin(socketHandle, &replyBuffer[wire::dtHeaderSize], rest, receiveTimeoutMs) == rest) {
                replyLength = announced;
            }
        }
    }
    if (replyLength != exchangeFailed) {
        lastSocketError = 0;
        if ((replyBuffer[wire::cotpCodeOffset] & wire::cotpCodeMask) == wire::cotpData &&
            replyBuffer[wire::dtEotOffset] == wire::dtEndOfTsdu) {
            return replyLength;
        }
    }
    lastSocketError = platform::lastError();
    platform::setLastError(0);
    dropConnection();
    return exchangeFailed;
}

std::uint8_t PlcConnection::replyErrorByte(int replyLength) const {
    return replyLength > static_cast<int>(wire::replyErrorByteOffset) ? replyBuffer[wire::replyErrorByteOffset] : 0;
}

int PlcConnection::completeWrite(int telegramLength) {
    const int r = exchange(telegramLength);
    if (r < 0) return exchangeFailed;
    const std::uint8_t error = replyErrorByte(r);
    if (r == headerOnlyReply) {
        if (error == wire::ackNoError) return 0;
        linkStatus = LinkStatus::plcError;
        return exchangeFailed;
    }
    // A reply that does not fit a write: the connection cannot be trusted.
    dropConnection();
    if (error != wire::ackNoError) linkStatus = LinkStatus::plcError;
    return exchangeFailed;
}

int PlcConnection::completeFetch(int telegramLength, void* destination) {
    const int r = exchange(telegramLength);
    if (r < 0) return exchangeFailed;
    const std::uint8_t error = replyErrorByte(r);
    if (r >= headerOnlyReply) {
        if (static_cast<std::uint32_t>(r - headerOnlyReply) == requestedByteCount) {
            linkStatus = LinkStatus::none;
            std::memcpy(destination, &replyBuffer[wire::fwDataOffset], requestedByteCount);
            return 0;
        }
        dropConnection();
        if (error != wire::ackNoError) linkStatus = LinkStatus::plcError;
        return exchangeFailed;
    }
    if (error != wire::ackNoError) {
        linkStatus = LinkStatus::plcError;
        return r;
    }
    dropConnection();
    return r;
}

int PlcConnection::readTelegram(int dbNumber, int start, int elementCount, void* position, int areaLetter,
                                int elementSize) {
    if (ensureConnected() == 0) return telegramNotConnected;
    const int byteCount = elementCount * elementSize;
    const int length = buildFetchTelegram(dbNumber, start, byteCount, areaLetter);
    const int r = completeFetch(length, position);
    if (r == 0 && elementSize == wordElement) swapWords(position, (byteCount % 65536) / 2);
    return r;
}

int PlcConnection::writeTelegram(int dbNumber, int start, int elementCount, const void* position, int areaLetter,
                                 int elementSize) {
    if (ensureConnected() == 0) return telegramNotConnected;
    const int length =
        buildWriteTelegram(dbNumber, start, elementCount * elementSize, areaLetter, elementSize, position);
    return completeWrite(length);
}

namespace {

// Runs one block transfer: splits the low 16 bits of count into telegrams of at
// most 492 data bytes and calls sendOne(start, elements, byteOffset) for each,
// stopping at the first that fails. 1 when all succeeded.
template <class SendOne>
int transferBlock(int start, int count, int areaLetter, int elementSize, SendOne&& sendOne) {
    const int total = count & 0xFFFF;
    if (total == 0) return 0;
    const int perTelegram = static_cast<int>(wire::maxDataPerTelegram) / elementSize;
    const bool wordCounted = wire::isWordCounted(wire::areaCodeOf(areaLetter));
    auto address = static_cast<std::uint32_t>(start);
    for (int done = 0; done < total;) {
        const int k = std::min(perTelegram, total - done);
        if (sendOne(static_cast<int>(address & 0xFFFF), k, done * elementSize) != 0) return 0;
        // Advance by the telegram's length in the area's unit, so that no address is
        // covered twice (a word read of flags covers two byte addresses per word).
        address += static_cast<std::uint32_t>(wordCounted ? k * elementSize / 2 : k * elementSize);
        done += k;
    }
    return 1;
}

}  // namespace

int PlcConnection::readBlock(int dbNumber, int start, int count, void* buffer, int areaLetter, int elementSize) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    return transferBlock(start, count, areaLetter, elementSize, [&](int at, int k, int offset) {
        return readTelegram(dbNumber, at, k, bytes + offset, areaLetter, elementSize);
    });
}

int PlcConnection::writeBlock(int dbNumber, int start, int count, const void* buffer, int areaLetter,
                              int elementSize) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    return transferBlock(start, count, areaLetter, elementSize, [&](int at, int k, int offset) {
        return writeTelegram(dbNumber, at, k, bytes + offset, areaLetter, elementSize);
    });
}

int PlcConnection::readBytes(int dbNumber, int start, int count, void* buffer, int areaLetter) {
    return readBlock(dbNumber, start, count, buffer, areaLetter, byteElement);
}

int PlcConnection::readWords(int dbNumber, int start, int count, void* buffer, int areaLetter) {
    return readBlock(dbNumber, start, count, buffer, areaLetter, wordElement);
}

int PlcConnection::writeBytes(int dbNumber, int start, int count, const void* buffer, int areaLetter) {
    return writeBlock(dbNumber, start, count, buffer, areaLetter, byteElement);
}

int PlcConnection::writeWords(int dbNumber, int start, int count, const void* buffer, int areaLetter) {
    return writeBlock(dbNumber, start, count, buffer, areaLetter, wordElement);
}

}  // namespace orva
