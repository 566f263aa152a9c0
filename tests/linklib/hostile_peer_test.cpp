// SPDX-License-Identifier: Apache-2.0
// Hostile peers that the failure tables do not already cover: a reset in the
// middle of a 65535-element transfer, a stale reply that arrives after its
// time-out, a reply of the wrong kind, and an adapter that takes the connection
// and never answers. Each call ends within its time-outs plus a margin, with
// the documented code, and the next call recovers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "recording_peer.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

// Margin on top of the time-out that should end a call, for a loaded machine.
constexpr int fullCount = 65535;
constexpr int resetAtTelegram = 60;  // of 134 byte or 267 word telegrams
constexpr std::uint8_t canary = 0xEE;

struct TransferCase {
    const char* name;
    bool write;
    bool words;
};

class ResetMidTransfer : public ::testing::TestWithParam<TransferCase> {};

int transfer(int h, const TransferCase& c, std::vector<std::uint8_t>& buffer) {
    auto* words = reinterpret_cast<unsigned short*>(buffer.data());
    if (c.write)
        return c.words ? ORVAWrW(h, 'D', 1, 0, fullCount, words) : ORVAWrB(h, 'M', 0, 0, fullCount, buffer.data());
    return c.words ? ORVARdW(h, 'D', 1, 0, fullCount, words) : ORVARdB(h, 'M', 0, 0, fullCount, buffer.data());
}

// The caller's buffer after a good read of the whole area from RecordingPeer.
std::vector<std::uint8_t> patternOf(bool words) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(fullCount) * (words ? 2 : 1));
    for (std::size_t i = 0; i < static_cast<std::size_t>(fullCount); ++i) {
        if (words) {
            const std::uint16_t w = wordAt(static_cast<std::uint32_t>(i));
            std::memcpy(&b[2 * i], &w, 2);
        } else {
            b[i] = byteAt(static_cast<std::uint32_t>(i));
        }
    }
    return b;
}

}  // namespace

TEST_P(ResetMidTransfer, StopsAtTheResetKeepsWhatArrivedAndTheNextCallMovesItAll) {
    const TransferCase& c = GetParam();
    RecordingPeer peer(orvatest::address::hostileResetPeer);
    // Half a reply (a write's acknowledgement has no data, so nothing of it) and a reset.
    peer.setOverride([](PeerLink& link, const Bytes& request, int index) {
        if (index != resetAtTelegram) return false;
        const Request r = parseRequest(request);
        if (r.opCode == orva::wire::opFetch) {
            Bytes reply = dataUnit(Bytes(16 + r.length * (countsWords(r.area) ? 2 : 1)));
            reply.resize(reply.size() / 2);
            link.send(reply);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        link.reset();
        return true;
    });
    Handle h(orvatest::address::hostileResetPeer);
    const std::size_t size = static_cast<std::size_t>(fullCount) * (c.words ? 2 : 1);
    std::vector<std::uint8_t> buffer = c.write ? patternOf(c.words) : std::vector<std::uint8_t>(size, canary);
    const std::vector<std::uint8_t> before = buffer;

    Stopwatch watch;
    EXPECT_EQ(transfer(h, c, buffer), ORVA_ERR_SOCKET);
    EXPECT_LT(watch.ms(), shortReceiveMs + timingMarginMs);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAECONNRESET);
    EXPECT_EQ(peer.requests().size(), static_cast<std::size_t>(resetAtTelegram + 1)) << "nothing sent after the reset";
    if (c.write) {
        EXPECT_EQ(buffer, before) << "a write leaves the caller's buffer alone";
    } else {
        // The telegrams before the reset are in place; from the failed one on, nothing was touched.
        const std::size_t done = static_cast<std::size_t>(resetAtTelegram) * orva::wire::maxDataPerTelegram;
        const std::vector<std::uint8_t> pattern = patternOf(c.words);
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(done), pattern.begin()));
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(done), buffer.end(),
                                [](std::uint8_t b) { return b == canary; }));
    }

    std::vector<std::uint8_t> again = c.write ? patternOf(c.words) : std::vector<std::uint8_t>(size, canary);
    EXPECT_EQ(transfer(h, c, again), ORVA_OK);
    EXPECT_EQ(ORVAGetSockErr(h), 0);
    EXPECT_EQ(peer.connections(), 2);
    const int telegrams = c.words ? 267 : 134;
    EXPECT_EQ(peer.requests().size(), static_cast<std::size_t>(resetAtTelegram + 1 + telegrams));
    if (!c.write) {
        EXPECT_EQ(again, patternOf(c.words));
    }
}

