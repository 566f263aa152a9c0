// SPDX-License-Identifier: Apache-2.0
// Every wait of a call is measured against a deadline fixed when it began:
// signals that keep interrupting it (a periodic timer, with and without
// SA_RESTART) never make it start afresh, and a reply whose pieces come late
// gets no more time than one that does not come at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <array>
#include <atomic>
#include <functional>
#include <limits>
#include <thread>

#include "recording_peer.h"
#include "socket_faults.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::boundedWaitPeer;

std::atomic<int> signalsSeen{0};
void countSignal(int) { signalsSeen.fetch_add(1, std::memory_order_relaxed); }

// SIGALRM every intervalMs while it lives, delivered to the thread that made it:
// every other thread of the process blocks the signal from the start (threads
// inherit the mask), so peers' waits are never interrupted.
class PeriodicSignal {
public:
    PeriodicSignal(int intervalMs, bool restart) {
        struct sigaction action {};
        action.sa_handler = countSignal;
        action.sa_flags = restart ? SA_RESTART : 0;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &saved_);
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        ::pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
        signalsSeen = 0;
        itimerval timer{};
        timer.it_interval.tv_usec = intervalMs * 1000;
        timer.it_value.tv_usec = intervalMs * 1000;
        ::setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~PeriodicSignal() {
        itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
        ::sigaction(SIGALRM, &saved_, nullptr);
    }
    PeriodicSignal(const PeriodicSignal&) = delete;
    PeriodicSignal& operator=(const PeriodicSignal&) = delete;

private:
    struct sigaction saved_ {};
};

void blockAlarmInThisThread() {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
}

// What the adapter does wrong, and what the call then gives.
enum class Stall { request, confirm, trickle, send };
struct SignalCase {
    int intervalMs;
    bool restart;
    Stall stall;
};

std::string nameOf(const ::testing::TestParamInfo<SignalCase>& info) {
    static const char* const stalls[] = {"UnansweredRequest", "UnansweredConfirm", "ReplyTricklingPastTheLimit",
                                         "SendIntoAPeerThatStopsReading"};
    return std::string(stalls[static_cast<int>(info.param.stall)]) + "Every" + std::to_string(info.param.intervalMs) +
           "ms" + (info.param.restart ? "WithRestart" : "WithoutRestart");
}

class UnderSignals : public ::testing::TestWithParam<SignalCase> {
protected:
    void SetUp() override {
        blockAlarmInThisThread();  // before the peer's threads exist
        faults::reset();
    }
    void TearDown() override { faults::reset(); }
};

}  // namespace

TEST_P(UnderSignals, TheCallEndsWithinItsTimeOutWithItsDocumentedResult) {
    const SignalCase c = GetParam();
    ScriptedPeer peer(peerAddress);
    peer.onConnection([stall = c.stall](PeerLink& link) {
        link.readTpkt();
        if (stall == Stall::confirm) {
            bool reset = false;
            link.waitForClientEnd(reset, 3000);
            return;
        }
        link.confirm();
        const Bytes request = link.readTpkt();
        if (stall == Stall::trickle) {
            // One byte every 40 ms: 27 bytes would take over a second.
            const Bytes reply = dataUnit(Bytes(20));
            for (std::uint8_t b : reply) {
                link.send({b});
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
        }
        bool reset = false;
        link.waitForClientEnd(reset, 3000);
    });
    if (c.stall == Stall::send) faults::stallSends(1);  // the connection request goes out, the fetch does not
    Handle h(peerAddress);
    std::array<std::uint8_t, 4> data{};

    long long elapsed = 0;
    int result = ORVA_OK;
    {
        PeriodicSignal signals(c.intervalMs, c.restart);
        Stopwatch watch;
        result = ORVARdB(h, 'M', 0, 0, 4, data.data());
        elapsed = watch.ms();
    }
    EXPECT_GT(signalsSeen.load(), 0) << "the timer interrupted the call";
    const int limit = c.stall == Stall::send ? shortSendMs : shortReceiveMs;
    EXPECT_GE(elapsed, limit - 20);
    EXPECT_LT(elapsed, limit + timingMarginMs);
    if (c.stall == Stall::confirm) {
        EXPECT_EQ(result, ORVA_ERR_CONNECT);
        EXPECT_EQ(ORVAGetSockErr(h), 0);
    } else {
        EXPECT_EQ(result, ORVA_ERR_SOCKET);
        EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAETIMEDOUT);
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, UnderSignals,
                         ::testing::Values(SignalCase{1, true, Stall::request}, SignalCase{1, false, Stall::request},
                                           SignalCase{100, true, Stall::request},
                                           SignalCase{100, false, Stall::request}, SignalCase{1, true, Stall::confirm},
                                           SignalCase{1, false, Stall::confirm}, SignalCase{100, true, Stall::confirm},
                                           SignalCase{100, false, Stall::confirm}, SignalCase{1, true, Stall::trickle},
                                           SignalCase{1, false, Stall::trickle}, SignalCase{100, true, Stall::trickle},
                                           SignalCase{100, false, Stall::trickle}, SignalCase{1, true, Stall::send},
                                           SignalCase{1, false, Stall::send}, SignalCase{100, true, Stall::send},
                                           SignalCase{100, false, Stall::send}),
                         nameOf);

TEST(UnderSignalsToo, AReplyThatTricklesInInTimeCarriesItsData) {
    blockAlarmInThisThread();
    RecordingPeer peer(peerAddress);
    peer.setOverride([](PeerLink& link, const Bytes& request, int) {
        const Bytes reply = acknowledgement(true, RecordingPeer::fetchData(parseRequest(request)));
        for (std::uint8_t b : reply) {
            link.send({b});
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        return true;
    });
    Handle h(peerAddress, "", "", 1000);
    std::array<std::uint8_t, 8> data{};
    PeriodicSignal signals(1, false);
    ASSERT_EQ(ORVARdB(h, 'M', 0, 20, 8, data.data()), ORVA_OK);
    for (std::uint32_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], byteAt(20 + i)) << i;
}

// The reply's header in two pieces, the second late in the window, then
// nothing: the body gets the time that is left, not a time-out of its own.
TEST(ReplyDeadline, AHeaderCompletedLateLeavesTheBodyOnlyTheTimeThatIsLeft) {
    constexpr int receiveMs = 400;
    static constexpr int secondPieceAtMs = 330;
    ScriptedPeer peer(peerAddress);
    peer.onConnection([](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        link.readTpkt();
        link.send(bytesOf("03 00 00"));
        std::this_thread::sleep_for(std::chrono::milliseconds(secondPieceAtMs));
        link.send(bytesOf("1B 02 F0 80 53"));
        bool reset = false;
        link.waitForClientEnd(reset, 3000);
    });
    Handle h(peerAddress, "", "", receiveMs);
    std::array<std::uint8_t, 4> data{};
    Stopwatch watch;
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_ERR_SOCKET);
    EXPECT_LT(watch.ms(), receiveMs + timingMarginMs);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAETIMEDOUT);
}

