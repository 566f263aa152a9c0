// SPDX-License-Identifier: Apache-2.0
#include "fetch_write.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "builders.h"

namespace orva {
namespace {

// The acknowledgement of a write is the header alone, as a fetch is.
inline constexpr int bareAcknowledgementLength = static_cast<int>(wire::fwDataOffset);

// Exchanges the two bytes of each of n words; the buffer need not be aligned.
void swapWords(void* words, int n) {
    auto* p = static_cast<std::uint8_t*>(words);
    for (int i = 0; i < n; ++i, p += 2) std::swap(p[0], p[1]);
}

}  // namespace

FetchWrite::FetchWrite(Transport& transport) : transport(transport) {
    // The fixed bytes of every data telegram; only the length changes later.
    wire::writeDataUnitHeader(requestTelegram, 0);
}

// Splits the request into telegrams of at most 492 data bytes, each starting
// where the one before ended, and runs oneTelegram for each up to the first
// that fails.
template <class OneTelegram>
Outcome FetchWrite::transferBlock(const Request& request, OneTelegram&& oneTelegram) {
    Outcome outcome = Outcome::nothingRecorded();
    const int perTelegram = static_cast<int>(wire::maxDataPerTelegram) / request.elementSize;
    std::uint32_t address = request.start;
    for (int done = 0; done < request.count;) {
        const int k = std::min(perTelegram, request.count - done);
        outcome = outcome.then(oneTelegram(Piece{static_cast<std::uint16_t>(address), k, done * request.elementSize}));
        if (!outcome.succeeded) return outcome;
        // By the telegram's length in the area's unit, so that no address is
        // covered twice (a word read of flags covers two byte addresses per word).
        address += request.unitsOf(k);
        done += k;
    }
    return outcome;
}

Outcome FetchWrite::read(const Request& request, void* buffer) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    return transferBlock(request,
                         [&](const Piece& piece) { return fetchTelegram(request, piece, bytes + piece.offset); });
}

Outcome FetchWrite::write(const Request& request, const void* buffer) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    return transferBlock(request,
                         [&](const Piece& piece) { return writeTelegram(request, piece, bytes + piece.offset); });
}

int FetchWrite::buildTelegram(const Request& request, const Piece& piece, std::uint8_t opCode, int dataBytes) {
    wire::writeRequestHeader(std::span(requestTelegram).subspan(wire::fwHeaderOffset, wire::fwHeaderSize), opCode,
                             request.area, request.block, piece.start,
                             static_cast<std::uint16_t>(request.unitsOf(piece.elements)));
    const int length = static_cast<int>(wire::fwDataOffset) + dataBytes;
    wire::writeBe16(&requestTelegram[wire::tpktLengthOffset], static_cast<std::uint16_t>(length));
    return length;
}

Outcome FetchWrite::fetchTelegram(const Request& request, const Piece& piece, std::uint8_t* destination) {
    const Outcome connection = transport.ensureConnected();
    if (!connection.succeeded) return connection;
    const int length = buildTelegram(request, piece, wire::opFetch, 0);  // the header alone
    const Exchanged exchanged = transport.exchange(std::span(requestTelegram.data(), length), replyBuffer);
    const Outcome sent = connection.then(exchanged.outcome);
    if (!sent.succeeded) return sent;
    const int byteCount = piece.elements * request.elementSize;
    const Outcome judged = judgeFetch(exchanged.replyLength, byteCount, destination);
    if (judged.succeeded && request.elementSize == wordElement) swapWords(destination, byteCount / 2);
    return sent.then(judged);
}

Outcome FetchWrite::writeTelegram(const Request& request, const Piece& piece, const std::uint8_t* source) {
    const Outcome connection = transport.ensureConnected();
    if (!connection.succeeded) return connection;
    const int byteCount = piece.elements * request.elementSize;
    std::memcpy(&requestTelegram[wire::fwDataOffset], source, static_cast<std::size_t>(byteCount));
    if (request.elementSize == wordElement) swapWords(&requestTelegram[wire::fwDataOffset], byteCount / 2);
    const int length = buildTelegram(request, piece, wire::opWrite, byteCount);
    const Exchanged exchanged = transport.exchange(std::span(requestTelegram.data(), length), replyBuffer);
    const Outcome sent = connection.then(exchanged.outcome);
    if (!sent.succeeded) return sent;
    return sent.then(judgeWrite(exchanged.replyLength));
}

std::uint8_t FetchWrite::replyErrorByte(int replyLength) const {
    return replyLength > static_cast<int>(wire::replyErrorByteOffset) ? replyBuffer[wire::replyErrorByteOffset] : 0;
}

Outcome FetchWrite::judgeWrite(int replyLength) {
    const std::uint8_t error = replyErrorByte(replyLength);
    if (replyLength == bareAcknowledgementLength)
        return error == wire::ackNoError ? Outcome::success() : Outcome::failed(Failure::plcRefused);
    // A reply that does not fit a write: the connection cannot be trusted.
    transport.close();
    return Outcome::failed(error != wire::ackNoError ? Failure::plcRefused : Failure::dropped);
}

Outcome FetchWrite::judgeFetch(int replyLength, int byteCount, std::uint8_t* destination) {
    const std::uint8_t error = replyErrorByte(replyLength);
    if (replyLength >= bareAcknowledgementLength) {
        if (replyLength - bareAcknowledgementLength == byteCount) {
            std::memcpy(destination, &replyBuffer[wire::fwDataOffset], static_cast<std::size_t>(byteCount));
            // A fetch that delivered its data clears the failure that a later
            // call of count 0 would report; a write that succeeds does not.
            return Outcome::success({}, Failure::none);
        }
        transport.close();
        return Outcome::failed(error != wire::ackNoError ? Failure::plcRefused : Failure::dropped);
    }
    // Shorter than an acknowledgement: a refusal keeps the connection, anything else drops it.
    if (error != wire::ackNoError) return Outcome::failed(Failure::plcRefused);
    transport.close();
    return Outcome::failed(Failure::dropped);
}

}  // namespace orva
