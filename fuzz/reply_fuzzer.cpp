// SPDX-License-Identifier: Apache-2.0
// Fuzz target: arbitrary bytes from the peer, in arbitrary TCP pieces, as the
// replies to one block transfer (fetch or write, bytes or words) of the
// library's real fetch/write layer and transport. Checks that the outcome is one the library documents, that a
// success delivered exactly the data the replies carried, that no byte beyond
// the caller's buffer or the reply buffer was written, and that the connection
// is left in a consistent state.
//
// Input: byte 0 operation, byte 1 area letter, bytes 2-3 element count, byte 4
// flags (bit 0: pieces spaced apart), then the pieces (fuzz_peer.h).
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "area_letters.h"
#include "fetch_write.h"
#include "fuzz_peer.h"
#include "loopback_addresses.h"
#include "outcome.h"
#include "transport.h"

using namespace orvafuzz;
namespace wire = orva::wire;

namespace {

constexpr const char* peerAddress = orvatest::address::replyFuzzPeer;
constexpr int receiveTimeoutMs = 2000;  // never reached: the peer closes after its last piece
constexpr int sendTimeoutMs = 2000;
constexpr int connectTimeoutMs = 2000;
constexpr int maxElements = 1500;  // up to seven telegrams
constexpr std::size_t headerSize = 5;

enum class Operation { readBytes, readWords, writeBytes, writeWords };

const Fd& listener() {
    static const Fd fd = listenOn(peerAddress, 0);
    return fd;
}

// What the library must make of a reply stream, worked out independently of its
// code from the rules of the exchange and the completion steps.
struct Expected {
    bool success = false;
    bool connectionKept = false;  // only meaningful on failure
    orva::Failure failure = orva::Failure::none;
    bool cleanReply = false;        // the failing telegram's reply passed the data-unit check
    Bytes data;                     // bytes fetched by the telegrams that succeeded, in PLC order
    std::size_t telegramsDone = 0;  // telegrams that succeeded
    // Where each reply that could be framed ends in the stream: the peer sends
    // reply k only once request k has arrived, as an adapter does.
    std::vector<std::size_t> replyEnds;
};

Expected model(const Bytes& stream, const std::vector<int>& telegramBytes, bool fetch) {
    Expected e;
    std::size_t at = 0;
    auto byteAt = [&](std::size_t i) { return stream[at + i]; };
    for (int n : telegramBytes) {
        while (at + wire::dtHeaderSize <= stream.size() && byteAt(5) == wire::cotpData &&
               byteAt(4) == wire::dtLengthIndicator && byteAt(6) == wire::dtNoEndOfTsdu)
            at += wire::dtHeaderSize;
        e.failure = orva::Failure::dropped;
        e.cleanReply = false;
        if (at + wire::dtHeaderSize > stream.size()) return e;
        const std::size_t length = wire::readBe16(&stream[at + wire::tpktLengthOffset]);
        if (length < wire::dtHeaderSize || length > wire::telegramBufferSize || at + length > stream.size()) return e;
        e.replyEnds.push_back(at + length);
        if ((byteAt(5) & wire::cotpCodeMask) != wire::cotpData || byteAt(6) != wire::dtEndOfTsdu) return e;
        e.cleanReply = true;
        const std::uint8_t error = length > wire::replyErrorByteOffset ? byteAt(wire::replyErrorByteOffset) : 0;
        const std::size_t bare = wire::fwDataOffset;
        if (fetch) {
            if (length >= bare && length - bare == static_cast<std::size_t>(n)) {
                e.data.insert(e.data.end(), stream.begin() + static_cast<std::ptrdiff_t>(at + bare),
                              stream.begin() + static_cast<std::ptrdiff_t>(at + length));
            } else if (length < bare && error != 0) {
                e.connectionKept = true;
                e.failure = orva::Failure::plcRefused;
                return e;
            } else {
                if (length >= bare && error != 0) e.failure = orva::Failure::plcRefused;
                return e;
            }
        } else if (length == bare) {
            if (error != 0) {
                e.connectionKept = true;
                e.failure = orva::Failure::plcRefused;
                return e;
            }
        } else {
            if (error != 0) e.failure = orva::Failure::plcRefused;
            return e;
        }
        at += length;
        ++e.telegramsDone;
    }
    e.success = true;
    e.failure = orva::Failure::none;
    return e;
}

void swapPairs(Bytes& b) {
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
}

// The telegrams of a transfer from start 0 of block 0: op code, area, start and
// length in the area's unit, and for a write the caller's data in PLC order.
// Spelt out byte by byte, apart from the builders, as an independent model.
std::vector<Bytes> expectedTelegrams(bool fetch, bool words, int letter, const std::vector<int>& telegramBytes,
                                     const Bytes& callerData) {
    const wire::AreaCode area = wire::areaCodeOf(letter);
    const bool wordUnits = wire::isWordCounted(area);
    std::vector<Bytes> out;
    std::size_t offset = 0;
    int start = 0;
    for (int n : telegramBytes) {
        Bytes t = {0x03,
                   0x00,
                   0x00,
                   0x00,
                   0x02,
                   0xF0,
                   0x80,
                   0x53,
                   0x35,
                   0x10,
                   0x01,
                   0x03,
                   static_cast<std::uint8_t>(fetch ? 5 : 3),
                   0x03,
                   0x08,
                   static_cast<std::uint8_t>(area),
                   0x00,
                   static_cast<std::uint8_t>(start >> 8),
                   static_cast<std::uint8_t>(start),
                   static_cast<std::uint8_t>((wordUnits ? n / 2 : n) >> 8),
                   static_cast<std::uint8_t>(wordUnits ? n / 2 : n),
                   0xFF,
                   0x02};
        if (!fetch) {
            Bytes data(callerData.begin() + static_cast<std::ptrdiff_t>(offset),
                       callerData.begin() + static_cast<std::ptrdiff_t>(offset + static_cast<std::size_t>(n)));
            if (words) swapPairs(data);
            t.insert(t.end(), data.begin(), data.end());
        }
        t[2] = static_cast<std::uint8_t>(t.size() >> 8);
        t[3] = static_cast<std::uint8_t>(t.size());
        out.push_back(std::move(t));
        offset += static_cast<std::size_t>(n);
        start += wordUnits ? n / 2 : n;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < headerSize) return 0;
    const auto operation = static_cast<Operation>(data[0] & 3);
    const bool fetch = operation == Operation::readBytes || operation == Operation::readWords;
    const bool words = operation == Operation::readWords || operation == Operation::writeWords;
    const std::string_view letters = operation == Operation::readBytes    ? orva::letters::readBytes
                                     : operation == Operation::readWords  ? orva::letters::readWords
                                     : operation == Operation::writeBytes ? orva::letters::writeBytes
                                                                          : orva::letters::writeWords;
    const int letter = letters[data[1] % letters.size()];
    const int count = 1 + (wire::readBe16(data + 2) % maxElements);
    const bool spaced = (data[4] & 1) != 0;
    const std::vector<Bytes> pieces = splitPieces({data + headerSize, size - headerSize});
    Bytes stream;
    for (const Bytes& p : pieces) stream.insert(stream.end(), p.begin(), p.end());

    const int elementSize = words ? 2 : 1;
    const int perTelegram = static_cast<int>(wire::maxDataPerTelegram) / elementSize;
    std::vector<int> telegramBytes;
    for (int left = count; left > 0; left -= perTelegram)
        telegramBytes.push_back(std::min(left, perTelegram) * elementSize);

    // The caller's buffer is exactly as large as the call needs, on the heap, so
    // that AddressSanitizer sees any byte written past it.
    const std::size_t bufferSize = static_cast<std::size_t>(count * elementSize);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[bufferSize]);
    for (std::size_t i = 0; i < bufferSize; ++i) buffer[i] = static_cast<std::uint8_t>(i * 13 + 5);
    const Bytes original(buffer.get(), buffer.get() + bufferSize);

