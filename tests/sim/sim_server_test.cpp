// SPDX-License-Identifier: Apache-2.0
// The simulator on its own, driven by a raw-socket client on 127.0.0.20.
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include "loopback_addresses.h"

using namespace simtest;
using orva::wire::AreaCode;
using orvasim::ConnectionEnd;
using orvasim::ReplyFaultKind;

namespace {

// Area codes of the fetch/write header, written out here on purpose.
constexpr std::uint8_t codeD = 1, codeM = 2, codeE = 3, codeA = 4, codeZ = 6, codeT = 7, codeX = 10;

class SimServerTest : public SimFixture {
protected:
    SimServerTest() : SimFixture(orvatest::address::simServerSim) {}
};

// ---------------------------------------------------------------------------
// Connection set-up.

TEST_F(SimServerTest, ConfirmEchoesReferenceAndParameters) {
    auto c = tcpOnly();
    Bytes cc = c->connectTransport("ab", "c", 0x1234);
    ASSERT_EQ(cc.size(), 21u);
    // TPKT, LI 16, CC, DST-REF = our SRC-REF, SRC-REF of its own, class 0.
    EXPECT_EQ(Bytes(cc.begin(), cc.begin() + 8), (Bytes{0x03, 0x00, 0x00, 0x15, 0x10, 0xD0, 0x12, 0x34}));
    EXPECT_NE((cc[8] << 8) | cc[9], 0);
    EXPECT_EQ(cc[10], 0x00);
    EXPECT_EQ(Bytes(cc.begin() + 11, cc.end()), (Bytes{0xC1, 2, 'a', 'b', 0xC2, 1, 'c', 0xC0, 1, 9}));
}

TEST_F(SimServerTest, ConfirmOfShortestRequest) {
    auto c = tcpOnly();
    Bytes cr = connectRequest("", "", 1);
    ASSERT_EQ(cr, (Bytes{0x03, 0x00, 0x00, 0x12, 0x0D, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC1, 0x00, 0xC2, 0x00, 0xC0,
                         0x01, 0x09}));
    ASSERT_TRUE(c->send(cr));
    Bytes cc = c->receiveTelegram();
    ASSERT_EQ(cc.size(), 18u);
    EXPECT_EQ(cc[4], 0x0D);
    EXPECT_EQ(cc[5], 0xD0);
    EXPECT_EQ(cc[6], 0x00);
    EXPECT_EQ(cc[7], 0x01);
}

TEST_F(SimServerTest, RecordsConnectRequestsAndRequestsWhole) {
    auto c = tcpOnly();
    Bytes cr = connectRequest("PC", "PLC01", 7);
    ASSERT_TRUE(c->send(cr));
    ASSERT_FALSE(c->receiveTelegram().empty());
    Bytes fetch = fetchRequest(codeM, 0, 4, 2);
    ASSERT_FALSE(c->exchange(fetch).empty());
    EXPECT_EQ(server.connectRequests(), std::vector<Bytes>{cr});
    EXPECT_EQ(server.requests(), std::vector<Bytes>{fetch});
    EXPECT_EQ(server.connectionsAccepted(), 1);
    server.clearRecord();
    EXPECT_TRUE(server.connectRequests().empty());
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(server.connectionsAccepted(), 0);
}

// ---------------------------------------------------------------------------
// Fetch and write.

TEST_F(SimServerTest, FetchTenFlagBytesAsTheLibrarySendsIt) {
    server.writeBytes(AreaCode::flags, 0, 0x0102, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    auto c = connected();
    // 10 bytes from M, block 7, start 0x0102, as the library puts it on the wire.
    Bytes request = {0x03, 0x00, 0x00, 0x17, 0x02, 0xF0, 0x80, 0x53, 0x35, 0x10, 0x01, 0x03,
                     0x05, 0x03, 0x08, 0x02, 0x07, 0x01, 0x02, 0x00, 0x0A, 0xFF, 0x02};
    Bytes reply = c->exchange(request);
    Bytes expected = {0x03, 0x00, 0x00, 0x21, 0x02, 0xF0, 0x80, 0x53, 0x35, 0x10, 0x01,
                      0x03, 0x06, 0x0F, 0x03, 0x00, 0xFF, 0x07, 0x00, 0x00, 0x00, 0x00,
                      0x00, 1,    2,    3,    4,    5,    6,    7,    8,    9,    10};
    EXPECT_EQ(reply, expected);
}

TEST_F(SimServerTest, WriteIsAcknowledgedWithoutData) {
    auto c = connected();
    Bytes reply = c->exchange(writeRequest(codeD, 3, 10, 2, {0x12, 0x34, 0xAB, 0xCD}));
    EXPECT_EQ(reply, expectedReply(0x04, 0));
    ASSERT_EQ(reply.size(), 23u);
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 3, 10), 0x1234);
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 3, 11), 0xABCD);
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 4, 10), 0);  // another block
}

