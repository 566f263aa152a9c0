/* SPDX-License-Identifier: Apache-2.0 */
// S5 fetch/write over a handle's transport: the block transfer that splits a
// request into telegrams of at most 492 data bytes, each telegram built into a
// fixed buffer, exchanged, and its reply judged (length, error byte).
#pragma once

#include <array>
#include <cstdint>

#include "outcome.h"
#include "request.h"
#include "transport.h"
#include "wire_format.h"

namespace orva {

class FetchWrite {
public:
    explicit FetchWrite(Transport& transport);
    FetchWrite(const FetchWrite&) = delete;
    FetchWrite& operator=(const FetchWrite&) = delete;

    // A whole block: its telegrams one after the other, up to the first that
    // fails. The outcome is theirs in order (nothing recorded for a count of
    // 0); the data of the telegrams before a failed one is in place, in host
    // order for words.
    Outcome read(const Request& request, void* buffer);
    Outcome write(const Request& request, const void* buffer);

    // The last telegram built, for the fuzz targets.
    const std::uint8_t* requestBytes() const { return requestTelegram.data(); }

private:
    // One telegram of a block: where it starts in the area's unit, how many
    // elements it moves, and where they lie in the caller's buffer.
    struct Piece {
        std::uint16_t start;
        int elements;
        int offset;
    };

    template <class OneTelegram>
    static Outcome transferBlock(const Request& request, OneTelegram&& oneTelegram);
    Outcome fetchTelegram(const Request& request, const Piece& piece, std::uint8_t* destination);
    Outcome writeTelegram(const Request& request, const Piece& piece, const std::uint8_t* source);
    int buildTelegram(const Request& request, const Piece& piece, std::uint8_t opCode, int dataBytes);
    Outcome judgeFetch(int replyLength, int byteCount, std::uint8_t* destination);
    Outcome judgeWrite(int replyLength);
    // Error byte of the acknowledgement in a reply of length replyLength; a
    // reply too short to hold it counts as no error.
    std::uint8_t replyErrorByte(int replyLength) const;

    Transport& transport;
    // The reply buffer lies before the request's: the reply fuzzer would see a
    // reply written past its end as a changed request.
    std::array<std::uint8_t, wire::telegramBufferSize> replyBuffer{};
    std::array<std::uint8_t, wire::telegramBufferSize> requestTelegram{};
};

}  // namespace orva