INSTANTIATE_TEST_SUITE_P(Transfers, ResetMidTransfer,
                         ::testing::Values(TransferCase{"ReadBytes", false, false},
                                           TransferCase{"ReadWords", false, true},
                                           TransferCase{"WriteBytes", true, false},
                                           TransferCase{"WriteWords", true, true}),
                         caseName<TransferCase>);

TEST(StaleReply, AReplyThatComesAfterItsTimeoutIsNeverTakenForTheNextRequest) {
    RecordingPeer peer(orvatest::address::hostileStalePeer);
    // The first fetch is answered, correctly, but too late.
    peer.setOverride([](PeerLink& link, const Bytes& request, int index) {
        if (index != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(shortReceiveMs + 150));
        const Request r = parseRequest(request);
        link.acknowledge(true, RecordingPeer::fetchData(r));
        return true;
    });
    Handle h(orvatest::address::hostileStalePeer);
    std::array<std::uint8_t, 8> data{};
    Stopwatch watch;
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 8, data.data()), ORVA_ERR_SOCKET);
    EXPECT_LT(watch.ms(), shortReceiveMs + timingMarginMs);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAETIMEDOUT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the late reply is on its way by now
    // Same length, other addresses: the late reply would fit if it were read.
    ASSERT_EQ(ORVARdB(h, 'M', 0, 100, 8, data.data()), ORVA_OK);
    for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(data[i], byteAt(100 + i)) << i;
    EXPECT_EQ(peer.connections(), 2);
}

TEST(WrongKindOfReply, AWriteAcknowledgementForAFetchDropsTheConnection) {
    RecordingPeer peer(orvatest::address::hostileStalePeer);
    peer.setOverride([](PeerLink& link, const Bytes&, int index) {
        if (index != 0) return false;
        link.acknowledge(false, {});  // 23 bytes: what a write would get
        return true;
    });
    Handle h(orvatest::address::hostileStalePeer);
    std::array<std::uint8_t, 4> data{};
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_ERR_DROPPED);
    EXPECT_EQ(ORVAGetSockErr(h), 0);
    ASSERT_EQ(ORVARdB(h, 'M', 0, 40, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[3], byteAt(43));
    EXPECT_EQ(peer.connections(), 2);
}

TEST(BlackHole, AnAdapterThatTakesTheConnectionAndNeverAnswersCostsOneReceiveTimeoutPerCall) {
    std::atomic<bool> answer{false};  // before the peer: its threads read it until they end
    ScriptedPeer peer(orvatest::address::hostileSilentPeer);
    peer.onConnection([&answer](PeerLink& link) {
        // Reads nothing and says nothing, until told to behave.
        while (!answer) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        link.readTpkt();
        link.confirm();
        for (;;) {
            const Request r = parseRequest(link.readTpkt());
            link.acknowledge(r.opCode == orva::wire::opFetch, RecordingPeer::fetchData(r));
        }
    });
    // Default time-outs: 500 ms for the confirm.
    Handle h(orvatest::address::hostileSilentPeer, "", "", 0, 0, 0);
    std::vector<std::uint8_t> bytes(600);
    std::vector<unsigned short> words(300);
    const std::array<std::function<int()>, 4> calls = {[&] { return ORVARdB(h, 'M', 0, 0, 600, bytes.data()); },
                                                       [&] { return ORVARdW(h, 'D', 1, 0, 300, words.data()); },
                                                       [&] { return ORVAWrB(h, 'M', 0, 0, 600, bytes.data()); },
                                                       [&] { return ORVAWrW(h, 'D', 1, 0, 300, words.data()); }};
    for (const auto& call : calls) {
        Stopwatch watch;
        EXPECT_EQ(call(), ORVA_ERR_CONNECT);
        EXPECT_GE(watch.ms(), 450);
        EXPECT_LT(watch.ms(), 500 + timingMarginMs);
        EXPECT_EQ(ORVAGetSockErr(h), 0);
    }
    answer = true;
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 600, bytes.data()), ORVA_OK);
    EXPECT_EQ(bytes[599], byteAt(599));
}
