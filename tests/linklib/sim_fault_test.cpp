// SPDX-License-Identifier: Apache-2.0
// The library against the adapter simulator: data of every area round trips,
// and each fault the simulator can inject gives its documented result, within
// the time-outs, after which the next call recovers.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <variant>
#include <vector>

#include "sim_server.h"
#include "test_util.h"
#include "loopback_addresses.h"

using namespace orvatest;
using orva::wire::AreaCode;
using orvasim::ConfirmFault;
using orvasim::ReplyFault;
using C = orvasim::ConfirmFaultKind;
using R = orvasim::ReplyFaultKind;

namespace {

constexpr const char* simAddress = orvatest::address::linklibSim;
// Upper bound for a call that must give up after one short receive time-out.
constexpr long long boundMs = shortReceiveMs + timingMarginMs;

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        orvasim::Options options;
        options.address = simAddress;
        server = std::make_unique<orvasim::Server>(options);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
    }
    std::unique_ptr<orvasim::Server> server;
};

}  // namespace

TEST_F(SimTest, EveryAreaRoundTripsThroughTheSimulatorMemory) {
    Handle h(simAddress);
    const std::array<std::uint8_t, 3> bytes = {0x10, 0x20, 0x30};
    std::array<std::uint8_t, 3> bytesBack{};
    for (char letter : {'A', 'M'}) {
        ASSERT_EQ(ORVAWrB(h, letter, 0, 100, 3, bytes.data()), ORVA_OK) << letter;
        ASSERT_EQ(ORVARdB(h, letter, 0, 100, 3, bytesBack.data()), ORVA_OK) << letter;
        EXPECT_EQ(bytesBack, bytes) << letter;
    }
    EXPECT_EQ(server->readBytes(AreaCode::flags, 0, 100, 3), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));

    server->writeBytes(AreaCode::inputs, 0, 7, {0xAB, 0xCD});
    std::array<std::uint16_t, 1> inputWord{};
    ASSERT_EQ(ORVARdW(h, 'E', 0, 7, 1, inputWord.data()), ORVA_OK);
    EXPECT_EQ(inputWord[0], 0xABCD) << "input bytes 7 and 8 as one word, high byte first";

    std::vector<std::uint16_t> words(600);
    std::iota(words.begin(), words.end(), 0x1200);
    std::vector<std::uint16_t> back(600);
    for (char letter : {'D', 'X', 'T', 'Z'}) {
        ASSERT_EQ(ORVAWrW(h, letter, 9, 50, 600, words.data()), ORVA_OK) << letter;
        ASSERT_EQ(ORVARdW(h, letter, 9, 50, 600, back.data()), ORVA_OK) << letter;
        EXPECT_EQ(back, words) << letter;
    }
    EXPECT_EQ(server->readWord(AreaCode::dataBlock, 9, 50 + 599), words.back());
    EXPECT_EQ(server->readWord(AreaCode::extendedDataBlock, 9, 50), words.front());
}

TEST_F(SimTest, WordWritesToFlagsBeyondOneTelegramCoverEachByteOnce) {
    Handle h(simAddress);
    std::vector<std::uint16_t> words(400);
    std::iota(words.begin(), words.end(), 1);
    ASSERT_EQ(ORVAWrW(h, 'M', 0, 0, 400, words.data()), ORVA_OK);
    for (int i = 0; i < 400; ++i) {
        const auto b = server->readBytes(AreaCode::flags, 0, 2 * i, 2);
        ASSERT_EQ((b[0] << 8) | b[1], words[static_cast<std::size_t>(i)]) << "word " << i;
    }
}

TEST_F(SimTest, AccessOutsideABlockIsAPlcErrorAndTheNextCallWorks) {
    server->setBlockWords(AreaCode::dataBlock, 5, 10);
    Handle h(simAddress);
    std::array<std::uint16_t, 20> w{};
    EXPECT_EQ(ORVARdW(h, 'D', 5, 0, 20, w.data()), ORVA_ERR_PLC);
    EXPECT_EQ(ORVAWrW(h, 'D', 5, 5, 20, w.data()), ORVA_ERR_PLC);
    server->setBlockWords(AreaCode::dataBlock, 6, 0);
    EXPECT_EQ(ORVARdW(h, 'D', 6, 0, 1, w.data()), ORVA_ERR_PLC);
    EXPECT_EQ(ORVARdW(h, 'D', 5, 0, 10, w.data()), ORVA_OK);
}

TEST_F(SimTest, A65535WordBlockMovesWhole) {
    server->setBlockWords(AreaCode::dataBlock, 1, 65535);
    Handle h(simAddress);
    std::vector<std::uint16_t> words(65535);
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint16_t>(i * 7);
    ASSERT_EQ(ORVAWrW(h, 'D', 1, 0, 65535, words.data()), ORVA_OK);
    std::vector<std::uint16_t> back(65535);
    ASSERT_EQ(ORVARdW(h, 'D', 1, 0, -1, back.data()), ORVA_OK);
    EXPECT_EQ(back, words);
}

