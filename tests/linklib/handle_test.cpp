// Handles and argument checks of the exported functions: what each call
// refuses before any traffic, and the table of 64 handles under parallel use.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <thread>
#include <vector>

#include "recording_peer.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = "127.0.0.6";
constexpr const char* nobodyAddress = "127.0.0.7";

// Closes every handle it holds when the test ends.
struct HandleSet {
    std::vector<int> handles;
    ~HandleSet() {
        for (int h : handles)
            if (h >= 0) ORVAClose(h);
    }
};

}  // namespace

TEST(Handles, SixtyFourOpenAndTheNextIsRefusedUntilOneIsClosed) {
    HandleSet set;
    for (int i = 0; i < ORVA_MAX_HANDLES; ++i) {
        set.handles.push_back(ORVAOpen(nobodyAddress, "", "", 0, 0, 0));
        ASSERT_EQ(set.handles.back(), i);
    }
    EXPECT_EQ(ORVAOpen(nobodyAddress, "", "", 0, 0, 0), ORVA_ERR_NO_FREE_HANDLE);
    ASSERT_EQ(ORVAClose(17), ORVA_OK);
    ASSERT_EQ(ORVAClose(5), ORVA_OK);
    EXPECT_EQ(ORVAOpen(nobodyAddress, "", "", 0, 0, 0), 5) << "the lowest free handle comes first";
    EXPECT_EQ(ORVAOpen(nobodyAddress, "", "", 0, 0, 0), 17);
    EXPECT_EQ(ORVAOpen(nobodyAddress, "", "", 0, 0, 0), ORVA_ERR_NO_FREE_HANDLE);
}

TEST(Handles, EveryCallRefusesHandlesThatAreNotOpen) {
    std::array<std::uint8_t, 2> b{};
    std::array<std::uint16_t, 2> w{};
    const int closed = ORVAOpen(nobodyAddress, nullptr, nullptr, 0, 0, 0);
    ASSERT_GE(closed, 0);
    EXPECT_EQ(ORVAClose(closed), ORVA_OK);
    EXPECT_EQ(ORVAClose(closed), ORVA_ERR_HANDLE) << "closing twice";
    for (int h : {-1, 64, 1000, closed, -2147483647 - 1}) {
        EXPECT_EQ(ORVAClose(h), ORVA_ERR_HANDLE) << h;
        EXPECT_EQ(ORVAGetSockErr(h), ORVA_ERR_HANDLE) << h;
        EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1, b.data()), ORVA_ERR_HANDLE) << h;
        EXPECT_EQ(ORVARdW(h, 'D', 1, 0, 1, w.data()), ORVA_ERR_HANDLE) << h;
        EXPECT_EQ(ORVAWrB(h, 'M', 0, 0, 1, b.data()), ORVA_ERR_HANDLE) << h;
        EXPECT_EQ(ORVAWrW(h, 'D', 1, 0, 1, w.data()), ORVA_ERR_HANDLE) << h;
    }
}

TEST(Handles, EachFunctionAcceptsExactlyItsAreaLetters) {
    RecordingPeer peer(peerAddress);
    Handle h(peerAddress);
    std::array<std::uint8_t, 2> b{};
    std::array<std::uint16_t, 1> w{};
    const std::string readBytes = "AEIMOaeimo", readWords = "ACDEIMOTXZacdeimotxz", writeBytes = "AMOamo",
                      writeWords = "ACDMOTXZacdmotxz";
    for (int letter = 0; letter < 256; ++letter) {
        const auto expect = [&](const std::string& set) {
            return set.find(static_cast<char>(letter)) != std::string::npos && letter != 0 ? ORVA_OK : ORVA_ERR_AREA;
        };
        ASSERT_EQ(ORVARdB(h, letter, 1, 0, 1, b.data()), expect(readBytes)) << letter;
        ASSERT_EQ(ORVARdW(h, letter, 1, 0, 1, w.data()), expect(readWords)) << letter;
        ASSERT_EQ(ORVAWrB(h, letter, 1, 0, 1, b.data()), expect(writeBytes)) << letter;
        ASSERT_EQ(ORVAWrW(h, letter, 1, 0, 1, w.data()), expect(writeWords)) << letter;
    }
    // Higher bits are not ignored: 0x141 is no 'A'.
    const std::size_t before = peer.requests().size();
    EXPECT_EQ(ORVARdB(h, 0x141, 0, 0, 1, b.data()), ORVA_ERR_AREA);
    EXPECT_EQ(ORVAWrW(h, 0x144, 0, 0, 1, w.data()), ORVA_ERR_AREA);
    EXPECT_EQ(ORVARdW(h, -'D', 0, 0, 1, w.data()), ORVA_ERR_AREA);
    EXPECT_EQ(peer.requests().size(), before) << "refused calls send nothing";
}

