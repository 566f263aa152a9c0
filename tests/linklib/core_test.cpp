// SPDX-License-Identifier: Apache-2.0
// Inner parts of the library that the exported functions cannot show: the
// source reference cycle, the stored time-outs, the table's range of handles,
// a call that finds its handle closed while it waited for the slot, and the
// socket error numbers the platform layer can report.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <thread>

#include "connection_table.h"
#include "loopback_addresses.h"
#include "orvanet.h"
#include "platform/socket_primitives.h"
#include "transport.h"

using orva::ConnectionTable;
using orva::OpenHandle;
using orva::Transport;
namespace wsa = orva::platform::wsa;

namespace {
// Makes the next nothrow allocation of a connection object fail.
std::atomic<bool> failNextNothrowNew{false};
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (size == sizeof(OpenHandle) && failNextNothrowNew.exchange(false)) return nullptr;
    // From the ordinary operator new, so that the ordinary delete can free it.
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

// The only test of the wrap at 0x6000: the exported functions cannot show it.
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
    Transport c;
    c.configure("127.0.0.1", 102, "", "", 0, 0, 0);
    EXPECT_EQ(c.receiveTimeout(), 500u);
    EXPECT_EQ(c.sendTimeout(), 500u);
    EXPECT_EQ(c.connectTimeout(), 5000u);
    Transport d;
    d.configure("127.0.0.1", 102, "", "", 1, 2, 3);
    EXPECT_EQ(d.receiveTimeout(), 1u);
    EXPECT_EQ(d.sendTimeout(), 2u);
    EXPECT_EQ(d.connectTimeout(), 3u);
    EXPECT_FALSE(d.isConnected());
    EXPECT_EQ(d.socket(), orva::platform::invalidSocket) << "configuring opens no socket";
}

// As orvanet.h says: the unsigned 32-bit number of the int's bits.
TEST(Configure, ANegativeTimeOutIsTakenAsTheUnsignedNumberOfItsBits) {
    Transport c;
    c.configure("127.0.0.1", 102, "", "", -1, -2, INT_MIN);
    EXPECT_EQ(c.receiveTimeout(), 4294967295u) << "about 49.7 days";
    EXPECT_EQ(c.sendTimeout(), 4294967294u);
    EXPECT_EQ(c.connectTimeout(), 2147483648u);
}

// A table in storage whose bytes behind it are all set: a range check that let
// 64 through would read them as the in-use flag of a slot 64 and call it open.
// (The flags are the table's last member.)
TEST(Table, NoHandleOutside0To63IsEverOpenEvenWithEverySlotInUse) {
    struct alignas(ConnectionTable) Storage {
        unsigned char bytes[sizeof(ConnectionTable) + 64];
    };
    auto storage = std::make_unique<Storage>();
    std::memset(storage->bytes, 0xFF, sizeof storage->bytes);
    auto* table = new (storage->bytes) ConnectionTable;
    for (int i = 0; i < ConnectionTable::slotCount; ++i) ASSERT_EQ(table->claimSlot(), i);
    EXPECT_EQ(table->claimSlot(), ConnectionTable::noSlot);
    EXPECT_TRUE(table->isOpen(0));
    EXPECT_TRUE(table->isOpen(63));
    for (const int handle : {64, 65, -1, INT_MIN, INT_MAX}) EXPECT_FALSE(table->isOpen(handle)) << handle;
    EXPECT_EQ(table->handleIn(64), nullptr);
    table->~ConnectionTable();
}

// The only test of the re-check under the lock: the exported functions cannot
// hold a slot's lock from outside.
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

// Every number the platform layer can report is one the header names, with
// words; and the header names no number the platform cannot report.
TEST(SocketErrors, ThePlatformReportsExactlyTheNumbersTheHeaderNames) {
    const auto& reported = wsa::reported;
    for (int n = 10000; n < 12000; ++n) {
        const bool named = std::strlen(ORVASocketErrorText(n)) > 0;
        const bool listed = std::find(reported.begin(), reported.end(), n) != reported.end();
        EXPECT_EQ(named, listed) << n;
    }
    EXPECT_STREQ(ORVASocketErrorText(wsa::none), "none");
}

TEST(SocketErrors, EveryOsErrorMapsToANamedNumber) {
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(0), wsa::none);
    for (int e = 1; e < 4096; ++e) {
        const int n = orva::platform::detail::wsaErrorOf(e);
        EXPECT_GT(std::strlen(ORVASocketErrorText(n)), 0u) << "OS error " << e << " reported as " << n;
        EXPECT_NE(n, wsa::none) << "OS error " << e << " reported as no error";
    }
#if !defined(_WIN32)
    // The numbers the failure tests meet, spelt out.
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(ECONNREFUSED), 10061);
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(ETIMEDOUT), 10060);
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(EAGAIN), 10060);
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(ECONNRESET), 10054);
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(EPIPE), 10054);
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(EHOSTUNREACH), 10065);
    EXPECT_EQ(orva::platform::detail::wsaErrorOf(EMFILE), 10024);
#endif
}

// What the Windows file makes of Winsock's numbers: its own where the header
// names it, any other as "invalid argument".
TEST(SocketErrors, AWindowsSocketsNumberTheHeaderDoesNotNameIsReportedAsInvalidArgument) {
    EXPECT_EQ(wsa::reportable(0), 0);
    EXPECT_EQ(wsa::reportable(10061), 10061);
    EXPECT_EQ(wsa::reportable(10014), 10014);
    EXPECT_EQ(wsa::reportable(10035), 10022) << "WSAEWOULDBLOCK";
    EXPECT_EQ(wsa::reportable(10093), 10022) << "WSANOTINITIALISED";
    EXPECT_EQ(wsa::reportable(-1), 10022);
}
