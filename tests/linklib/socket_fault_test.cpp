// SPDX-License-Identifier: Apache-2.0
// The set-up and exchange rows that need a socket call to fail: no socket, a
// socket option refused, a connection request or a data telegram sent only in
// part. The calls fail from outside the library (socket_faults), so the shipped
// library has no seam for them. Each row: its result, ORVAGetSockErr, what
// happened to the socket, and recovery; and no socket error outlives the call
// that raised it, on this handle or another.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <limits>
#include <thread>

#include "recording_peer.h"
#include "socket_faults.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::socketFaultPeer;
constexpr const char* refusingAddress = orvatest::address::socketFaultNobody;  // nothing listens here

int openDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr) ++n;
        ::closedir(d);
    }
    return n;
}

// Answers the second request with a unit that is no data unit: a failure that
// raises no socket error of its own.
void answerSecondWithNoDataUnit(RecordingPeer& peer) {
    peer.setOverride([](PeerLink& link, const Bytes&, int index) {
        if (index != 1) return false;
        Bytes notData = acknowledgement(true);
        notData[orva::wire::cotpCodeOffset] = 0xE0;
        link.send(notData);
        return true;
    });
}

class SocketFaults : public ::testing::Test {
protected:
    void SetUp() override { faults::reset(); }
    void TearDown() override { faults::reset(); }

    // A handle whose last call was refused: its record holds 10061 and -6.
    static void refuseOnce(int h) {
        std::array<std::uint8_t, 2> b{};
        ASSERT_EQ(ORVARdB(h, 'M', 0, 0, 2, b.data()), ORVA_ERR_SOCKET);
        ASSERT_EQ(ORVAGetSockErr(h), ORVA_WSAECONNREFUSED);
    }

    // Connects `other` with one good read; the peer answers the read after it
    // with a unit that is no data unit, a failure with no socket error of its own.
    void connectOther() {
        answerSecondWithNoDataUnit(peer);
        ASSERT_EQ(ORVARdB(other, 'M', 0, 0, 4, data.data()), ORVA_OK);
    }
    // That read: whatever the other handles' calls raised, it reports none.
    void expectOtherFailsWithoutASocketError() {
        EXPECT_EQ(ORVARdB(other, 'M', 0, 0, 4, data.data()), ORVA_ERR_DROPPED);
        EXPECT_EQ(ORVAGetSockErr(other), 0);
    }

    RecordingPeer peer{peerAddress};
    std::array<std::uint8_t, 4> data{};
    Handle other{peerAddress};  // sends nothing until a test calls on it
};

}  // namespace

TEST_F(SocketFaults, NoSocketLeavesTheRecordAsItWasAndTheNextCallConnects) {
    Handle fresh(peerAddress);
    Handle refused(refusingAddress);
    refuseOnce(refused);

    faults::failNextSocket(EMFILE);
    EXPECT_EQ(ORVARdB(fresh, 'M', 0, 0, 4, data.data()), ORVA_ERR_FAILED) << "nothing recorded on a fresh handle";
    EXPECT_EQ(ORVAGetSockErr(fresh), 0);
    faults::failNextSocket(EMFILE);
    EXPECT_EQ(ORVARdB(refused, 'M', 0, 0, 4, data.data()), ORVA_ERR_SOCKET) << "the earlier error stays";
    EXPECT_EQ(ORVAGetSockErr(refused), ORVA_WSAECONNREFUSED);
    EXPECT_EQ(peer.connections(), 0);

    EXPECT_EQ(ORVARdB(fresh, 'M', 0, 0, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[2], byteAt(2));
}

TEST_F(SocketFaults, AnOptionThatCannotBeSetClosesTheSocketBeforeAnyConnect) {
    for (const int option : {SO_SNDTIMEO, SO_RCVTIMEO, SO_LINGER}) {
        faults::reset();
        const int before = openDescriptors();
        Handle fresh(peerAddress);
        faults::failOption(option, ENOBUFS);
        EXPECT_EQ(ORVARdB(fresh, 'M', 0, 0, 4, data.data()), ORVA_ERR_FAILED) << option;
        EXPECT_EQ(ORVAGetSockErr(fresh), 0) << option;
        EXPECT_EQ(openDescriptors(), before) << "the socket was closed, option " << option;
        EXPECT_EQ(peer.connections(), 0) << option;
    }
    faults::reset();
    Handle h(peerAddress);
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_OK);
}