    // Worked out before the call: the peer needs the framing to pace its replies.
    const Expected expected = model(stream, telegramBytes, fetch);

    std::vector<Bytes> requests;
    std::thread peer([&] {
        Fd c = acceptOne(listener());
        if (!c) return;
        if (readTpkt(c).empty() || !sendAll(c, goodConfirm)) return;
        std::size_t sent = 0;
        for (std::size_t k = 0;; ++k) {
            Bytes request = readTpkt(c);
            if (request.empty()) return;
            requests.push_back(std::move(request));
            if (k < expected.replyEnds.size()) {
                sendRange(c, pieces, sent, expected.replyEnds[k], spaced);
                sent = expected.replyEnds[k];
                continue;
            }
            // No reply can be framed for this request: the rest, then the end,
            // so that a client that wants more sees the end at once.
            sendRange(c, pieces, sent, stream.size(), spaced);
            ::shutdown(c.get(), SHUT_WR);
            drain(c, requests);
            return;
        }
    });

    bool transferred;
    orva::Record record;  // a fresh handle's
    bool connected;
    Bytes lastRequest;
    {
        orva::Transport transport;
        orva::FetchWrite fetchWrite(transport);
        transport.configure(peerAddress, boundPort(listener()), "", "", receiveTimeoutMs, sendTimeoutMs,
                            connectTimeoutMs);
        const orva::Request request = orva::Request::of(wire::areaCodeOf(letter), 0, 0, count, elementSize);
        const orva::Outcome outcome =
            fetch ? fetchWrite.read(request, buffer.get()) : fetchWrite.write(request, buffer.get());
        record.take(outcome);
        transferred = outcome.succeeded;
        connected = transport.isConnected();
        check(connected == (transport.socket() != orva::platform::invalidSocket),
              "connected exactly while a socket is held");
        const std::size_t sentLength = wire::readBe16(fetchWrite.requestBytes() + wire::tpktLengthOffset);
        lastRequest.assign(fetchWrite.requestBytes(), fetchWrite.requestBytes() + sentLength);
    }  // destruction resets the connection, which ends the peer's drain
    peer.join();