TEST(Handles, NothingToTransferOrNowhereToPutItFailsWithoutTraffic) {
    RecordingPeer peer(peerAddress);
    Handle h(peerAddress);
    std::array<std::uint8_t, 1> b{};
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 0, b.data()), ORVA_ERR_FAILED) << "count 0 on a fresh handle";
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 65536, b.data()), ORVA_ERR_FAILED) << "low 16 bits are 0";
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1, nullptr), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVARdW(h, 'D', 0, 0, 1, nullptr), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVAWrB(h, 'M', 0, 0, 1, nullptr), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVAWrW(h, 'D', 0, 0, 1, nullptr), ORVA_ERR_FAILED);
    EXPECT_EQ(peer.connections(), 0);
    // A null buffer with nothing to move is no error of its own: it fails as count 0 does.
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 0, nullptr), ORVA_ERR_FAILED);
}

TEST(Handles, CountZeroReportsWhatThePreviousCallLeft) {
    RecordingPeer peer(peerAddress);
    peer.setOverride([](PeerLink& link, const Bytes&, int index) {
        if (index != 0) return false;
        link.acknowledge(false, {}, orva::wire::ackAreaMissing);
        return true;
    });
    Handle h(peerAddress);
    std::array<std::uint8_t, 1> b{};
    ASSERT_EQ(ORVAWrB(h, 'M', 0, 0, 1, b.data()), ORVA_ERR_PLC);
    EXPECT_EQ(ORVAWrB(h, 'M', 0, 0, 0, b.data()), ORVA_ERR_PLC);
}

TEST(Handles, ParallelOpensNeverShareAHandle) {
    constexpr int threads = 8;
    constexpr int perThread = ORVA_MAX_HANDLES / threads;
    std::vector<std::vector<int>> got(threads);
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                for (int i = 0; i < perThread; ++i) got[t].push_back(ORVAOpen(nobodyAddress, "", "", 0, 0, 0));
            });
    }
    HandleSet set;
    for (const auto& g : got) set.handles.insert(set.handles.end(), g.begin(), g.end());
    const std::set<int> unique(set.handles.begin(), set.handles.end());
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(ORVA_MAX_HANDLES));
    EXPECT_EQ(*unique.begin(), 0);
    EXPECT_EQ(*unique.rbegin(), ORVA_MAX_HANDLES - 1);
}

TEST(Handles, ParallelHandlesOnParallelThreadsDoNotCrossTalk) {
    RecordingPeer peer(peerAddress);
    constexpr int threads = 6;
    std::vector<int> failures(threads, 0);
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                Handle h(peerAddress);
                std::vector<std::uint16_t> words(300);
                for (int round = 0; round < 20; ++round) {
                    const int start = t * 1000 + round;
                    if (ORVARdW(h, 'D', t, start, 300, words.data()) != ORVA_OK) {
                        ++failures[t];
                        continue;
                    }
                    for (int i = 0; i < 300; ++i)
                        if (words[static_cast<std::size_t>(i)] != wordAt(static_cast<std::uint32_t>(start + i)))
                            ++failures[t];
                }
            });
    }
    for (int t = 0; t < threads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(peer.connections(), threads);
}
