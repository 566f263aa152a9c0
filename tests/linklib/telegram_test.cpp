// SPDX-License-Identifier: Apache-2.0
// The bytes on the wire: connection requests, fetch and write telegrams, the
// splitting of long requests and the byte order of words, seen by a peer that
// records everything.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "recording_peer.h"
#include "loopback_addresses.h"

using namespace orvatest;

namespace {

constexpr const char* peerAddress = orvatest::address::telegramPeer;

class TelegramTest : public ::testing::Test {
protected:
    RecordingPeer peer{peerAddress};
};

Request onlyRequest(const RecordingPeer& peer) {
    const auto requests = peer.requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? Request{} : parseRequest(requests.front());
}

}  // namespace

TEST_F(TelegramTest, ConnectRequestCarriesBothTsapsAndTheTpduSize) {
    std::uint8_t b[1];
    {
        Handle h(peerAddress);
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, b), ORVA_OK);
    }
    {
        Handle h(peerAddress, "ABC", "PL");
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, b), ORVA_OK);
    }
    {
        Handle h(peerAddress, "OWNTSAP-LONG", "PLCTSAP-LONGER");
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, b), ORVA_OK);
    }
    const auto crs = peer.connectRequests();
    ASSERT_EQ(crs.size(), 3u);

    Bytes empty = crs[0];
    ASSERT_EQ(empty.size(), 18u);
    empty[8] = empty[9] = 0;  // the source reference is checked elsewhere
    EXPECT_EQ(empty, bytesOf("03 00 00 12 0D E0 00 00 00 00 00 C1 00 C2 00 C0 01 09"));

    const Bytes& shortOnes = crs[1];
    ASSERT_EQ(shortOnes.size(), 23u);
    EXPECT_EQ(shortOnes[4], 0x12);
    EXPECT_EQ(shortOnes[16], 0xC2);
    EXPECT_EQ(shortOnes[20], 0xC0);
    EXPECT_EQ(Bytes(shortOnes.begin() + 11, shortOnes.end()), bytesOf("C1 03 41 42 43 C2 02 50 4C C0 01 09"));

    const Bytes& longOnes = crs[2];
    ASSERT_EQ(longOnes.size(), 34u);
    EXPECT_EQ(longOnes[3], 34);
    EXPECT_EQ(longOnes[4], 0x1D);
    EXPECT_EQ(std::string(longOnes.begin() + 13, longOnes.begin() + 21), "OWNTSAP-");
    EXPECT_EQ(std::string(longOnes.begin() + 23, longOnes.begin() + 31), "PLCTSAP-");
}

TEST_F(TelegramTest, SourceReferenceIsKeptAcrossReconnectsAndNewForEachOpen) {
    std::uint8_t b[1];
    int first;
    {
        Handle h(peerAddress);
        first = h;
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, b), ORVA_OK);
        // A fetch answered with the wrong length drops the connection.
        peer.setOverride([](PeerLink& link, const Bytes&, int index) {
            if (index != 1) return false;
            link.acknowledge(true, Bytes(5));
            return true;
        });
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, b), ORVA_ERR_DROPPED);
        ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 1, b), ORVA_OK);
    }
    Handle again(peerAddress);
    EXPECT_EQ(again.get(), first);  // the same slot, but a new reference
    ASSERT_EQ(ORVARdB(again, 'E', 0, 0, 1, b), ORVA_OK);

    const auto crs = peer.connectRequests();
    ASSERT_EQ(crs.size(), 3u);
    const auto reference = [](const Bytes& cr) { return orva::wire::readBe16(&cr[8]); };
    EXPECT_EQ(reference(crs[0]), reference(crs[1]));
    EXPECT_EQ(reference(crs[2]), static_cast<std::uint16_t>(reference(crs[0]) + 1));
    EXPECT_EQ(crs[0], crs[1]);
}

TEST_F(TelegramTest, FetchOfFlagBytesMatchesTheReferenceTelegram) {
    Handle h(peerAddress);
    std::array<std::uint8_t, 10> data{};
    ASSERT_EQ(ORVARdB(h, 'M', 0x1234, 0x0102, 10, data.data()), ORVA_OK);
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1u);
    // Spelt out byte by byte, not built: the telegram is checked apart from our builders.
    EXPECT_EQ(requests[0], bytesOf("03 00 00 17 02 F0 80 53 35 10 01 03 05 03 08 02 34 01 02 00 0A FF 02"));
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], byteAt(0x0102 + i)) << i;
}

