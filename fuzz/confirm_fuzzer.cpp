// SPDX-License-Identifier: Apache-2.0
// Fuzz target: arbitrary bytes in place of the connection confirm, in arbitrary
// TCP pieces, followed by a well-formed reply to the fetch that a library which
// took the confirm sends. Checks the set-up's documented outcomes, worked out
// from the bytes alone (the pieces must not matter): a confirm is framed by its
// TPKT length, which must lie in 6..1047; it is taken when all of it came and
// byte 5 is a CC code, and the fetch then succeeds with its data when nothing
// follows it; when bytes that are no empty data unit follow it within its last
// piece, the set-up fails. Every failed set-up reports -6, records no socket
// error and holds no socket; nothing is written outside the caller's buffer.
//
// Input: byte 0 flags (bit 0: pieces spaced apart), then the pieces (fuzz_peer.h).
#include <algorithm>
#include <array>
#include <memory>
#include <thread>

#include "fetch_write.h"
#include "fuzz_peer.h"
#include "loopback_addresses.h"
#include "outcome.h"
#include "transport.h"

using namespace orvafuzz;
namespace wire = orva::wire;

namespace {

constexpr const char* peerAddress = orvatest::address::confirmFuzzPeer;
constexpr int timeoutMs = 2000;  // never reached: the peer always answers or closes
constexpr int fetchCount = 4;
constexpr std::array<std::uint8_t, fetchCount> flagBytes = {0x11, 0x22, 0x33, 0x44};
// The TPKT lengths a confirm may announce: enough to hold byte 5, at most the
// largest unit the library reads.
constexpr std::size_t shortestConfirm = wire::cotpCodeOffset + 1;
constexpr std::size_t longestConfirm = wire::telegramBufferSize;

const Fd& listener() {
    static const Fd fd = listenOn(peerAddress, 0);
    return fd;
}

enum class Expect { refused, connects, either };

// What the set-up must make of the stream, from its bytes (and, for what
// follows the confirm, from where the pieces end).
Expect expectedOf(const Bytes& stream, const std::vector<Bytes>& pieces) {
    if (stream.size() < wire::tpktHeaderSize) return Expect::refused;
    const std::size_t announced = wire::readBe16(&stream[wire::tpktLengthOffset]);
    if (announced < shortestConfirm || announced > longestConfirm || announced > stream.size()) return Expect::refused;
    if ((stream[wire::cotpCodeOffset] & wire::cotpCodeMask) != wire::cotpConnectConfirm) return Expect::refused;
    if (announced == stream.size()) return Expect::connects;
    // Bytes that arrive with the confirm's last piece are there when the
    // library looks: an empty data unit is looked past, anything else refused.
    // What arrives later is a matter of timing.
    std::size_t pieceEnd = 0;
    for (const Bytes& p : pieces)
        if ((pieceEnd += p.size()) >= announced) break;
    const std::size_t behind = pieceEnd - announced;
    if (behind == 0) return Expect::either;
    if (behind < wire::dtHeaderSize) return pieceEnd == stream.size() ? Expect::refused : Expect::either;
    const std::uint8_t* unit = &stream[announced];
    const bool emptyUnit = unit[wire::cotpLengthIndicatorOffset] == wire::dtLengthIndicator &&
                           unit[wire::cotpCodeOffset] == wire::cotpData &&
                           unit[wire::dtEotOffset] == wire::dtNoEndOfTsdu;
    return emptyUnit ? Expect::either : Expect::refused;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool spaced = (data[0] & 1) != 0;
    const std::vector<Bytes> pieces = splitPieces({data + 1, size - 1});
    Bytes stream;
    for (const Bytes& p : pieces) stream.insert(stream.end(), p.begin(), p.end());
    const Expect expected = expectedOf(stream, pieces);
    // A header or a confirm whose rest never comes: end the stream so that the
    // client is not left waiting for its receive time-out.
    const std::size_t announced =
        stream.size() >= wire::tpktHeaderSize ? wire::readBe16(&stream[wire::tpktLengthOffset]) : 0;
    const bool endAfterPieces = stream.size() < wire::tpktHeaderSize || announced > stream.size();

    bool requestSeen = false;
    std::thread peer([&] {
        Fd c = acceptOne(listener());
        if (!c || readTpkt(c).empty()) return;
        sendPieces(c, pieces, spaced);
        if (endAfterPieces) ::shutdown(c.get(), SHUT_WR);
        if (readTpkt(c).empty()) return;  // the client refused the confirm
        requestSeen = true;
        if (!sendAll(c, wire::acknowledgement(true, flagBytes))) return;
        ::shutdown(c.get(), SHUT_WR);
        std::vector<Bytes> rest;
        drain(c, rest);
    });

    auto buffer = std::make_unique<std::uint8_t[]>(fetchCount);
    orva::Record record;  // a fresh handle's
    bool transferred, connected, socketHeld;
    {
        orva::Transport transport;
        orva::FetchWrite fetchWrite(transport);
        transport.configure(peerAddress, boundPort(listener()), "own", "plc", timeoutMs, timeoutMs, timeoutMs);
        const orva::Outcome outcome = fetchWrite.read(
            orva::Request::of(wire::AreaCode::flags, 0, 0, fetchCount, orva::byteElement), buffer.get());
        record.take(outcome);
        transferred = outcome.succeeded;
        connected = transport.isConnected();
        socketHeld = transport.socket() != orva::platform::invalidSocket;
    }
    peer.join();

    check(connected == socketHeld, "connected exactly while a socket is held");
    check(isNamedSocketError(record.socketError), "the socket error is one orvanet.h names");
    if (expected == Expect::refused)
        check(!transferred && !requestSeen, "a stream that is no lone confirm fails the set-up before any request");
    if (expected == Expect::connects) {
        check(transferred && connected && record.socketError == 0, "a lone good confirm connects");
        check(std::equal(flagBytes.begin(), flagBytes.end(), buffer.get()), "and the fetch delivers its data");
    }
    if (!transferred && !requestSeen) {
        check(record.failure == orva::Failure::setupFailed && record.socketError == 0 && !socketHeld,
              "a failed set-up reports -6, records no socket error and holds no socket");
    }
    if (!transferred) {
        const int failure = static_cast<int>(record.failure);
        const int result = record.socketError != 0 ? -7 : failure != 0 ? failure : -5;
        check(result == -7 || result == -6 || result == -1 || result == 2, "a failed call reports a documented code");
    }
    return 0;
}