TEST_F(SocketFaults, AConnectionRequestSentInPartFailsTheSetUpAndResetsTheSocket) {
    Handle h(peerAddress);
    faults::cutSend(0, 5, EPIPE);  // 5 of the 18 bytes, then the send fails
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_ERR_CONNECT);
    EXPECT_EQ(ORVAGetSockErr(h), 0) << "a request sent in part records no socket error";
    EXPECT_TRUE(peer.connectRequests().empty()) << "the adapter never saw a whole request";
    faults::reset();
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_OK);
    EXPECT_EQ(peer.connections(), 2);
    ASSERT_EQ(peer.connectRequests().size(), 1u);
    EXPECT_EQ(peer.connectRequests()[0].size(), 18u);
}

TEST_F(SocketFaults, ADataTelegramSentInPartDropsTheConnectionWithTheSendError) {
    Handle h(peerAddress);
    faults::cutSend(1, 10, EPIPE);  // the connection request goes out; 10 bytes of the fetch
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 4, data.data()), ORVA_ERR_SOCKET);
    EXPECT_EQ(ORVAGetSockErr(h), ORVA_WSAECONNRESET);
    EXPECT_TRUE(peer.requests().empty());
    faults::reset();
    EXPECT_EQ(ORVARdB(h, 'M', 0, 4, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[0], byteAt(4));
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(ORVAGetSockErr(h), 0);
}

// A socket error raised by one handle's call is not reported by a later call on
// another handle, in the same thread, whose failure raised none of its own. The
// other handle is connected already, so nothing of its own set-up clears it.
TEST_F(SocketFaults, OneHandlesSocketErrorNeverBecomesAnothers) {
    connectOther();
    Handle badOption(peerAddress);
    faults::failOption(SO_RCVTIMEO, ENOBUFS);
    ASSERT_EQ(ORVARdB(badOption, 'M', 0, 0, 4, data.data()), ORVA_ERR_FAILED);
    faults::reset();
    Handle noSocket(peerAddress);
    faults::failNextSocket(EMFILE);
    ASSERT_EQ(ORVARdB(noSocket, 'M', 0, 0, 4, data.data()), ORVA_ERR_FAILED);
    faults::reset();

    expectOtherFailsWithoutASocketError();
    EXPECT_EQ(ORVAGetSockErr(noSocket), 0);
    EXPECT_EQ(ORVAGetSockErr(badOption), 0);
}

// The same with the process really out of descriptors.
TEST_F(SocketFaults, ARealDescriptorLimitLeavesNothingBehindForAnotherHandle) {
    connectOther();
    Handle refused(refusingAddress);
    refuseOnce(refused);
    Handle fresh(peerAddress);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The lowest free descriptor becomes the limit: no new one can be opened.
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int freshResult = ORVARdB(fresh, 'M', 0, 0, 2, data.data());
    const int freshError = ORVAGetSockErr(fresh);
    const int refusedResult = ORVARdB(refused, 'M', 0, 0, 2, data.data());
    const int refusedError = ORVAGetSockErr(refused);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    EXPECT_EQ(freshResult, ORVA_ERR_FAILED) << "nothing recorded on a fresh handle";
    EXPECT_EQ(freshError, 0);
    EXPECT_EQ(refusedResult, ORVA_ERR_SOCKET) << "the earlier error stays";
    EXPECT_EQ(refusedError, ORVA_WSAECONNREFUSED);
    expectOtherFailsWithoutASocketError();
    // With descriptors back, the fresh handle connects.
    EXPECT_EQ(ORVARdB(fresh, 'M', 0, 0, 2, data.data()), ORVA_OK);
}
