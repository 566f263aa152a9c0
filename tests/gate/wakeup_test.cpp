// SPDX-License-Identifier: Apache-2.0
// The MQTT link's wake-up loses no signal, whatever the interleaving: a
// thread that signals after the waiter looked always wakes it again.
#include "wakeup.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace orvagate {
namespace {

bool readable(const Wakeup& w, int timeoutMs) {
    pollfd fd{w.fd(), POLLIN, 0};
    return ::poll(&fd, 1, timeoutMs) == 1;
}

TEST(Wakeup, OneSignalOneWake) {
    Wakeup w;
    EXPECT_FALSE(readable(w, 0));
    w.signal();
    w.signal();  // pending already: no second write
    EXPECT_TRUE(readable(w, 0));
    w.drain();
    EXPECT_FALSE(readable(w, 0));
    w.signal();
    EXPECT_TRUE(readable(w, 0));
}

// Producers count and signal; the waiter drains, then reads the count, as the
// link drains and then takes from the outbox. A count that moves on after the
// waiter read it must wake the waiter again.
TEST(Wakeup, NoSignalIsLostBetweenThreads) {
    Wakeup w;
    std::atomic<long> produced{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> producers;
    for (int t = 0; t < 3; ++t)
        producers.emplace_back([&] {
            while (!stop) {
                produced.fetch_add(1);
                w.signal();
            }
        });
    long seen = 0;
    long wakes = 0;
    bool lost = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end && !lost) {
        if (!readable(w, 500)) {
            lost = produced.load() > seen;
            break;
        }
        w.drain();
        seen = produced.load();
        ++wakes;
    }
    stop = true;
    for (auto& p : producers) p.join();
    EXPECT_FALSE(lost) << "no wake-up for the signals after " << seen << " of " << produced.load() << ", after "
                       << wakes << " wake-ups";
    EXPECT_GT(wakes, 100);
}

}  // namespace
}  // namespace orvagate
