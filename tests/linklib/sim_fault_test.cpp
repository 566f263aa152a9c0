// The library against the adapter simulator: data of every area round trips,
// and each fault the simulator can inject gives its documented result, within
// the time-outs, after which the next call recovers.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "sim_server.h"
#include "test_util.h"

using namespace orvatest;
using orvasim::Area;
using orvasim::Fault;
using orvasim::FaultKind;

namespace {

constexpr const char* simAddress = "127.0.0.11";
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
    EXPECT_EQ(server->readBytes(Area::flags, 0, 100, 3), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));

    server->writeBytes(Area::inputs, 0, 7, {0xAB, 0xCD});
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
    EXPECT_EQ(server->readWord(Area::dataBlock, 9, 50 + 599), words.back());
    EXPECT_EQ(server->readWord(Area::extendedDataBlock, 9, 50), words.front());
}

TEST_F(SimTest, WordWritesToFlagsBeyondOneTelegramCoverEachByteOnce) {
    Handle h(simAddress);
    std::vector<std::uint16_t> words(400);
    std::iota(words.begin(), words.end(), 1);
    ASSERT_EQ(ORVAWrW(h, 'M', 0, 0, 400, words.data()), ORVA_OK);
    for (int i = 0; i < 400; ++i) {
        const auto b = server->readBytes(Area::flags, 0, 2 * i, 2);
        ASSERT_EQ((b[0] << 8) | b[1], words[static_cast<std::size_t>(i)]) << "word " << i;
    }
}

TEST_F(SimTest, AccessOutsideABlockIsAPlcErrorAndTheNextCallWorks) {
    server->setBlockWords(Area::dataBlock, 5, 10);
    Handle h(simAddress);
    std::array<std::uint16_t, 20> w{};
    EXPECT_EQ(ORVARdW(h, 'D', 5, 0, 20, w.data()), ORVA_ERR_PLC);
    EXPECT_EQ(ORVAWrW(h, 'D', 5, 5, 20, w.data()), ORVA_ERR_PLC);
    server->setBlockWords(Area::dataBlock, 6, 0);
    EXPECT_EQ(ORVARdW(h, 'D', 6, 0, 1, w.data()), ORVA_ERR_PLC);
    EXPECT_EQ(ORVARdW(h, 'D', 5, 0, 10, w.data()), ORVA_OK);
}

TEST_F(SimTest, A65535WordBlockMovesWhole) {
    server->setBlockWords(Area::dataBlock, 1, 65535);
    Handle h(simAddress);
    std::vector<std::uint16_t> words(65535);
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint16_t>(i * 7);
    ASSERT_EQ(ORVAWrW(h, 'D', 1, 0, 65535, words.data()), ORVA_OK);
    std::vector<std::uint16_t> back(65535);
    ASSERT_EQ(ORVARdW(h, 'D', 1, 0, -1, back.data()), ORVA_OK);
    EXPECT_EQ(back, words);
}

namespace {

struct FaultCase {
    const char* name;
    bool confirmFault;
    Fault fault;
    int expectedResult;
    int expectedSocketError;
};

// Readable test names in CTest's listing.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SimFault : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

}  // namespace