struct AreaCase {
    std::uint8_t code;
    AreaCode area;
    bool words;
};

void PrintTo(const AreaCase& a, std::ostream* os) {
    *os << "area code " << int(a.code) << (a.words ? " (words)" : " (bytes)");
}

class SimAreaTest : public SimServerTest, public ::testing::WithParamInterface<AreaCase> {};

TEST_P(SimAreaTest, WriteAndFetchInTheAreasUnit) {
    const AreaCase& a = GetParam();
    auto c = connected();
    // Four units from start 100: 4 bytes or 4 words.
    Bytes data = a.words ? Bytes{1, 2, 3, 4, 5, 6, 7, 8} : Bytes{1, 2, 3, 4};
    EXPECT_EQ(c->exchange(writeRequest(a.code, 9, 100, 4, data)), expectedReply(0x04, 0));
    int offset = a.words ? 200 : 100;
    EXPECT_EQ(server.readBytes(a.area, 9, offset, static_cast<int>(data.size())), data);
    EXPECT_EQ(server.readBytes(a.area, 9, offset - 1, 1), Bytes{0});
    EXPECT_EQ(c->exchange(fetchRequest(a.code, 9, 100, 4)), expectedReply(0x06, 0, data));

    // Memory written directly is fetched at the same place.
    server.writeBytes(a.area, 9, a.words ? 2 : 1, {0xAA, 0xBB});
    EXPECT_EQ(c->exchange(fetchRequest(a.code, 9, 1, 1)),
              expectedReply(0x06, 0, a.words ? Bytes{0xAA, 0xBB} : Bytes{0xAA}));
}

TEST_P(SimAreaTest, WholeAreaEndIsReachableAndOneMoreIsTooSmall) {
    const AreaCase& a = GetParam();
    auto c = connected();
    std::uint16_t size = a.area == AreaCode::dataBlock || a.area == AreaCode::extendedDataBlock ? 2048 : 0xFFFF;
    // The last unit of the area (for E/A/M/T/Z: address 65535).
    std::uint16_t last = a.area == AreaCode::dataBlock || a.area == AreaCode::extendedDataBlock ? size - 1 : 0xFFFF;
    Bytes zeros(a.words ? 2 : 1, 0);
    EXPECT_EQ(c->exchange(fetchRequest(a.code, 0, last, 1)), expectedReply(0x06, 0, zeros));
    EXPECT_EQ(c->exchange(fetchRequest(a.code, 0, last, 2)), expectedReply(0x06, 3));
    EXPECT_EQ(c->exchange(writeRequest(a.code, 0, last, 2, Bytes(zeros.size() * 2, 0x55))), expectedReply(0x04, 3));
}

INSTANTIATE_TEST_SUITE_P(
    Areas, SimAreaTest,
    ::testing::Values(AreaCase{codeE, AreaCode::inputs, false}, AreaCase{codeA, AreaCode::outputs, false},
                      AreaCase{codeM, AreaCode::flags, false}, AreaCase{codeD, AreaCode::dataBlock, true},
                      AreaCase{codeX, AreaCode::extendedDataBlock, true}, AreaCase{codeT, AreaCode::timers, true},
                      AreaCase{codeZ, AreaCode::counters, true}),
    [](const auto& info) { return std::string(1, "?DMEA?ZT??X"[info.param.code]); });

TEST_F(SimServerTest, BlockNumberSelectsOnlyDataBlocks) {
    server.writeWord(AreaCode::dataBlock, 5, 0, 0x0505);
    server.writeWord(AreaCode::extendedDataBlock, 5, 0, 0x0A05);
    server.writeBytes(AreaCode::inputs, 0, 0, {0x33});
    auto c = connected();
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 5, 0, 1)), expectedReply(0x06, 0, {0x05, 0x05}));
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 6, 0, 1)), expectedReply(0x06, 0, {0x00, 0x00}));
    EXPECT_EQ(c->exchange(fetchRequest(codeX, 5, 0, 1)), expectedReply(0x06, 0, {0x0A, 0x05}));
    EXPECT_EQ(c->exchange(fetchRequest(codeE, 200, 0, 1)), expectedReply(0x06, 0, {0x33}));
}

