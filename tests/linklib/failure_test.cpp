// SPDX-License-Identifier: Apache-2.0
// Every way a connection set-up or an exchange can fail: the result code, the
// socket error, what happens to the connection, and that the next call recovers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <thread>

#include "recording_peer.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::failurePeer;
constexpr const char* blackHoleAddress = orvatest::address::blackHole;
// Upper bound for a call that must give up after one short receive time-out.
constexpr long long boundMs = shortReceiveMs + timingMarginMs;

// A fetch's acknowledgement with the error byte and data given.
Bytes fetchAck(std::uint8_t errorByte, const Bytes& data = {}) { return acknowledgement(true, data, errorByte); }

// Serves every further request on the connection well, until the client ends it.
void serveWell(PeerLink& link) {
    for (;;) {
        const Request r = parseRequest(link.readTpkt());
        link.acknowledge(r.opCode == orva::wire::opFetch, RecordingPeer::fetchData(r));
    }
}

}  // namespace

TEST(ConnectFailure, ConnectThatHangsEndsAfterTheConnectTimeout) {
    BlackHoleListener hole(blackHoleAddress);
    Handle h(blackHoleAddress, "", "", shortReceiveMs, shortSendMs, 400);
    std::array<std::uint8_t, 1> b{};
    Stopwatch watch;
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1, b.data()), ORVA_ERR_SOCKET);
    EXPECT_GE(watch.ms(), 350);
    EXPECT_LT(watch.ms(), 400 + timingMarginMs);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAEHOSTUNREACH);
}

TEST(ConnectFailure, AddressThatIsNoIpv4AddressFailsWithoutTraffic) {
    std::array<std::uint8_t, 1> b{};
    for (const char* address : {"", "plc.example", "300.1.2.3", "0.0.0.0", "255.255.255.255"}) {
        Handle h(address);
        ASSERT_GE(h.get(), 0) << "opening sends nothing and accepts any text";
        EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1, b.data()), ORVA_ERR_SOCKET) << address;
        EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAEADDRNOTAVAIL) << address;
        EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAEADDRNOTAVAIL) << "reading does not clear it";
    }
    Handle null(nullptr);
    EXPECT_EQ(ORVARdB(null, 'E', 0, 0, 1, b.data()), ORVA_ERR_SOCKET);
}

class PeerFailure : public ::testing::Test {
protected:
    // The call on a fresh handle (a write or a read of 4 flag bytes) ends as end
    // says, within one receive time-out, and the next call recovers.
    void expectTheCallToEnd(const std::function<void(PeerLink&)>& reply, bool write, CallEnd end);

    ScriptedPeer peer{peerAddress};
    std::array<std::uint8_t, 4> data{};
};

TEST_F(PeerFailure, ClosingAConnectedHandleResetsTheConnectionWithoutADisconnectRequest) {
    // Written by the peer's thread, read here.
    std::atomic<bool> sawEnd{false}, wasReset{false};
    peer.onConnection([&](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        link.readTpkt();
        link.acknowledge(true, {1});
        bool reset = false;
        const bool ended = link.waitForClientEnd(reset, 3000);
        wasReset = reset;
        sawEnd = ended;
    });
    {
        Handle h(peerAddress);
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, data.data()), ORVA_OK);
    }
    for (int i = 0; i < 100 && !sawEnd; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(sawEnd);
    EXPECT_TRUE(wasReset);
    EXPECT_TRUE(peer.scriptErrors().empty()) << "no stray telegram such as a DR arrived";
}

TEST_F(PeerFailure, ClosingAHandleThatNeverConnectedTouchesNoSocket) {
    { Handle h(peerAddress); }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer.connectionsAccepted(), 0);
}

TEST_F(PeerFailure, APeerThatClosesInTheMiddleOfAReplyEndsTheCallAtOnce) {
    peer.onConnection([](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        link.readTpkt();
        link.send(bytesOf("03 00 00 1B 02 F0 80 53 35 10"));
        link.closeOrderly();
        bool reset = false;
        link.waitForClientEnd(reset, 5000);
    });
    const int longReceiveMs = 3000;
    Handle h(peerAddress, "", "", longReceiveMs);
    Stopwatch watch;
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 4, data.data()), ORVA_ERR_DROPPED);
    EXPECT_LT(watch.ms(), longReceiveMs / 2) << "the rest can never come: no wait for the time-out";
}