TEST_F(TelegramTest, WordReadsCountInWordsForBlocksAndInBytesForByteAreas) {
    Handle h(peerAddress);
    std::array<std::uint16_t, 5> words{};
    ASSERT_EQ(ORVARdW(h, 'D', 9, 20, 5, words.data()), ORVA_OK);
    Request r = onlyRequest(peer);
    EXPECT_EQ(r.opCode, orva::wire::opFetch);
    EXPECT_EQ(r.area, 1);
    EXPECT_EQ(r.dbNumber, 9);
    EXPECT_EQ(r.start, 20);
    EXPECT_EQ(r.length, 5);
    for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(words[i], wordAt(20 + i)) << i;

    // The same words read from flags: ten byte addresses, still host order.
    ASSERT_EQ(ORVARdW(h, 'M', 0, 20, 5, words.data()), ORVA_OK);
    r = parseRequest(peer.requests().at(1));
    EXPECT_EQ(r.area, 2);
    EXPECT_EQ(r.length, 10);
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(words[i], (byteAt(20 + 2 * i) << 8) | byteAt(21 + 2 * i)) << i;
}

TEST_F(TelegramTest, EveryLetterSelectsItsAreaCodeInEitherCase) {
    Handle h(peerAddress);
    std::array<std::uint16_t, 1> w{};
    const std::vector<std::pair<char, int>> letters = {{'A', 4}, {'O', 4},  {'E', 3}, {'I', 3}, {'M', 2},
                                                       {'D', 1}, {'X', 10}, {'T', 7}, {'Z', 6}, {'C', 6}};
    for (const auto& [letter, code] : letters) {
        ASSERT_EQ(ORVARdW(h, letter, 77, 3, 1, w.data()), ORVA_OK) << letter;
        ASSERT_EQ(ORVARdW(h, letter + ('a' - 'A'), 77, 3, 1, w.data()), ORVA_OK) << letter;
    }
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 2 * letters.size());
    for (std::size_t i = 0; i < letters.size(); ++i) {
        EXPECT_EQ(requests[2 * i], requests[2 * i + 1]) << letters[i].first;
        const Request r = parseRequest(requests[2 * i]);
        EXPECT_EQ(r.area, letters[i].second) << letters[i].first;
        EXPECT_EQ(r.dbNumber, 77) << "the block number travels for every area";
    }
}

TEST_F(TelegramTest, WordWriteSwapsIntoTheTelegramAndLeavesTheCallerBufferAlone) {
    Handle h(peerAddress);
    const std::array<std::uint16_t, 4> words = {0x1234, 0xABCD, 0x0001, 0xFF00};
    const auto before = words;
    ASSERT_EQ(ORVAWrW(h, 'D', 3, 100, 4, words.data()), ORVA_OK);
    EXPECT_EQ(words, before);
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].size(), 31u);
    EXPECT_EQ(orva::wire::readBe16(&requests[0][2]), 31);
    const Request r = parseRequest(requests[0]);
    EXPECT_EQ(r.opCode, orva::wire::opWrite);
    EXPECT_EQ(r.length, 4);
    EXPECT_EQ(r.data, bytesOf("12 34 AB CD 00 01 FF 00"));
}

TEST_F(TelegramTest, ByteWritesCarryTheDataAsGiven) {
    Handle h(peerAddress);
    const std::array<std::uint8_t, 3> bytes = {1, 2, 0xFE};
    ASSERT_EQ(ORVAWrB(h, 'a', 0, 7, 3, bytes.data()), ORVA_OK);
    const Request r = onlyRequest(peer);
    EXPECT_EQ(r.opCode, orva::wire::opWrite);
    EXPECT_EQ(r.area, 4);
    EXPECT_EQ(r.start, 7);
    EXPECT_EQ(r.length, 3);
    EXPECT_EQ(r.data, bytesOf("01 02 FE"));
}

namespace {

struct Split {
    char letter;
    bool words;
    int start, count;
    std::vector<std::pair<int, int>> telegrams;  // start, length in the area's unit
};

void PrintTo(const Split& s, std::ostream* os) {
    *os << s.letter << (s.words ? " words " : " bytes ") << s.count << " from " << s.start;
}

class SplitTest : public TelegramTest, public ::testing::WithParamInterface<Split> {};

}  // namespace

TEST_P(SplitTest, LongRequestsAreSplitIntoTelegramsOfAtMost492Bytes) {
    const Split& s = GetParam();
    Handle h(peerAddress);
    std::vector<std::uint16_t> buffer(65536);
    const int result = s.words
                           ? ORVARdW(h, s.letter, 1, s.start, s.count, buffer.data())
                           : ORVARdB(h, s.letter, 1, s.start, s.count, reinterpret_cast<std::uint8_t*>(buffer.data()));
    ASSERT_EQ(result, ORVA_OK);
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), s.telegrams.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Request r = parseRequest(requests[i]);
        EXPECT_EQ(r.start, s.telegrams[i].first) << "telegram " << i;
        EXPECT_EQ(r.length, s.telegrams[i].second) << "telegram " << i;
    }
    // The data lands continuous in the caller's buffer.
    const int n = s.count & 0xFFFF;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
    for (int i = 0; i < n; ++i) {
        if (!s.words) {
            ASSERT_EQ(bytes[i], byteAt(static_cast<std::uint32_t>(s.start + i))) << i;
        } else if (countsWords(s.letter)) {
            ASSERT_EQ(buffer[static_cast<std::size_t>(i)], wordAt(static_cast<std::uint16_t>(s.start + i))) << i;
        } else {
            const auto a = static_cast<std::uint32_t>(s.start + 2 * i);
            ASSERT_EQ(buffer[static_cast<std::size_t>(i)], (byteAt(a) << 8) | byteAt(a + 1)) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, SplitTest,
    ::testing::Values(Split{'E', false, 0, 492, {{0, 492}}}, Split{'E', false, 0, 493, {{0, 492}, {492, 1}}},
                      Split{'M', false, 5, 984, {{5, 492}, {497, 492}}},
                      Split{'A', false, 0, 985, {{0, 492}, {492, 492}, {984, 1}}}, Split{'D', true, 0, 246, {{0, 246}}},
                      Split{'D', true, 0, 247, {{0, 246}, {246, 1}}}, Split{'D', true, 10, 300, {{10, 246}, {256, 54}}},
                      // Word reads of byte areas advance by the bytes each telegram covered.
                      Split{'M', true, 0, 300, {{0, 492}, {492, 108}}},
                      // Only the low 16 bits of the count are used.
                      Split{'E', false, 0, 65537, {{0, 1}}}),
    [](const ::testing::TestParamInfo<Split>& info) {
        return std::string(1, info.param.letter) + (info.param.words ? "Words" : "Bytes") +
               std::to_string(info.param.count) + "From" + std::to_string(info.param.start);
    });

TEST_F(TelegramTest, CountOfMinusOneMovesAll65535Elements) {
    Handle h(peerAddress);
    std::vector<std::uint8_t> bytes(65535);
    ASSERT_EQ(ORVARdB(h, 'E', 0, 0, -1, bytes.data()), ORVA_OK);
    EXPECT_EQ(peer.requests().size(), 134u);
    std::vector<std::uint16_t> words(65535);
    ASSERT_EQ(ORVARdW(h, 'D', 0, 0, -1, words.data()), ORVA_OK);
    EXPECT_EQ(peer.requests().size(), 134u + 267u);
    for (std::size_t i = 0; i < words.size(); i += 997) ASSERT_EQ(words[i], wordAt(static_cast<std::uint16_t>(i)));
    EXPECT_EQ(words.back(), wordAt(65534));
    EXPECT_EQ(bytes.back(), byteAt(65534));
}

TEST_F(TelegramTest, EmptyDataUnitsBeforeAReplyAreSkipped) {
    peer.setOverride([](PeerLink& link, const Bytes& request, int) {
        for (int i = 0; i < 3; ++i) link.send(bytesOf("03 00 00 07 02 F0 00"));
        link.acknowledge(true, RecordingPeer::fetchData(parseRequest(request)));
        return true;
    });
    Handle h(peerAddress);
    std::array<std::uint8_t, 4> data{};
    ASSERT_EQ(ORVARdB(h, 'E', 0, 40, 4, data.data()), ORVA_OK);
    EXPECT_EQ(data[3], byteAt(43));
}

TEST_F(TelegramTest, AReplyInSeveralPiecesIsAssembled) {
    peer.setOverride([](PeerLink& link, const Bytes& request, int) {
        const Bytes reply = acknowledgement(true, RecordingPeer::fetchData(parseRequest(request)));
        for (std::size_t at = 0; at < reply.size(); at += 5) {
            link.send(Bytes(reply.begin() + static_cast<long>(at),
                            reply.begin() + static_cast<long>(std::min(at + 5, reply.size()))));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    });
    Handle h(peerAddress, "", "", 2000);
    std::array<std::uint8_t, 12> data{};
    ASSERT_EQ(ORVARdB(h, 'E', 0, 0, 12, data.data()), ORVA_OK);
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], byteAt(i));
}