// A length below the header's own 7 bytes, with more bytes behind it: refused
// at once, before anything else is read, and the connection dropped.
TEST(ReplyDeadline, AHeaderAnnouncingLessThanItselfFailsAtOnce) {
    ScriptedPeer peer(peerAddress);
    std::atomic<bool> sawReset{false};
    peer.onConnection([&sawReset](PeerLink& link) {
        link.readTpkt();
        link.confirm();
        link.readTpkt();
        Bytes reply = bytesOf("03 00 00 05 02 F0 80");
        reply.resize(reply.size() + 2000, 0xAA);
        link.send(reply);
        bool reset = false;
        if (link.waitForClientEnd(reset, 3000)) sawReset = reset;
    });
    constexpr int receiveMs = 3000;
    Handle h(peerAddress, "", "", receiveMs);
    std::array<std::uint8_t, 4> data{0x11, 0x22, 0x33, 0x44};
    Stopwatch watch;
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_ERR_DROPPED);
    EXPECT_LT(watch.ms(), timingMarginMs) << "no wait for bytes that are not wanted";
    EXPECT_EQ(ORVAGetSockErr(h), 0);
    EXPECT_EQ(data, (std::array<std::uint8_t, 4>{0x11, 0x22, 0x33, 0x44})) << "nothing reached the caller";
    for (int i = 0; i < 100 && !sawReset; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(sawReset) << "the connection was reset";
}

namespace {

// How the library's sends stop once the handle is connected: the buffer full
// from the first byte of a write, or part of the telegram moved late in the
// send time-out and then nothing.
struct FullBufferCase {
    const char* name;
    std::function<void()> stall;
    int count;
};

void PrintTo(const FullBufferCase& c, std::ostream* os) { *os << c.name; }

class StoppedReader : public ::testing::TestWithParam<FullBufferCase> {};

}  // namespace

// A peer that stops reading leaves the send buffer full: the write ends after
// the send time-out with 10060, and the next call sets up a new connection.
TEST_P(StoppedReader, AWriteIntoAFullSendBufferEndsAfterTheSendTimeOut) {
    faults::reset();
    RecordingPeer peer(peerAddress);
    faults::stallSends(std::numeric_limits<int>::max());  // watches the library's socket, stalls nothing yet
    Handle h(peerAddress);
    std::vector<std::uint8_t> data(1000, 0x42);
    ASSERT_EQ(ORVAWrB(h, 'M', 0, 0, 10, data.data()), ORVA_OK);  // connected before the stall
    GetParam().stall();
    Stopwatch watch;
    EXPECT_EQ(ORVAWrB(h, 'M', 0, 0, GetParam().count, data.data()), ORVA_ERR_SOCKET);
    EXPECT_GE(watch.ms(), shortSendMs - 20);
    EXPECT_LT(watch.ms(), shortSendMs + timingMarginMs);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAETIMEDOUT);
    faults::reset();
    EXPECT_EQ(ORVAWrB(h, 'M', 0, 0, 10, data.data()), ORVA_OK);
    EXPECT_EQ(peer.connections(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Sends, StoppedReader,
    ::testing::Values(FullBufferCase{"FullFromTheStart", [] { faults::stallSends(faults::sendsSeen()); }, 1000},
                      // The rest gets the time that is left, not a send time-out of its own:
                      // the only test that a send after the first never blocks on the socket.
                      FullBufferCase{"APartLateInTheWindow",
                                     [] { faults::sendPartLateThenStall(faults::sendsSeen(), 100, shortSendMs - 20); },
                                     492}),
    caseName<FullBufferCase>);
