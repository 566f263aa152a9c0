// SPDX-License-Identifier: Apache-2.0
// What the export tests (tests/exports_external, also run under Wine) cannot
// show: null buffers, what a call of count 0 reports after another call, and
// parallel opens under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <thread>
#include <vector>

#include "recording_peer.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::handlePeer;
constexpr const char* nobodyAddress = orvatest::address::handleNobody;

// Closes every handle it holds when the test ends.
struct HandleSet {
    std::vector<int> handles;
    ~HandleSet() {
        for (int h : handles)
            if (h >= 0) ORVAClose(h);
    }
};

}  // namespace

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