namespace {

enum class Call { readBytes, readWords, writeBytes, writeWords };
constexpr std::array<Call, 4> everyCall = {Call::readBytes, Call::readWords, Call::writeBytes, Call::writeWords};

class DuplicatedReply : public SimTest {
protected:
    // One call of a kind, 4 bytes or 2 words, with values of its own for each
    // round; checks that it read, or stored, exactly those. A stale reply of
    // the same kind and size taken for its own would fail the check.
    void callAndCheck(int h, Call call, int round) {
        SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(call) << " round " << round);
        const auto v = static_cast<std::uint8_t>(0x10 * (round % 16));
        const std::vector<std::uint8_t> own = {v, static_cast<std::uint8_t>(v + 1), static_cast<std::uint8_t>(v + 2),
                                               static_cast<std::uint8_t>(v + 3)};
        std::array<std::uint8_t, 4> bytes{};
        std::array<std::uint16_t, 2> words{};
        switch (call) {
        case Call::readBytes:
            server->writeBytes(AreaCode::flags, 0, 4 * round, own);
            ASSERT_EQ(ORVARdB(h, 'M', 0, 4 * round, 4, bytes.data()), ORVA_OK);
            EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), own);
            break;
        case Call::readWords:
            server->writeBytes(AreaCode::dataBlock, 3, 4 * round, own);
            ASSERT_EQ(ORVARdW(h, 'D', 3, 2 * round, 2, words.data()), ORVA_OK);
            EXPECT_EQ(words[0], (own[0] << 8) | own[1]);
            EXPECT_EQ(words[1], (own[2] << 8) | own[3]);
            break;
        case Call::writeBytes:
            std::copy(own.begin(), own.end(), bytes.begin());
            ASSERT_EQ(ORVAWrB(h, 'A', 0, 4 * round, 4, bytes.data()), ORVA_OK);
            EXPECT_EQ(server->readBytes(AreaCode::outputs, 0, 4 * round, 4), own);
            break;
        case Call::writeWords:
            words = {static_cast<std::uint16_t>((own[0] << 8) | own[1]),
                     static_cast<std::uint16_t>((own[2] << 8) | own[3])};
            ASSERT_EQ(ORVAWrW(h, 'X', 3, 2 * round, 2, words.data()), ORVA_OK);
            EXPECT_EQ(server->readBytes(AreaCode::extendedDataBlock, 3, 4 * round, 4), own);
            break;
        }
    }
};

}  // namespace

// An adapter that answers twice: the second reply waits unasked in the socket.
// Whatever kind of call got it, the next call of each kind gets its own data.
TEST_F(DuplicatedReply, TheNextCallOfEachKindGetsItsOwnData) {
    Handle h(simAddress);
    int round = 0;
    for (Call duplicated : everyCall) {
        for (Call next : everyCall) {
            server->armReplyFault({R::duplicateReply});
            callAndCheck(h, duplicated, round++);
            callAndCheck(h, next, round++);
        }
    }
    EXPECT_EQ(server->connectionsAccepted(), 1 + 16) << "a fresh connection after each duplicated reply";
}

namespace {

// One fault, the call it meets (a read of 8 flag bytes, or a write of them),
// and how that call ends.
struct FaultCase {
    const char* name;
    std::variant<ConfirmFault, ReplyFault> fault;
    bool write;
    CallEnd end;
};

// Readable test names in CTest's listing.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SimFault : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

constexpr bool onRead = false;
constexpr bool onWrite = true;
constexpr bool kept = true;
constexpr bool dropped = false;

}  // namespace

TEST_P(SimFault, GivesItsResultWithinTheTimeoutsAndTheNextCallRecovers) {
    const FaultCase& c = GetParam();
    if (const auto* confirm = std::get_if<ConfirmFault>(&c.fault))
        server->armConfirmFault(*confirm);
    else
        server->armReplyFault(std::get<ReplyFault>(c.fault));
    Handle h(simAddress);
    std::array<std::uint8_t, 8> data{};
    Stopwatch watch;
    const int result = c.write ? ORVAWrB(h, 'M', 0, 0, 8, data.data()) : ORVARdB(h, 'M', 0, 0, 8, data.data());
    EXPECT_EQ(result, c.end.result);
    EXPECT_LT(watch.ms(), boundMs);
    EXPECT_EQ(ORVAGetSockErr(h), c.end.socketError);

    // The next call succeeds, on the same connection or on a new one.
    server->writeBytes(AreaCode::flags, 0, 0, {9, 8, 7});
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 3, data.data()), ORVA_OK);
    EXPECT_EQ(data[2], 7);
    EXPECT_EQ(ORVAGetSockErr(h), 0) << "a good reply clears the socket error";
    EXPECT_EQ(server->connectionsAccepted(), c.end.connectionKept ? 1 : 2);
}

