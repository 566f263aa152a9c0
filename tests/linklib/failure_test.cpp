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
constexpr const char* nobodyAddress = orvatest::address::failureNobody;  // nothing listens here
// Upper bound for a call that must give up after one short receive time-out.
constexpr long long boundMs = shortReceiveMs + timingMarginMs;

// A fetch's acknowledgement with the error byte and data given.
Bytes fetchAck(std::uint8_t errorByte, const Bytes& data = {}) { return acknowledgement(true, data, errorByte); }

}  // namespace

TEST(ConnectFailure, RefusedConnectReportsTheSocketErrorAndKeepsTheHandle) {
    Handle h(nobodyAddress);
    std::array<std::uint8_t, 1> b{};
    EXPECT_EQ(ORVAGetSockErr(h), 0);
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1, b.data()), ORVA_ERR_SOCKET);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAECONNREFUSED);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAECONNREFUSED) << "reading does not clear it";
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1, b.data()), ORVA_ERR_SOCKET) << "the handle stays usable";
}

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
    }
    Handle null(nullptr);
    EXPECT_EQ(ORVARdB(null, 'E', 0, 0, 1, b.data()), ORVA_ERR_SOCKET);
}

class PeerFailure : public ::testing::Test {
protected:
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

namespace {

// What a peer does with the first request after a good set-up.
struct ReplyCase {
    const char* name;
    std::function<void(PeerLink&)> reply;
    bool write;
    int expectedResult;
    int expectedSocketError;
    bool connectionKept;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class ReplyFailure : public PeerFailure, public ::testing::WithParamInterface<ReplyCase> {};

}  // namespace

TEST_P(ReplyFailure, ResultConnectionAndRecovery) {
    const ReplyCase& c = GetParam();
    std::atomic<int> connection{0};
    peer.onConnection([&c, &connection](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        if (connection++ == 0) {
            link.readTpkt();
            c.reply(link);
        }
        // Any later request on the same connection is served well.
        for (;;) {
            const Request r = parseRequest(link.readTpkt());
            link.acknowledge(r.opCode == orva::wire::opFetch, RecordingPeer::fetchData(r));
        }
    });
    Handle h(peerAddress);
    Stopwatch watch;
    const int result = c.write ? ORVAWrB(h, 'M', 0, 0, 4, data.data()) : ORVARdB(h, 'M', 0, 0, 4, data.data());
    EXPECT_EQ(result, c.expectedResult);
    EXPECT_LT(watch.ms(), boundMs);
    EXPECT_EQ(ORVAGetSockErr(h), c.expectedSocketError);

    // The next call succeeds, on the same connection or on a new one.
    EXPECT_EQ(ORVARdB(h, 'M', 0, 8, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[0], byteAt(8));
    EXPECT_EQ(peer.connectionsAccepted(), c.connectionKept ? 1 : 2);
    EXPECT_EQ(ORVAGetSockErr(h), 0) << "a good reply clears the socket error";
}

// The replies the simulator cannot give: every other failure of a reply is in
// the simulator's table (sim_fault_test.cpp).
INSTANTIATE_TEST_SUITE_P(Replies, ReplyFailure,
                         ::testing::Values(
                             // 16 bytes, ending in the error byte: a refusal too short for an acknowledgement.
                             ReplyCase{"FetchRefusedWithAShortReply",
                                       [](PeerLink& l) { l.send(dataUnit(bytesOf("53 35 10 01 03 06 0F 03 02"))); },
                                       false, ORVA_ERR_PLC, 0, true},
                             ReplyCase{"WriteRefusedWithData", [](PeerLink& l) { l.send(fetchAck(3, Bytes(4))); }, true,
                                       ORVA_ERR_PLC, 0, false},
                             ReplyCase{"HalfAHeaderThenSilence",
                                       [](PeerLink& l) {
                                           l.send(bytesOf("03 00 00"));
                                           l.readTpkt();
                                       },
                                       false, ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, false}),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

namespace {

// A confirm of 14 bytes (with a TPDU size parameter), sent in the pieces given;
// delayMs before each piece after the first. tailNeverComes: only the first piece.
struct ConfirmPieces {
    const char* name;
    std::vector<int> pieces;
    int delayMs;
    bool tailNeverComes;
};

void PrintTo(const ConfirmPieces& c, std::ostream* os) { *os << c.name; }

class ConfirmInPieces : public PeerFailure, public ::testing::WithParamInterface<ConfirmPieces> {};

}  // namespace

TEST_P(ConfirmInPieces, TheConfirmIsReadWholeOrTheSetUpFails) {
    const ConfirmPieces& c = GetParam();
    std::atomic<int> connection{0};
    std::atomic<bool> firstWasReset{false};
    peer.onConnection([&](PeerLink& link) {
        link.readTpkt();
        if (connection++ > 0) {
            link.confirm();
        } else {
            const Bytes confirm = bytesOf("03 00 00 0E 09 D0 00 01 00 02 00 C0 01 09");
            std::size_t at = 0;
            for (std::size_t i = 0; i < c.pieces.size(); ++i) {
                if (i > 0 && c.tailNeverComes) {
                    bool reset = false;
                    link.waitForClientEnd(reset, 3000);
                    firstWasReset = reset;
                    return;
                }
                if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
                const auto n = static_cast<std::size_t>(c.pieces[i]);
                link.send(Bytes(confirm.begin() + static_cast<long>(at), confirm.begin() + static_cast<long>(at + n)));
                at += n;
            }
        }
        for (;;) {
            const Request r = parseRequest(link.readTpkt());
            link.acknowledge(true, RecordingPeer::fetchData(r));
        }
    });
    Handle h(peerAddress);
    Stopwatch watch;
    const int result = ORVARdB(h, 'M', 0, 8, 4, data.data());
    EXPECT_LT(watch.ms(), shortReceiveMs + timingMarginMs);
    if (c.tailNeverComes) {
        EXPECT_EQ(result, ORVA_ERR_CONNECT);
        EXPECT_EQ(ORVAGetSockErr(h), 0);
        for (int i = 0; i < 100 && !firstWasReset; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(firstWasReset) << "the half-confirmed connection is reset";
        EXPECT_EQ(ORVARdB(h, 'M', 0, 8, 4, data.data()), ORVA_OK) << "the next call sets up afresh";
        EXPECT_EQ(peer.connectionsAccepted(), 2);
    } else {
        ASSERT_EQ(result, ORVA_OK);
        EXPECT_EQ(data[0], byteAt(8));
        // The stream stays in step: the next reply is framed where it begins.
        EXPECT_EQ(ORVARdB(h, 'M', 0, 20, 4, data.data()), ORVA_OK);
        EXPECT_EQ(data[3], byteAt(23));
        EXPECT_EQ(peer.connectionsAccepted(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Confirm, ConfirmInPieces,
                         ::testing::Values(ConfirmPieces{"SixThenEight", {6, 8}, 20, false},
                                           ConfirmPieces{"EightThenSix", {8, 6}, 20, false},
                                           ConfirmPieces{"SixThenByteByByte", {6, 1, 1, 1, 1, 1, 1, 1, 1}, 5, false},
                                           ConfirmPieces{"TailLateButInTime", {6, 8}, shortReceiveMs - 100, false},
                                           ConfirmPieces{"TailNeverComes", {6, 8}, 0, true}),
                         [](const ::testing::TestParamInfo<ConfirmPieces>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(PeerFailure, AConfirmThatSaysNoMoreIsToComeIsTakenAsItIs) {
    // A TPKT length no larger than what arrived, or beyond any confirm: nothing more is read.
    for (const char* confirm : {"03 00 00 06 02 D0 00 00 00 00 00", "03 00 FF FF 06 D0 00 01 00 02 00"}) {
        peer.onConnection([confirm](PeerLink& link) {
            link.readTpkt();
            link.send(bytesOf(confirm));
            const Request r = parseRequest(link.readTpkt());
            link.acknowledge(true, RecordingPeer::fetchData(r));
            bool reset = false;
            link.waitForClientEnd(reset, 3000);
        });
        Handle h(peerAddress);
        EXPECT_EQ(ORVARdB(h, 'M', 0, 8, 4, data.data()), ORVA_OK) << confirm;
        EXPECT_EQ(data[1], byteAt(9)) << confirm;
    }
}