TEST_F(TelegramTest, AFailedMiddleTelegramStopsTheTransferWithEarlierDataInPlace) {
    peer.setOverride([](PeerLink& link, const Bytes&, int index) {
        if (index != 1) return false;
        link.acknowledge(true, {}, orva::wire::ackAreaTooSmall);
        return true;
    });
    Handle h(peerAddress);
    std::vector<std::uint8_t> data(1000, 0xEE);
    EXPECT_EQ(ORVARdB(h, 'E', 0, 0, 1000, data.data()), ORVA_ERR_PLC);
    EXPECT_EQ(peer.requests().size(), 2u);
    EXPECT_EQ(data[491], byteAt(491));
    EXPECT_EQ(data[492], 0xEE);
}

// The last element of a transfer may be address 65535 of the area's unit, no
// further: past it the telegrams' 16-bit start would wrap to 0, and data of
// other addresses would come back as success. The only test of both sides of
// that boundary, for byte and word counts.
TEST_F(TelegramTest, ARangePastAddress65535IsRefusedBeforeAnyTraffic) {
    Handle h(peerAddress);
    std::vector<std::uint8_t> bytes(2000);
    std::vector<unsigned short> words(2000);
    EXPECT_EQ(ORVARdB(h, 'M', 0, 65000, 537, bytes.data()), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVAWrB(h, 'A', 0, 65535, 2, bytes.data()), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVARdW(h, 'M', 0, 65534, 2, words.data()), ORVA_ERR_FAILED) << "two byte addresses per word";
    EXPECT_EQ(ORVAWrW(h, 'D', 1, 65535, 2, words.data()), ORVA_ERR_FAILED);
    EXPECT_EQ(ORVARdW(h, 'T', 0, -1, 2, words.data()), ORVA_ERR_FAILED) << "start's low 16 bits: 65535";
    EXPECT_EQ(peer.connections(), 0);

    // Up to the last address, every telegram starts where the one before ended.
    ASSERT_EQ(ORVARdB(h, 'M', 0, 65000, 536, bytes.data()), ORVA_OK);
    ASSERT_EQ(ORVARdW(h, 'M', 0, 65534, 1, words.data()), ORVA_OK);
    ASSERT_EQ(ORVARdW(h, 'D', 1, 65535, 1, words.data()), ORVA_OK);
    ASSERT_EQ(ORVARdW(h, 'Z', 0, -1, 1, words.data()), ORVA_OK);
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(parseRequest(requests[0]).start, 65000);
    EXPECT_EQ(parseRequest(requests[1]).start, 65492);
    EXPECT_EQ(parseRequest(requests[1]).length, 44);
    EXPECT_EQ(parseRequest(requests[2]).start, 65534);
    EXPECT_EQ(parseRequest(requests[3]).start, 65535);
    EXPECT_EQ(parseRequest(requests[4]).start, 65535);
}

// One byte of the telegram carries the block number: data block 261 would be
// data block 5, reported as success. The areas without blocks ignore it. The
// only test of both sides of 0..255.
TEST_F(TelegramTest, ADataBlockNumberPast255IsRefusedBeforeAnyTraffic) {
    Handle h(peerAddress);
    std::array<unsigned short, 2> words{};
    std::array<std::uint8_t, 2> bytes{};
    for (const int block : {256, 261, 65535, -1}) {
        EXPECT_EQ(ORVARdW(h, 'D', block, 0, 2, words.data()), ORVA_ERR_FAILED) << block;
        EXPECT_EQ(ORVAWrW(h, 'X', block, 0, 2, words.data()), ORVA_ERR_FAILED) << block;
    }
    EXPECT_EQ(peer.connections(), 0);
    ASSERT_EQ(ORVARdW(h, 'd', 255, 0, 2, words.data()), ORVA_OK);
    ASSERT_EQ(ORVARdB(h, 'M', 1000, 0, 2, bytes.data()), ORVA_OK) << "flags carry no block";
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(parseRequest(requests[0]).dbNumber, 255);
}
