// SPDX-License-Identifier: Apache-2.0
// Every fault of the simulator (sim_faults.h), seen from a raw-socket client on 127.0.0.22.
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <type_traits>
#include "loopback_addresses.h"

using namespace simtest;
using orva::wire::AreaCode;
using orvasim::ConfirmFault;
using orvasim::ConfirmFaultKind;
using orvasim::ConnectionEnd;
using orvasim::ReplyFault;
using orvasim::ReplyFaultKind;

namespace {

// A fault can only be armed for its own phase: a reply fault for a confirm (or
// the other way round) does not compile.
template <class Kind>
concept armableForConfirm = requires(orvasim::Server& s, Kind k) {
    s.armConfirmFault({k});
};
template <class Kind>
concept armableForReply = requires(orvasim::Server& s, Kind k) {
    s.armReplyFault({k});
};
static_assert(armableForConfirm<ConfirmFaultKind> && !armableForConfirm<ReplyFaultKind>);
static_assert(armableForReply<ReplyFaultKind> && !armableForReply<ConfirmFaultKind>);
static_assert(!std::is_invocable_v<decltype(&orvasim::Server::armConfirmFault), orvasim::Server&, ReplyFault>);
static_assert(!std::is_invocable_v<decltype(&orvasim::Server::armReplyFault), orvasim::Server&, ConfirmFault>);

constexpr std::uint8_t codeD = 1, codeM = 2;
const Bytes emptyUnit = {0x03, 0x00, 0x00, 0x07, 0x02, 0xF0, 0x00};

class FaultInjection : public SimFixture {
protected:
    FaultInjection() : SimFixture(orvatest::address::simFaultSim) {}

    void SetUp() override {
        SimFixture::SetUp();
        server.writeBytes(AreaCode::flags, 0, 0, {0x11, 0x22, 0x33, 0x44});
    }

    const Bytes fetch4 = fetchRequest(codeM, 0, 0, 4);
    const Bytes reply4 = expectedReply(0x06, 0, {0x11, 0x22, 0x33, 0x44});
};

// ---------------------------------------------------------------------------
// Faults on the connection request.

TEST_F(FaultInjection, DisconnectInsteadOfConfirm) {
    server.armConfirmFault({ConfirmFaultKind::disconnectInsteadOfConfirm});
    auto c = tcpOnly();
    Bytes dr = c->connectTransport("", "", 0x0042);
    ASSERT_EQ(dr.size(), 11u);
    EXPECT_EQ(dr[5], 0x80);
    EXPECT_EQ(dr[6], 0x00);
    EXPECT_EQ(dr[7], 0x42);
    // The fault is used up: the next request is confirmed.
    Bytes cc = c->connectTransport("", "", 0x0042);
    ASSERT_GE(cc.size(), 6u);
    EXPECT_EQ(cc[5], 0xD0);
}

TEST_F(FaultInjection, ShortConfirm) {
    server.armConfirmFault({ConfirmFaultKind::shortConfirm});
    auto c = tcpOnly();
    ASSERT_TRUE(c->send(connectRequest("", "", 1)));
    EXPECT_EQ(c->receive(100, 300), (Bytes{0x03, 0x00, 0x00, 0x12, 0x0D}));
}

TEST_F(FaultInjection, ConfirmCredit) {
    server.armConfirmFault({ConfirmFaultKind::confirmCredit, 0x13});
    auto c = tcpOnly();
    Bytes cc = c->connectTransport();
    ASSERT_EQ(cc.size(), 18u);
    EXPECT_EQ(cc[5], 0xD3);
    EXPECT_EQ(c->exchange(fetch4), reply4);
}

TEST_F(FaultInjection, SilentConfirm) {
    server.armConfirmFault({ConfirmFaultKind::silentConfirm});
    auto c = tcpOnly();
    ASSERT_TRUE(c->send(connectRequest("", "", 1)));
    EXPECT_TRUE(c->receiveOnce(200).empty());
    EXPECT_EQ(c->waitForEnd(1), PeerEnd::stillOpen);
    EXPECT_EQ(c->connectTransport().size(), 18u);
}

TEST_F(FaultInjection, ResetOnConnectRequest) {
    server.armConfirmFault({ConfirmFaultKind::resetOnConnectRequest});
    auto c = tcpOnly();
    ASSERT_TRUE(c->send(connectRequest("", "", 1)));
    EXPECT_EQ(c->waitForEnd(), PeerEnd::reset);
    ASSERT_TRUE(server.waitForEnds(1, 2000));
    EXPECT_EQ(server.connectionEnds(), std::vector<ConnectionEnd>{ConnectionEnd::reset});
}

TEST_F(FaultInjection, CloseOnConnectRequest) {
    server.armConfirmFault({ConfirmFaultKind::closeOnConnectRequest});
    auto c = tcpOnly();
    ASSERT_TRUE(c->send(connectRequest("", "", 1)));
    EXPECT_EQ(c->waitForEnd(), PeerEnd::orderlyClose);
    // The adapter waits for the client's side: here an abortive close, as the library does.
    c->closeAbortive();
    ASSERT_TRUE(server.waitForEnds(1, 2000));
    EXPECT_EQ(server.connectionEnds(), std::vector<ConnectionEnd>{ConnectionEnd::reset});
}

TEST_F(FaultInjection, ConfirmFaultsAreUsedInOrderByAnyConnection) {
    server.armConfirmFault({ConfirmFaultKind::confirmCredit, 1});
    server.armConfirmFault({ConfirmFaultKind::confirmCredit, 2});
    auto a = tcpOnly();
    auto b = tcpOnly();
    EXPECT_EQ(a->connectTransport()[5], 0xD1);
    EXPECT_EQ(b->connectTransport()[5], 0xD2);
    EXPECT_EQ(tcpOnly()->connectTransport()[5], 0xD0);
    server.armConfirmFault({ConfirmFaultKind::silentConfirm});
    server.clearFaults();
    EXPECT_EQ(tcpOnly()->connectTransport()[5], 0xD0);
}

// ---------------------------------------------------------------------------
// Faults on a reply.

TEST_F(FaultInjection, EmptyUnitsBefore) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::emptyUnitsBefore, 2});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_EQ(c->receive(14), concat(emptyUnit, emptyUnit));
    EXPECT_EQ(c->receiveTelegram(), reply4);
}

TEST_F(FaultInjection, EndlessEmptyUnitsUntilTheClientGivesUp) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::endlessEmptyUnits, 20});
    ASSERT_TRUE(c->send(fetch4));
    Bytes got = c->receive(5 * emptyUnit.size(), 2000);
    ASSERT_EQ(got.size(), 5 * emptyUnit.size());
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(Bytes(got.begin() + static_cast<long>(7 * i), got.begin() + static_cast<long>(7 * i + 7)), emptyUnit);
    c->closeAbortive();
    ASSERT_TRUE(server.waitForEnds(1, 2000));
    EXPECT_EQ(server.connectionEnds(), std::vector<ConnectionEnd>{ConnectionEnd::reset});
}

TEST_F(FaultInjection, SplitReply) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::splitReply, 3, 80});
    auto t = Clock::now();
    ASSERT_TRUE(c->send(fetch4));
    Bytes first = c->receiveOnce();
    EXPECT_EQ(first.size(), reply4.size() / 3);
    Bytes rest = c->receive(reply4.size() - first.size());
    EXPECT_EQ(concat(first, rest), reply4);
    EXPECT_GE(msSince(t), 150);
}

TEST_F(FaultInjection, Drip) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::drip, 0, 5});
    ASSERT_TRUE(c->send(fetch4));
    Bytes first = c->receiveOnce();
    EXPECT_EQ(first, Bytes{0x03});
    EXPECT_EQ(concat(first, c->receive(reply4.size() - 1)), reply4);
}

TEST_F(FaultInjection, SilenceThenTheNextRequestIsAnswered) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::silence});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_TRUE(c->receiveOnce(200).empty());
    EXPECT_EQ(c->exchange(fetch4), reply4);
}

TEST_F(FaultInjection, ResetBeforeReply) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::resetBeforeReply});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_EQ(c->waitForEnd(), PeerEnd::reset);
}

TEST_F(FaultInjection, CloseBeforeReply) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::closeBeforeReply});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_EQ(c->waitForEnd(), PeerEnd::orderlyClose);
    c->closeOrderly();
    ASSERT_TRUE(server.waitForEnds(1, 2000));
    EXPECT_EQ(server.connectionEnds(), std::vector<ConnectionEnd>{ConnectionEnd::orderlyClose});
}

TEST_F(FaultInjection, ResetAfterBytes) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::resetAfterBytes, 10});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_EQ(c->receive(100), Bytes(reply4.begin(), reply4.begin() + 10));
    EXPECT_EQ(c->lastErrno(), ECONNRESET);
}

TEST_F(FaultInjection, CloseAfterBytes) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::closeAfterBytes, 10});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_EQ(c->receive(100), Bytes(reply4.begin(), reply4.begin() + 10));
    EXPECT_EQ(c->lastErrno(), 0);  // end of file
}