TEST_F(SimServerTest, MissingBlockOrAreaIsErrorTwoWithoutData) {
    server.setBlockWords(AreaCode::extendedDataBlock, 7, 0);
    auto c = connected();
    Bytes reply = c->exchange(fetchRequest(codeX, 7, 0, 1));
    EXPECT_EQ(reply, expectedReply(0x06, 2));
    EXPECT_EQ(reply.size(), 23u);
    EXPECT_EQ(c->exchange(writeRequest(codeX, 7, 0, 1, {1, 2})), expectedReply(0x04, 2));
    EXPECT_EQ(c->exchange(fetchRequest(5, 0, 0, 1)), expectedReply(0x06, 2));  // no area has code 5
    EXPECT_EQ(c->exchange(fetchRequest(codeX, 8, 0, 1)), expectedReply(0x06, 0, {0, 0}));
}

TEST_F(SimServerTest, AccessPastTheBlockIsErrorThreeAndWritesNothing) {
    server.setBlockWords(AreaCode::dataBlock, 2, 10);
    auto c = connected();
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 2, 8, 2)), expectedReply(0x06, 0, {0, 0, 0, 0}));
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 2, 8, 3)), expectedReply(0x06, 3));
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 2, 10, 1)), expectedReply(0x06, 3));
    EXPECT_EQ(c->exchange(writeRequest(codeD, 2, 9, 2, {1, 2, 3, 4})), expectedReply(0x04, 3));
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 2, 9), 0);
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 3, 2047, 2)), expectedReply(0x06, 3));  // default 2048 words
}

TEST_F(SimServerTest, BlockResizedToTheLargestSize) {
    server.setBlockWords(AreaCode::dataBlock, 255, 65535);
    server.writeWord(AreaCode::dataBlock, 255, 65534, 0xBEEF);
    auto c = connected();
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 255, 65534, 1)), expectedReply(0x06, 0, {0xBE, 0xEF}));
    EXPECT_EQ(c->exchange(fetchRequest(codeD, 255, 65535, 1)), expectedReply(0x06, 3));
    EXPECT_THROW(server.setBlockWords(AreaCode::dataBlock, 1, 65536), std::out_of_range);
    EXPECT_THROW(server.setBlockWords(AreaCode::flags, 1, 10), std::invalid_argument);
    EXPECT_THROW(server.readBytes(AreaCode::dataBlock, 256, 0, 1), std::out_of_range);
}

TEST_F(SimServerTest, FetchOfLengthZeroIsABareAcknowledgement) {
    auto c = connected();
    EXPECT_EQ(c->exchange(fetchRequest(codeM, 0, 0, 0)), expectedReply(0x06, 0));
}