    const int socketError = record.socketError;
    check(isNamedSocketError(socketError), "the socket error is one orvanet.h names");
    // The telegrams sent, each as built here from the call's arguments, each on
    // the one connection: a reply is only sent once its request has arrived.
    const std::vector<Bytes> telegrams = expectedTelegrams(fetch, words, letter, telegramBytes, original);
    const std::size_t attempted = std::min(telegrams.size(), expected.telegramsDone + 1);
    check(requests.size() == attempted, "every telegram up to the failed one is sent, and none after it");
    for (std::size_t i = 0; i < requests.size(); ++i)
        check(requests[i] == telegrams[i], "each telegram carries its own header and data");
    // The request buffer lies behind the reply buffer: a reply written past its end
    // would show here as a changed request.
    check(lastRequest == telegrams[attempted - 1], "the request buffer holds exactly the last telegram");
    check(transferred == expected.success, "success exactly when every reply fits its request");
    if (transferred) {
        check(record.failure == orva::Failure::none, "a good transfer on a fresh handle records no failure");
        check(socketError == 0 && connected, "a good transfer leaves the connection up and no socket error");
    } else {
        check(connected == expected.connectionKept, "the connection is kept exactly after a refusal by the PLC");
        check(record.failure == expected.failure, "the recorded failure names it");
        if (expected.cleanReply)
            check(socketError == 0, "a reply that passed the data-unit check leaves no socket error");
        // The export's result for this state: one of the documented codes.
        const int failure = static_cast<int>(record.failure);
        const int result = socketError != 0 ? -7 : failure != 0 ? failure : -5;
        check(result == -7 || result == -1 || result == 2, "a failed exchange reports -7, -1 or 2");
    }
    if (fetch) {
        // The telegrams that succeeded filled their part of the buffer; nothing else changed.
        Bytes want = expected.data;
        if (words) swapPairs(want);
        want.insert(want.end(), original.begin() + static_cast<std::ptrdiff_t>(want.size()), original.end());
        check(Bytes(buffer.get(), buffer.get() + bufferSize) == want,
              "the buffer holds the data of the telegrams that succeeded and nothing else");
    }
    if (!fetch)
        check(Bytes(buffer.get(), buffer.get() + bufferSize) == original, "a write leaves the caller's buffer alone");
    return 0;
}