// Every failure of a set-up or a reply that the simulator can give (the few
// it cannot are scripted in failure_test.cpp).
INSTANTIATE_TEST_SUITE_P(
    Faults, SimFault,
    ::testing::Values(
        FaultCase{"DisconnectInsteadOfConfirm",
                  ConfirmFault{C::disconnectInsteadOfConfirm},
                  onRead,
                  {ORVA_ERR_CONNECT, 0, dropped}},
        FaultCase{"ShortConfirm", ConfirmFault{C::shortConfirm}, onRead, {ORVA_ERR_CONNECT, 0, dropped}},
        FaultCase{"SilentConfirm", ConfirmFault{C::silentConfirm}, onRead, {ORVA_ERR_CONNECT, 0, dropped}},
        FaultCase{
            "ResetOnConnectRequest", ConfirmFault{C::resetOnConnectRequest}, onRead, {ORVA_ERR_CONNECT, 0, dropped}},
        FaultCase{
            "CloseOnConnectRequest", ConfirmFault{C::closeOnConnectRequest}, onRead, {ORVA_ERR_CONNECT, 0, dropped}},
        FaultCase{"ConfirmWithCredit", ConfirmFault{C::confirmCredit, 5}, onRead, {ORVA_OK, 0, kept}},
        FaultCase{"EmptyUnitsBefore", ReplyFault{R::emptyUnitsBefore, 4}, onRead, {ORVA_OK, 0, kept}},
        FaultCase{"EndlessEmptyUnits",
                  ReplyFault{R::endlessEmptyUnits, 5},
                  onRead,
                  {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, dropped}},
        FaultCase{"SplitReply", ReplyFault{R::splitReply, 4, 20}, onRead, {ORVA_OK, 0, kept}},
        FaultCase{"DripWithinTheLimit", ReplyFault{R::drip, 0, 2}, onRead, {ORVA_OK, 0, kept}},
        FaultCase{
            "DripPastTheLimit", ReplyFault{R::drip, 0, 60}, onRead, {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, dropped}},
        FaultCase{"Silence", ReplyFault{R::silence}, onRead, {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, dropped}},
        FaultCase{"SilenceAfterAWrite", ReplyFault{R::silence}, onWrite, {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, dropped}},
        FaultCase{"DelayPastTheLimit",
                  ReplyFault{R::delayReply, 0, 600},
                  onRead,
                  {ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT, dropped}},
        FaultCase{"ResetBeforeReply",
                  ReplyFault{R::resetBeforeReply},
                  onRead,
                  {ORVA_ERR_SOCKET, ORVA_WSAECONNRESET, dropped}},
        FaultCase{"CloseBeforeReply", ReplyFault{R::closeBeforeReply}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"HalfAHeaderThenClose", ReplyFault{R::closeAfterBytes, 3}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"ResetInTheHeader",
                  ReplyFault{R::resetAfterBytes, 4},
                  onRead,
                  {ORVA_ERR_SOCKET, ORVA_WSAECONNRESET, dropped}},
        FaultCase{"ResetInTheBody",
                  ReplyFault{R::resetAfterBytes, 20},
                  onRead,
                  {ORVA_ERR_SOCKET, ORVA_WSAECONNRESET, dropped}},
        FaultCase{"CloseInTheBody", ReplyFault{R::closeAfterBytes, 20}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"TooMuchData", ReplyFault{R::wrongDataLength, 2}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"TooLittleData", ReplyFault{R::wrongDataLength, -2}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        // 16 bytes: the acknowledgement cut after its error byte, which is 0.
        FaultCase{
            "ShortReplyWithoutError", ReplyFault{R::wrongDataLength, -15}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        // 10 bytes: too short to hold an error byte, which counts as 0.
        FaultCase{"ReplyTooShortToHoldAnErrorByte",
                  ReplyFault{R::wrongDataLength, -21},
                  onRead,
                  {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"WriteAnsweredWithData", ReplyFault{R::wrongDataLength, 4}, onWrite, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"NotADataUnit", ReplyFault{R::badTypeByte, 0xE0}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"NoEndMark", ReplyFault{R::badEotByte, 0x00}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        // The only test that the end mark is 0x80 itself, not any byte with that bit set.
        FaultCase{"AnEndMarkThatIsNot0x80", ReplyFault{R::badEotByte, 0x81}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        // The only test of a reply's TPKT upper bound: 1048 is refused before its body is read (a larger
        // bound would wait for a body that never comes, and end with 10060).
        FaultCase{"LengthOverTheBuffer", ReplyFault{R::tpktLength, 1048}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"LengthFieldMax", ReplyFault{R::tpktLength, 65535}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"LengthFieldBelowTheHeader", ReplyFault{R::tpktLength, 6}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        FaultCase{"LengthFieldZero", ReplyFault{R::tpktLength, 0}, onRead, {ORVA_ERR_DROPPED, 0, dropped}},
        // A refusal of a read without data has the wrong length: 2, and dropped.
        FaultCase{"FetchRefusedWithoutData", ReplyFault{R::errorByte, 3}, onRead, {ORVA_ERR_PLC, 0, dropped}},
        FaultCase{"WriteRefused", ReplyFault{R::errorByte, 3}, onWrite, {ORVA_ERR_PLC, 0, kept}},
        // A fetch answered with the right length is taken whatever the error byte says.
        FaultCase{"ErrorByteWithData", ReplyFault{R::errorByteWithData, 3}, onRead, {ORVA_OK, 0, kept}}),
    caseName<FaultCase>);