TEST_F(FaultInjection, WrongDataLength) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::wrongDataLength, 2});
    Bytes longer = c->exchange(fetch4);
    ASSERT_EQ(longer.size(), 29u);
    EXPECT_EQ(longer[3], 29);
    EXPECT_EQ(Bytes(longer.begin(), longer.begin() + 3), Bytes(reply4.begin(), reply4.begin() + 3));
    EXPECT_EQ(Bytes(longer.begin() + 4, longer.begin() + 27), Bytes(reply4.begin() + 4, reply4.end()));

    server.armReplyFault({ReplyFaultKind::wrongDataLength, -3});
    Bytes shorter = c->exchange(fetch4);
    ASSERT_EQ(shorter.size(), 24u);
    EXPECT_EQ(shorter[3], 24);
    EXPECT_EQ(shorter[23], 0x11);

    // Fewer bytes than an acknowledgement: a 21-byte answer to a fetch of nothing.
    server.armReplyFault({ReplyFaultKind::wrongDataLength, -2});
    Bytes cut = c->exchange(fetchRequest(codeM, 0, 0, 0));
    ASSERT_EQ(cut.size(), 21u);
    EXPECT_EQ(cut[3], 21);
}

// badTypeByte, badEotByte and tpktLength: the reply with one field replaced by the fault's value, and nothing after it.
TEST_F(FaultInjection, ReplacedFields) {
    struct Case {
        ReplyFaultKind kind;
        int value;
        std::size_t offset;
        Bytes field;
    };
    for (const Case& f :
         {Case{ReplyFaultKind::badTypeByte, 0xE0, 5, {0xE0}}, Case{ReplyFaultKind::badEotByte, 0x00, 6, {0x00}},
          Case{ReplyFaultKind::tpktLength, 0x0405, 2, {0x04, 0x05}}}) {
        SCOPED_TRACE(orvasim::faultEntry(f.kind).name);
        auto c = connected();
        server.armReplyFault({f.kind, f.value});
        ASSERT_TRUE(c->send(fetch4));
        Bytes expected = reply4;
        std::copy(f.field.begin(), f.field.end(), expected.begin() + static_cast<long>(f.offset));
        EXPECT_EQ(c->receive(expected.size()), expected);
        EXPECT_TRUE(c->receiveOnce(100).empty());
    }
}

TEST_F(FaultInjection, ErrorByteRefusesTheWrite) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::errorByte, 3});
    EXPECT_EQ(c->exchange(writeRequest(codeD, 0, 0, 1, {0x12, 0x34})), expectedReply(0x04, 3));
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 0, 0), 0);
    server.armReplyFault({ReplyFaultKind::errorByte, 2});
    EXPECT_EQ(c->exchange(fetch4), expectedReply(0x06, 2));
}

TEST_F(FaultInjection, ErrorByteWithData) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::errorByteWithData, 3});
    EXPECT_EQ(c->exchange(fetch4), expectedReply(0x06, 3, {0x11, 0x22, 0x33, 0x44}));
    server.armReplyFault({ReplyFaultKind::errorByteWithData, 5});
    EXPECT_EQ(c->exchange(writeRequest(codeD, 0, 0, 1, {0x12, 0x34})), expectedReply(0x04, 5));
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 0, 0), 0x1234);
}

TEST_F(FaultInjection, DelayReply) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::delayReply, 0, 150});
    auto t = Clock::now();
    EXPECT_EQ(c->exchange(fetch4), reply4);
    EXPECT_GE(msSince(t), 140);
}

TEST_F(FaultInjection, DuplicateReplyIsTheReplyTwiceInOneSend) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::duplicateReply});
    ASSERT_TRUE(c->send(fetch4));
    EXPECT_EQ(c->receiveOnce(), concat(reply4, reply4));
    EXPECT_TRUE(c->receiveOnce(100).empty());
    EXPECT_EQ(c->exchange(fetch4), reply4);
}

TEST_F(FaultInjection, ReplyFaultsAreUsedOnceEach) {
    auto c = connected();
    server.armReplyFault({ReplyFaultKind::badEotByte, 0x00});
    server.armReplyFault({ReplyFaultKind::errorByte, 2});
    EXPECT_EQ(c->exchange(fetch4)[6], 0x00);
    EXPECT_EQ(c->exchange(fetch4), expectedReply(0x06, 2));
    EXPECT_EQ(c->exchange(fetch4), reply4);
}

}  // namespace