// The replies the simulator cannot give: every other failure of a reply is in
// the simulator's table (sim_fault_test.cpp). Each: the first request after a
// good set-up answered by reply, every later one served well.
void PeerFailure::expectTheCallToEnd(const std::function<void(PeerLink&)>& reply, bool write, CallEnd end) {
    std::atomic<int> connection{0};
    peer.onConnection([&reply, &connection](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        if (connection++ == 0) {
            link.readTpkt();
            reply(link);
        }
        serveWell(link);
    });
    Handle h(peerAddress);
    Stopwatch watch;
    const int result = write ? ORVAWrB(h, 'M', 0, 0, 4, data.data()) : ORVARdB(h, 'M', 0, 0, 4, data.data());
    EXPECT_EQ(result, end.result);
    EXPECT_LT(watch.ms(), boundMs);
    EXPECT_EQ(ORVAGetSockErr(h), end.socketError);

    // The next call succeeds, on the same connection or on a new one.
    EXPECT_EQ(ORVARdB(h, 'M', 0, 8, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[0], byteAt(8));
    EXPECT_EQ(peer.connectionsAccepted(), end.connectionKept ? 1 : 2);
    EXPECT_EQ(ORVAGetSockErr(h), 0) << "a good reply clears the socket error";
}

// 16 bytes, ending in the error byte: a refusal too short for an acknowledgement.
TEST_F(PeerFailure, AFetchRefusedWithAShortReplyGives2AndKeepsTheConnection) {
    expectTheCallToEnd([](PeerLink& l) { l.send(dataUnit(bytesOf("53 35 10 01 03 06 0F 03 02"))); }, false,
                       {ORVA_ERR_PLC, 0, true});
}

TEST_F(PeerFailure, AWriteRefusedWithDataGives2AndDropsTheConnection) {
    expectTheCallToEnd([](PeerLink& l) { l.send(fetchAck(3, Bytes(4))); }, true, {ORVA_ERR_PLC, 0, false});
}

TEST_F(PeerFailure, HalfAHeaderThenSilenceTimesOut) {
    expectTheCallToEnd(
        [](PeerLink& l) {
            l.send(bytesOf("03 00 00"));
            l.readTpkt();
        },
        false, {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, false});
}

namespace {

// A confirm of 14 bytes, with a TPDU size parameter behind its fixed part.
const Bytes confirm14 = bytesOf("03 00 00 0E 09 D0 00 01 00 02 00 C0 01 09");
const Bytes emptyUnit = bytesOf("03 00 00 07 02 F0 00");
// A whole reply that no request asked for, with data a call must never return.
const Bytes strayReply = bytesOf("03 00 00 1B 02 F0 80 53 35 10 01 03 06 0F 03 00 FF 07 00 00 00 00 00 A5 A5 A5 A5");

// bytes cut into pieces of the sizes given, and a last piece with the rest.
std::vector<Bytes> piecesOf(const Bytes& bytes, const std::vector<int>& sizes) {
    std::vector<Bytes> pieces;
    auto at = bytes.begin();
    for (const int n : sizes) {
        pieces.emplace_back(at, at + n);
        at += n;
    }
    pieces.emplace_back(at, bytes.end());
    return pieces;
}

Bytes joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A confirm whose TPKT length is n (at least 11), padded with zero bytes.
Bytes confirmOfLength(std::size_t n) {
    Bytes confirm = bytesOf("03 00 00 00 06 D0 00 01 00 02 00");
    confirm.resize(n, 0x00);
    confirm[2] = static_cast<std::uint8_t>(n >> 8);
    confirm[3] = static_cast<std::uint8_t>(n);
    return confirm;
}

// What an adapter sends in place of a confirm, in the pieces given (one send
// each, delayMs before every piece after the first), and what the call gives:
// 0, or -6 at once or after the receive time-out.
struct ConfirmCase {
    const char* name;
    std::vector<Bytes> pieces;
    int delayMs;
    int result;
    bool waitsForTheTimeOut;
};

void PrintTo(const ConfirmCase& c, std::ostream* os) { *os << c.name; }

class ConfirmFailure : public PeerFailure, public ::testing::WithParamInterface<ConfirmCase> {};

}  // namespace

TEST_P(ConfirmFailure, TheConfirmIsReadByItsLengthAndWhatFollowsItIsLookedAt) {
    const ConfirmCase& c = GetParam();
    std::atomic<int> connection{0};
    std::atomic<bool> firstWasReset{false};
    peer.onConnection([&](PeerLink& link) {
        link.readTpkt();
        if (connection++ > 0) {
            link.confirm();
            serveWell(link);
        }
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
            link.send(c.pieces[i]);
        }
        if (c.result == ORVA_OK) serveWell(link);
        bool reset = false;
        link.waitForClientEnd(reset, 3000);
        firstWasReset = reset;
    });
    Handle h(peerAddress);
    Stopwatch watch;
    const int result = ORVARdB(h, 'M', 0, 8, 4, data.data());
    const long long elapsed = watch.ms();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ORVAGetSockErr(h), 0) << "no socket error of its own";
    EXPECT_LT(elapsed, shortReceiveMs + timingMarginMs);
    if (c.result == ORVA_OK) {
        EXPECT_EQ(data[0], byteAt(8));
        // The stream stays in step: the next reply is framed where it begins.
        EXPECT_EQ(ORVARdB(h, 'M', 0, 20, 4, data.data()), ORVA_OK);
        EXPECT_EQ(data[3], byteAt(23));
        EXPECT_EQ(peer.connectionsAccepted(), 1);
        return;
    }
    EXPECT_EQ(data, (std::array<std::uint8_t, 4>{})) << "nothing reached the caller";
    if (c.waitsForTheTimeOut)
        EXPECT_GE(elapsed, shortReceiveMs - 20);
    else
        EXPECT_LT(elapsed, timingMarginMs) << "refused at once, with no wait for more";
    for (int i = 0; i < 100 && !firstWasReset; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(firstWasReset) << "the refused connection is reset";
    EXPECT_EQ(ORVARdB(h, 'M', 0, 8, 4, data.data()), ORVA_OK) << "the next call sets up afresh";
    EXPECT_EQ(data[0], byteAt(8));
    EXPECT_EQ(peer.connectionsAccepted(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Confirm, ConfirmFailure,
    ::testing::Values(
        ConfirmCase{"WholeInOneSend", {confirm14}, 0, ORVA_OK, false},
        // TCP promises no piece sizes: the TPKT header by one send and the rest by others.
        ConfirmCase{"FourThenTen", piecesOf(confirm14, {4}), 20, ORVA_OK, false},
        ConfirmCase{"FiveThenNine", piecesOf(confirm14, {5}), 20, ORVA_OK, false},
        ConfirmCase{"TwoTwoThenTen", piecesOf(confirm14, {2, 2}), 20, ORVA_OK, false},
        ConfirmCase{"SixThenEight", piecesOf(confirm14, {6}), 20, ORVA_OK, false},
        ConfirmCase{"EightThenSix", piecesOf(confirm14, {8}), 20, ORVA_OK, false},
        ConfirmCase{"ByteByByte", piecesOf(confirm14, std::vector<int>(13, 1)), 5, ORVA_OK, false},
        ConfirmCase{"TailLateButInTime", piecesOf(confirm14, {6}), shortReceiveMs - 100, ORVA_OK, false},
        // The only test that the confirm's whole tail is awaited.
        ConfirmCase{"TailNeverComes", {Bytes(confirm14.begin(), confirm14.begin() + 6)}, 0, ORVA_ERR_CONNECT, true},
        // The shortest TPKT length that holds the unit's code, and the bounds
        // around it; the TPKT version byte is not checked (as before).
        ConfirmCase{"TheShortestThatHoldsItsCode", {bytesOf("03 00 00 06 02 D0")}, 0, ORVA_OK, false},
        ConfirmCase{"TooShortToHoldItsCode", {bytesOf("03 00 00 05 06 D0 00 01 00 02 00")}, 0, ORVA_ERR_CONNECT, false},
        ConfirmCase{"TpktLengthZero", {bytesOf("03 00 00 00 06 D0 00 01 00 02 00")}, 0, ORVA_ERR_CONNECT, false},
        ConfirmCase{"AnotherTpktVersion", {bytesOf("02 00 00 0B 06 D0 00 01 00 02 00")}, 0, ORVA_OK, false},
        // The upper bound: 1047 bytes are read, 1048 refused before more is read.
        ConfirmCase{"AsLongAsTheBuffer", {confirmOfLength(1047)}, 0, ORVA_OK, false},
        ConfirmCase{"OneByteLongerThanTheBuffer", {confirmOfLength(1048)}, 0, ORVA_ERR_CONNECT, false},
        ConfirmCase{"TheLongestTpktLength", {bytesOf("03 00 FF FF 06 D0 00 01 00 02 00")}, 0, ORVA_ERR_CONNECT, false},
        // Behind the confirm: empty units are looked past, anything else puts
        // the fresh connection out of step, so that the first call never
        // returns 0 with data that no request asked for.
        ConfirmCase{"EmptyUnitsBehind", {joined(joined(confirm14, emptyUnit), emptyUnit)}, 0, ORVA_OK, false},
        ConfirmCase{"AStrayReplyInTheSameSend", {joined(confirm14, strayReply)}, 0, ORVA_ERR_CONNECT, false},
        ConfirmCase{"AStrayReplyInTheConfirmsLastPiece",
                    {Bytes(confirm14.begin(), confirm14.begin() + 4),
                     joined(Bytes(confirm14.begin() + 4, confirm14.end()), strayReply)},
                    20,
                    ORVA_ERR_CONNECT,
                    false},
        ConfirmCase{"OneByteBehind", {joined(confirm14, bytesOf("03"))}, 0, ORVA_ERR_CONNECT, false}),
    caseName<ConfirmCase>);

// -1 is 4294967295 ms, as orvanet.h says: no time-out a test can reach, not
// the default and not an immediate one.
TEST_F(PeerFailure, AReceiveTimeOutOfMinusOneWaitsPastTheDefault) {
    peer.onConnection([](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        const Request r = parseRequest(link.readTpkt());
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        link.acknowledge(true, RecordingPeer::fetchData(r));
        bool reset = false;
        link.waitForClientEnd(reset, 3000);
    });
    Handle h(peerAddress, "", "", -1);
    EXPECT_EQ(ORVARdB(h, 'M', 0, 8, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[0], byteAt(8));
}