TEST_P(SimFault, GivesItsResultWithinTheTimeoutsAndTheNextCallRecovers) {
    const FaultCase& c = GetParam();
    if (c.confirmFault)
        server->armConfirmFault(c.fault);
    else
        server->armReplyFault(c.fault);
    Handle h(simAddress);
    std::array<std::uint8_t, 8> data{};
    Stopwatch watch;
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 8, data.data()), c.expectedResult);
    EXPECT_LT(watch.ms(), boundMs);
    EXPECT_EQ(ORVAGetSockErr(h), c.expectedSocketError);
    server->writeBytes(Area::flags, 0, 0, {9, 8, 7});
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 3, data.data()), ORVA_OK);
    EXPECT_EQ(data[2], 7);
    EXPECT_EQ(ORVAGetSockErr(h), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimFault,
    ::testing::Values(
        FaultCase{"DisconnectInsteadOfConfirm", true, {FaultKind::disconnectInsteadOfConfirm}, ORVA_ERR_CONNECT, 0},
        FaultCase{"ShortConfirm", true, {FaultKind::shortConfirm}, ORVA_ERR_CONNECT, 0},
        FaultCase{"SilentConfirm", true, {FaultKind::silentConfirm}, ORVA_ERR_CONNECT, 0},
        FaultCase{"ResetOnConnectRequest", true, {FaultKind::resetOnConnectRequest}, ORVA_ERR_CONNECT, 0},
        FaultCase{"CloseOnConnectRequest", true, {FaultKind::closeOnConnectRequest}, ORVA_ERR_CONNECT, 0},
        FaultCase{"ConfirmWithCredit", true, {FaultKind::confirmCredit, 5}, ORVA_OK, 0},
        FaultCase{"EmptyUnitsBefore", false, {FaultKind::emptyUnitsBefore, 4}, ORVA_OK, 0},
        FaultCase{"EndlessEmptyUnits", false, {FaultKind::endlessEmptyUnits, 5}, ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT},
        FaultCase{"SplitReply", false, {FaultKind::splitReply, 4, 20}, ORVA_OK, 0},
        FaultCase{"DripWithinTheLimit", false, {FaultKind::drip, 0, 2}, ORVA_OK, 0},
        FaultCase{"DripPastTheLimit", false, {FaultKind::drip, 0, 60}, ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT},
        FaultCase{"Silence", false, {FaultKind::silence}, ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT},
        FaultCase{"DelayPastTheLimit", false, {FaultKind::delayReply, 0, 600}, ORVA_ERR_SOCKET, ORVA_WSAETIMEDOUT},
        FaultCase{"ResetBeforeReply", false, {FaultKind::resetBeforeReply}, ORVA_ERR_SOCKET, ORVA_WSAECONNRESET},
        FaultCase{"CloseBeforeReply", false, {FaultKind::closeBeforeReply}, ORVA_ERR_DROPPED, 0},
        FaultCase{"ResetInTheHeader", false, {FaultKind::resetAfterBytes, 4}, ORVA_ERR_SOCKET, ORVA_WSAECONNRESET},
        FaultCase{"ResetInTheBody", false, {FaultKind::resetAfterBytes, 20}, ORVA_ERR_SOCKET, ORVA_WSAECONNRESET},
        FaultCase{"CloseInTheBody", false, {FaultKind::closeAfterBytes, 20}, ORVA_ERR_DROPPED, 0},
        FaultCase{"TooMuchData", false, {FaultKind::wrongDataLength, 2}, ORVA_ERR_DROPPED, 0},
        FaultCase{"TooLittleData", false, {FaultKind::wrongDataLength, -2}, ORVA_ERR_DROPPED, 0},
        FaultCase{"NotADataUnit", false, {FaultKind::badTypeByte, 0xE0}, ORVA_ERR_DROPPED, 0},
        FaultCase{"NoEndMark", false, {FaultKind::badEotByte, 0x00}, ORVA_ERR_DROPPED, 0},
        FaultCase{"LengthOverTheBuffer", false, {FaultKind::tpktLength, 1048}, ORVA_ERR_DROPPED, 0},
        FaultCase{"LengthFieldMax", false, {FaultKind::tpktLength, 65535}, ORVA_ERR_DROPPED, 0},
        FaultCase{"LengthFieldZero", false, {FaultKind::tpktLength, 0}, ORVA_ERR_DROPPED, 0},
        FaultCase{"ErrorByteWithoutData", false, {FaultKind::errorByte, 3}, ORVA_ERR_PLC, 0},
        // A fetch answered with the right length is taken whatever the error byte says.
        FaultCase{"ErrorByteWithData", false, {FaultKind::errorByteWithData, 3}, ORVA_OK, 0}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });
