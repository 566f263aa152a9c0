// SPDX-License-Identifier: Apache-2.0
// A reply is never taken for the answer to another request: whatever the
// adapter sends that no request asked for (a duplicate reply, a second
// acknowledgement, bytes while no call runs), or an end it makes while the
// connection is idle, puts the connection out of step. The next telegram then
// goes out on a fresh connection, and the call still succeeds with its own data.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

#include "recording_peer.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::inStepPeer;

// The right answer to a request, as RecordingPeer would give it.
Bytes answerTo(const Bytes& request, std::uint8_t errorByte = 0) {
    const Request r = parseRequest(request);
    const bool fetch = r.opCode == orva::wire::opFetch;
    return acknowledgement(fetch, fetch && errorByte == 0 ? RecordingPeer::fetchData(r) : Bytes{}, errorByte);
}

// Request number `which` answered twice in one send, as by an adapter that
// repeats itself.
RecordingPeer::Override answeredTwiceAt(int which) {
    return [which](PeerLink& link, const Bytes& request, int index) {
        if (index != which) return false;
        Bytes twice = answerTo(request);
        const Bytes again = twice;
        twice.insert(twice.end(), again.begin(), again.end());
        link.send(twice);
        return true;
    };
}

// What the second call of a test is.
struct CallKind {
    const char* name;
    std::function<int(int handle)> call;
    std::function<void()> checkData;
};

std::array<std::uint8_t, 6> bytesRead{};
std::array<unsigned short, 3> wordsRead{};
const std::array<std::uint8_t, 6> bytesToWrite = {1, 2, 3, 4, 5, 6};
const std::array<unsigned short, 3> wordsToWrite = {0x1111, 0x2222, 0x3333};

const CallKind kinds[] = {
    {"ReadBytes", [](int h) { return ORVARdB(h, 'M', 0, 40, 6, bytesRead.data()); },
     [] {
         for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(bytesRead[i], byteAt(40 + i)) << i;
     }},
    {"ReadWords", [](int h) { return ORVARdW(h, 'D', 5, 40, 3, wordsRead.data()); },
     [] {
         for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(wordsRead[i], wordAt(40 + i)) << i;
     }},
    {"WriteBytes", [](int h) { return ORVAWrB(h, 'M', 0, 40, 6, bytesToWrite.data()); }, [] {}},
    {"WriteWords", [](int h) { return ORVAWrW(h, 'D', 5, 40, 3, wordsToWrite.data()); }, [] {}},
};

void PrintTo(const CallKind& c, std::ostream* os) { *os << c.name; }

class AfterAnExtraReply : public ::testing::TestWithParam<CallKind> {};

}  // namespace

// The first request is answered twice. Taken as the answer to the second
// request, the copy would give its data (or its acknowledgement) to a call
// that asked for something else.
TEST_P(AfterAnExtraReply, TheNextCallGetsItsOwnAnswerOnAFreshConnection) {
    RecordingPeer peer(peerAddress);
    peer.setOverride(answeredTwiceAt(0));
    Handle h(peerAddress);
    std::array<std::uint8_t, 2> first{};
    ASSERT_EQ(ORVARdB(h, 'M', 0, 0, 2, first.data()), ORVA_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the copy has arrived

    bytesRead.fill(0);
    wordsRead.fill(0);
    EXPECT_EQ(GetParam().call(h), ORVA_OK);
    GetParam().checkData();
    EXPECT_EQ(ORVAGetSockErr(h), 0);
    EXPECT_EQ(peer.connections(), 2) << "the second request went out on a new connection";
    const std::vector<Bytes> requests = peer.requests();
    ASSERT_EQ(requests.size(), 2u) << "each request sent once";
}

INSTANTIATE_TEST_SUITE_P(Kinds, AfterAnExtraReply, ::testing::ValuesIn(kinds), caseName<CallKind>);

// A good acknowledgement followed by a stale refusal, and the other way round:
// each write reports what the adapter said about that write.
TEST(StaleAcknowledgement, AWriteIsReportedByItsOwnAcknowledgementNeverByAStaleOne) {
    RecordingPeer peer(peerAddress);
    peer.setOverride([](PeerLink& link, const Bytes& request, int index) {
        if (index == 0) {  // good, then a second acknowledgement that refuses
            Bytes both = answerTo(request);
            const Bytes refusal = answerTo(request, orva::wire::ackAreaTooSmall);
            both.insert(both.end(), refusal.begin(), refusal.end());
            link.send(both);
            return true;
        }
        if (index == 1) {  // this write is applied
            link.send(answerTo(request));
            return true;
        }
        if (index == 2) {  // this one is refused, with a stale good acknowledgement behind it
            Bytes both = answerTo(request, orva::wire::ackAreaTooSmall);
            const Bytes good = answerTo(request);
            both.insert(both.end(), good.begin(), good.end());
            link.send(both);
            return true;
        }
        return false;
    });
    Handle h(peerAddress);
    ASSERT_EQ(ORVAWrB(h, 'M', 0, 0, 6, bytesToWrite.data()), ORVA_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ORVAWrB(h, 'M', 0, 10, 6, bytesToWrite.data()), ORVA_OK) << "applied, not refused";
    EXPECT_EQ(ORVAWrB(h, 'M', 0, 20, 6, bytesToWrite.data()), ORVA_ERR_PLC) << "refused, not applied";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::array<std::uint8_t, 6> data{};
    EXPECT_EQ(ORVARdB(h, 'M', 0, 30, 6, data.data()), ORVA_OK);
    EXPECT_EQ(data[0], byteAt(30));
    EXPECT_EQ(peer.connections(), 3);
}

// Within one call of many telegrams, a copy of telegram k's reply must not be
// read as telegram k + 1's.
TEST(StaleReplyInABlock, ADuplicateInTheMiddleOfATransferIsNotTakenForTheNextTelegram) {
    RecordingPeer peer(peerAddress);
    peer.setOverride(answeredTwiceAt(1));
    Handle h(peerAddress);
    std::vector<std::uint8_t> data(2000);
    ASSERT_EQ(ORVARdB(h, 'M', 0, 0, 2000, data.data()), ORVA_OK);
    for (std::uint32_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], byteAt(i)) << i;
}

namespace {

// What the adapter does while no call is running, after one good exchange.
struct IdleCase {
    const char* name;
    std::function<void(PeerLink&)> act;
    int connectionsAfter;
};

void PrintTo(const IdleCase& c, std::ostream* os) { *os << c.name; }

class WhileIdle : public ::testing::TestWithParam<IdleCase> {};

}  // namespace

TEST_P(WhileIdle, TheNextCallSucceedsWithItsOwnData) {
    const IdleCase& c = GetParam();
    std::atomic<bool> act{false};
    RecordingPeer peer(peerAddress);
    peer.setOverride([&](PeerLink& link, const Bytes& request, int index) {
        if (index != 0) return false;
        link.send(answerTo(request));
        while (!act) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        c.act(link);
        return true;
    });
    Handle h(peerAddress);
    std::array<std::uint8_t, 4> data{};
    ASSERT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_OK);
    act = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(ORVARdB(h, 'M', 0, 100, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[0], byteAt(100));
    EXPECT_EQ(data[3], byteAt(103));
    EXPECT_EQ(peer.connections(), c.connectionsAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Adapter, WhileIdle,
    ::testing::Values(
        // Empty data units may come before any reply: taken off, the connection stays.
        IdleCase{"EmptyDataUnitsAreStillSkipped",
                 [](PeerLink& l) { l.send(bytesOf("03 00 00 07 02 F0 00 03 00 00 07 02 F0 00")); }, 1},
        IdleCase{"AReplyNobodyAskedFor", [](PeerLink& l) { l.send(acknowledgement(true, Bytes(4, 0x99))); }, 2},
        IdleCase{"AnEmptyDataUnitThenAReply",
                 [](PeerLink& l) {
                     Bytes b = bytesOf("03 00 00 07 02 F0 00");
                     const Bytes reply = acknowledgement(true, Bytes(4, 0x99));
                     b.insert(b.end(), reply.begin(), reply.end());
                     l.send(b);
                 },
                 2},
        IdleCase{"PartOfAnEmptyDataUnit", [](PeerLink& l) { l.send(bytesOf("03 00 00")); }, 2},
        IdleCase{"AnOrderlyClose",
                 [](PeerLink& l) {
                     l.closeOrderly();
                     bool reset = false;
                     l.waitForClientEnd(reset, 3000);
                 },
                 2},
        IdleCase{"AReset", [](PeerLink& l) { l.reset(); }, 2}),
    caseName<IdleCase>);

// The adapter closed the idle connection and then takes no new one: the call
// reports the failed set-up, as any call that has to connect does.
TEST(WhileIdleThenGone, AConnectionClosedWhileIdleIsSetUpAgainAndItsFailureReported) {
    std::array<std::uint8_t, 4> data{};
    auto peer = std::make_unique<RecordingPeer>(peerAddress);
    Handle h(peerAddress);
    ASSERT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_OK);
    peer.reset();  // resets its connections and stops listening
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_ERR_SOCKET);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAECONNREFUSED);
}
