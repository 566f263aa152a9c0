// SPDX-License-Identifier: Apache-2.0
// Inner parts of the library that the exported functions cannot show: the
// source reference cycle, the stored time-outs, and a call that finds its
// handle closed while it waited for the slot.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <chrono>
#include <future>
#include <thread>

#include "connection_table.h"
#include "orvanet.h"
#include "plc_connection.h"
#include "loopback_addresses.h"

using orva::PlcConnection;

namespace {
// Makes the next nothrow allocation of a connection object fail.
std::atomic<bool> failNextNothrowNew{false};
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (size == sizeof(PlcConnection) && failNextNothrowNew.exchange(false)) return nullptr;
    // From the ordinary operator new, so that the ordinary delete can free it.
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

TEST(SourceReference, CyclesFromOneTo0x6000ThenThroughZero) {
    orva::resetSourceReferenceCounter();
    EXPECT_EQ(orva::takeSourceReference(), 1);
    EXPECT_EQ(orva::takeSourceReference(), 2);
    for (int i = 3; i < 0x6000; ++i) orva::takeSourceReference();
    EXPECT_EQ(orva::takeSourceReference(), 0x6000) << "the 24576th";
    EXPECT_EQ(orva::takeSourceReference(), 0);
    EXPECT_EQ(orva::takeSourceReference(), 1);
}

TEST(SourceReference, ParallelTakersNeverShareOrLoseAValue) {
    orva::resetSourceReferenceCounter();
    constexpr int threads = 4, each = 3000;
    std::array<std::vector<std::uint16_t>, threads> taken;
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                for (int i = 0; i < each; ++i) taken[t].push_back(orva::takeSourceReference());
            });
    }
    std::vector<bool> seen(threads * each + 1, false);
    for (const auto& v : taken)
        for (std::uint16_t r : v) {
            ASSERT_LT(r, seen.size());
            ASSERT_FALSE(seen[r]) << r;
            seen[r] = true;
        }
    EXPECT_EQ(orva::takeSourceReference(), threads * each + 1);
}

TEST(Configure, ZeroTimeoutsTakeTheDefaultsAndOthersAreKeptAsGiven) {
    PlcConnection c;
    c.configure("127.0.0.1", 102, "", "", 0, 0, 0);
    EXPECT_EQ(c.receiveTimeout(), 500u);
    EXPECT_EQ(c.sendTimeout(), 500u);
    EXPECT_EQ(c.connectTimeout(), 5000u);
    PlcConnection d;
    d.configure("127.0.0.1", 102, "", "", 1, 2, 3);
    EXPECT_EQ(d.receiveTimeout(), 1u);
    EXPECT_EQ(d.sendTimeout(), 2u);
    EXPECT_EQ(d.connectTimeout(), 3u);
    EXPECT_FALSE(d.isConnected());
    EXPECT_EQ(d.socket(), orva::platform::invalidSocket) << "configuring opens no socket";
}

TEST(SlotLock, ACallWaitingForTheLockOfAHandleClosedMeanwhileGetsInvalidHandle) {
    const int h = ORVAOpen(orvatest::address::slotLockPeer, "", "", 0, 0, 0);
    ASSERT_GE(h, 0);
    std::future<int> waiting;
    {
        // Hold the slot as a long call on another thread would.
        std::lock_guard busy(orva::connectionTable().lockOf(h));
        waiting = std::async(std::launch::async, [h] {
            std::array<std::uint8_t, 1> b{};
            return ORVARdB(h, 'E', 0, 0, 1, b.data());
        });
        // Let it pass the open check and block on the lock.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
        EXPECT_EQ(ORVAClose(h), ORVA_OK);  // the lock is re-entrant for its holder
    }
    EXPECT_EQ(waiting.get(), ORVA_ERR_HANDLE);
}

TEST(Open, AConnectionObjectThatCannotBeMadeGivesTheSlotBack) {
    const int first = ORVAOpen(orvatest::address::slotLockPeer, "", "", 0, 0, 0);
    ASSERT_GE(first, 0);
    ASSERT_EQ(ORVAClose(first), ORVA_OK);
    failNextNothrowNew = true;
    EXPECT_EQ(ORVAOpen(orvatest::address::slotLockPeer, "", "", 0, 0, 0), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVAClose(first), ORVA_ERR_HANDLE) << "the slot is not left half open";
    const int again = ORVAOpen(orvatest::address::slotLockPeer, "", "", 0, 0, 0);
    EXPECT_EQ(again, first);
    EXPECT_EQ(ORVAClose(again), ORVA_OK);
}