TEST_F(SimServerTest, TwoTelegramsInOneSegmentAreBothServed) {
    auto c = connected();
    ASSERT_TRUE(c->send(concat(writeRequest(codeD, 1, 0, 2, {9, 8, 7, 6}), fetchRequest(codeD, 1, 0, 2))));
    EXPECT_EQ(c->receiveTelegram(), expectedReply(0x04, 0));
    EXPECT_EQ(c->receiveTelegram(), expectedReply(0x06, 0, {9, 8, 7, 6}));
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(SimServerTest, TelegramInPiecesIsAssembled) {
    server.writeBytes(AreaCode::outputs, 0, 3, {0x42});
    auto c = connected();
    Bytes request = fetchRequest(codeA, 0, 3, 1);
    for (std::size_t i = 0; i < request.size(); i += 5) {
        ASSERT_TRUE(c->send(Bytes(request.begin() + static_cast<long>(i),
                                  request.begin() + static_cast<long>(std::min(i + 5, request.size())))));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(c->receiveTelegram(), expectedReply(0x06, 0, {0x42}));
}

TEST_F(SimServerTest, EmptyDataUnitFromTheClientIsIgnored) {
    auto c = connected();
    ASSERT_TRUE(c->send({0x03, 0x00, 0x00, 0x07, 0x02, 0xF0, 0x00}));
    EXPECT_EQ(c->exchange(fetchRequest(codeM, 0, 0, 1)), expectedReply(0x06, 0, {0}));
}

// ---------------------------------------------------------------------------
// Bad telegrams close the connection.

TEST_F(SimServerTest, BadTelegramsCloseTheConnection) {
    const std::vector<Bytes> bad = {
        {0x04, 0x00, 0x00, 0x17, 0x02, 0xF0, 0x80},                          // TPKT version 4
        {0x03, 0x00, 0x00, 0x0B, 0x06, 0x80, 0x00, 0x01, 0x00, 0x01, 0x00},  // a DR unit
        [] {
            Bytes t = fetchRequest(codeM, 0, 0, 1);
            t[7] = 'X';
            return t;
        }(),  // not "S5"
        [] {
            Bytes t = fetchRequest(codeM, 0, 0, 1);
            t[12] = 9;
            return t;
        }(),                                   // op code 9
        writeRequest(codeD, 0, 0, 2, {1, 2}),  // 2 data bytes for 2 words
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        auto c = connected();
        ASSERT_TRUE(c->send(bad[i]));
        EXPECT_EQ(c->waitForEnd(), PeerEnd::orderlyClose) << "case " << i;
    }
    ASSERT_TRUE(server.waitForEnds(static_cast<int>(bad.size()), 2000));
    EXPECT_EQ(server.openConnections(), 0);
}

TEST_F(SimServerTest, DataBeforeConnectRequestClosesTheConnection) {
    auto c = tcpOnly();
    ASSERT_TRUE(c->send(fetchRequest(codeM, 0, 0, 1)));
    EXPECT_EQ(c->waitForEnd(), PeerEnd::orderlyClose);
}

// ---------------------------------------------------------------------------
// How connections end.

TEST_F(SimServerTest, RecordsResetAndOrderlyClose) {
    auto a = connected();
    auto b = connected();
    auto open = connected();
    a->closeOrderly();
    ASSERT_TRUE(server.waitForEnds(1, 2000));
    b->closeAbortive();
    ASSERT_TRUE(server.waitForEnds(2, 2000));
    EXPECT_EQ(server.connectionEnds(),
              (std::vector<ConnectionEnd>{ConnectionEnd::orderlyClose, ConnectionEnd::reset, ConnectionEnd::open}));
    EXPECT_EQ(server.connectionsAccepted(), 3);
    EXPECT_EQ(server.openConnections(), 1);
    EXPECT_FALSE(server.waitForEnds(3, 50));
}

TEST_F(SimServerTest, StopEndsPromptlyWithSilentConnectionsOpen) {
    auto silent = tcpOnly();
    auto waiting = connected();
    auto pending = connected();
    server.armReplyFault({ReplyFaultKind::delayReply, 0, 60000});
    ASSERT_TRUE(pending->send(fetchRequest(codeM, 0, 0, 1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto t = Clock::now();
    server.stop();
    EXPECT_LT(msSince(t), 500);
    EXPECT_EQ(server.openConnections(), 0);
    EXPECT_NE(silent->waitForEnd(), PeerEnd::stillOpen);
}

TEST_F(SimServerTest, ServesManyConnectionsAtOnce) {
    constexpr int clients = 8;
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            RawClient c;
            if (!c.connect(address, server.port()) ||
                c.connectTransport("", "", static_cast<std::uint16_t>(i)).size() < 6)
                return;
            bool ok = true;
            for (int n = 0; n < 100 && ok; ++n) {
                Bytes data = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(n)};
                ok = c.exchange(writeRequest(codeD, static_cast<std::uint8_t>(i), static_cast<std::uint16_t>(n), 1,
                                             data)) == expectedReply(0x04, 0) &&
                     c.exchange(fetchRequest(codeD, static_cast<std::uint8_t>(i), static_cast<std::uint16_t>(n), 1)) ==
                         expectedReply(0x06, 0, data);
            }
            if (ok) ++good;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, clients);
    EXPECT_EQ(server.readWord(AreaCode::dataBlock, 7, 99), 0x0763);
}

TEST_F(SimServerTest, RestartsAfterStop) {
    server.writeBytes(AreaCode::flags, 0, 0, {0x77});
    server.stop();
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    auto c = connected();
    EXPECT_EQ(c->exchange(fetchRequest(codeM, 0, 0, 1)), expectedReply(0x06, 0, {0x77}));
}

TEST(SimServerStart, BindFailureIsReported) {
    orvasim::Options o;
    o.address = orvatest::address::simServerSim;
    o.port = 0;
    orvasim::Server first(o);
    ASSERT_TRUE(first.start());
    o.port = first.port();
    orvasim::Server second(o);
    std::string error;
    EXPECT_FALSE(second.start(&error));
    EXPECT_NE(error.find("bind"), std::string::npos) << error;
    o.address = "not an address";
    orvasim::Server third(o);
    EXPECT_FALSE(third.start(&error));
}

}  // namespace
