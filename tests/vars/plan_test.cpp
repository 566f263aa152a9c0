// SPDX-License-Identifier: Apache-2.0
// Planning without traffic: which calls read a list, and which reads and
// writes write one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan.h"
#include "variable.h"

namespace {

using namespace orva::vars;

std::vector<Variable> parsed(const std::vector<std::string>& texts) {
    std::vector<Variable> out;
    for (const std::string& t : texts) {
        auto v = parseVariable(t);
        EXPECT_TRUE(std::holds_alternative<Variable>(v)) << t;
        out.push_back(std::get<Variable>(v));
    }
    return out;
}

TEST(ReadPlan, AHundredVariablesOverDataWords0To400AreOneCallOfTwoTelegrams) {
    std::vector<std::string> texts;
    const char* formats[] = {"", ":KF", ":KH", ":KT", ":KZ", ":KY", ":KM", ":KC"};
    for (int i = 0; i < 100; ++i) {
        const int word = i * 4;  // 0, 4, ... 396
        if (i % 5 == 4)
            texts.push_back("DB1.DD" + std::to_string(word) + ":KG");
        else
            texts.push_back("DB1.DW" + std::to_string(word) + formats[i % 8]);
    }
    texts.push_back("DB1.DW400");
    const auto vars = parsed(texts);
    const ReadPlan plan = planRead(vars, 32);
    ASSERT_EQ(plan.calls.size(), 1u);
    EXPECT_TRUE(plan.calls[0].words);
    EXPECT_EQ(plan.calls[0].start, 0);
    EXPECT_EQ(plan.calls[0].count, 401);
    EXPECT_EQ(plan.telegrams, 2) << "802 bytes: 492 and 310";
    for (std::size_t i = 0; i < vars.size(); ++i) EXPECT_EQ(plan.imageAt[i], vars[i].byteOffset);
}

TEST(ReadPlan, RangesFartherApartThanTheGapAreCallsOfTheirOwnAndAreasNeverMix) {
    // MB0 and MB40 are 39 bytes apart: one call with a gap of 39, two with 38.
    const auto vars = parsed({"MB40", "MB0", "EB0", "DB2.DW0", "DB1.DW0", "DX1.DW0", "T0", "Z0"});
    EXPECT_EQ(planRead(vars, 38).calls.size(), 8u);
    const ReadPlan plan = planRead(vars, 39);
    ASSERT_EQ(plan.calls.size(), 7u);
    // Each variable's bytes lie where its call put them.
    for (std::size_t i = 0; i < vars.size(); ++i) {
        const Call& c = plan.calls[static_cast<std::size_t>(plan.callOf[i])];
        EXPECT_EQ(c.area, vars[i].area);
        EXPECT_EQ(c.block, vars[i].block);
        EXPECT_EQ(plan.imageAt[i], c.imageAt + vars[i].byteOffset - c.firstByte);
    }
    const Call& flags = plan.calls[static_cast<std::size_t>(plan.callOf[0])];
    EXPECT_FALSE(flags.words);
    EXPECT_EQ(flags.start, 0);
    EXPECT_EQ(flags.count, 41);
}

TEST(ReadPlan, ByteVariablesOfDataBlocksAreReadInWholeWordsAndCallsStayWithinTheirCount) {
    const ReadPlan plan = planRead(parsed({"DB1.DR3", "DB1.D5.15"}), 0);
    ASSERT_EQ(plan.calls.size(), 2u);
    EXPECT_EQ(plan.calls[0].start, 3);
    EXPECT_EQ(plan.calls[0].count, 1);
    EXPECT_EQ(plan.imageAt[0], 1) << "the right byte of the word read";
    EXPECT_EQ(plan.imageAt[1], 2) << "bit 15 lies in the left byte of DW5";

    // Flags 0 and 65535 with a gap of everything: 65536 bytes do not fit one call.
    const ReadPlan wide = planRead(parsed({"MB0", "MB65535"}), 65535);
    ASSERT_EQ(wide.calls.size(), 2u);
    for (const Call& c : wide.calls) EXPECT_LE(c.count, maxCallCount);
}

std::vector<WriteRun> writes(const std::vector<Variable>& vars, const std::vector<std::vector<std::uint8_t>>& bytes,
                             bool noModify, std::vector<int>& refused) {
    std::vector<WritePiece> pieces;
    for (std::size_t i = 0; i < vars.size(); ++i) pieces.push_back({static_cast<int>(i), bytes[i]});
    return planWrite(vars, pieces, noModify, refused);
}

TEST(WritePlan, TouchingWholeElementsAreOneCallWithoutAReadAndGapsAreNeverWritten) {
    const auto vars = parsed({"MW10", "MB12", "MW20", "DB1.DW3", "DB1.DD4"});
    std::vector<int> refused;
    const auto runs = writes(vars, {{0x12, 0x34}, {0x56}, {1, 2}, {0xAA, 0xBB}, {1, 2, 3, 4}}, false, refused);
    ASSERT_EQ(runs.size(), 3u);
    // MW10 and MB12: bytes 10..12, one write of 3 bytes.
    EXPECT_EQ(runs[0].write.area, AreaCode::dataBlock);
    EXPECT_EQ(runs[0].write.start, 3);
    EXPECT_EQ(runs[0].write.count, 3);
    EXPECT_FALSE(runs[0].readFirst);
    EXPECT_EQ(runs[1].write.start, 10);
    EXPECT_EQ(runs[1].write.count, 3);
    EXPECT_EQ(runs[1].bytes[2].value, 0x56);
    EXPECT_FALSE(runs[1].readFirst);
    EXPECT_EQ(runs[2].write.start, 20) << "MW20 is not merged across bytes 13..19";
    EXPECT_TRUE(refused.empty());
}

TEST(WritePlan, BitsAndBytesOfDataWordsReadTheirElementFirstUnlessOthersCompleteIt) {
    const auto vars = parsed({"M10.3", "M10.5", "DB1.DL3", "DB1.DL7", "DB1.DR7", "DB1.D9.0"});
    std::vector<int> refused;
    const auto runs = writes(vars, {{0x08}, {0x00}, {0x11}, {0x22}, {0x33}, {0x01}}, false, refused);
    ASSERT_EQ(runs.size(), 4u);
    // DB1: DL3 (word 3, partial), DL7+DR7 (word 7, whole), D9.0 (word 9, partial).
    EXPECT_TRUE(runs[0].readFirst);
    EXPECT_EQ(runs[0].read.start, 3);
    EXPECT_EQ(runs[0].bytes[0].mask, 0xFF);
    EXPECT_EQ(runs[0].bytes[1].mask, 0x00);
    EXPECT_FALSE(runs[1].readFirst) << "DL7 and DR7 together give all of DW7";
    EXPECT_TRUE(runs[2].readFirst);
    EXPECT_EQ(runs[2].bytes[1].mask, 0x01);
    // Both bits of MB10 in one read-modify-write of the byte.
    EXPECT_EQ(runs[3].write.area, AreaCode::flags);
    EXPECT_EQ(runs[3].write.count, 1);
    EXPECT_EQ(runs[3].bytes[0].mask, 0x28);
    EXPECT_EQ(runs[3].bytes[0].value, 0x08);
    EXPECT_EQ(runs[3].variables, (std::vector<int>{0, 1}));

    refused.clear();
    const auto strict = writes(vars, {{0x08}, {0x00}, {0x11}, {0x22}, {0x33}, {0x01}}, true, refused);
    EXPECT_EQ(refused, (std::vector<int>{0, 1, 2, 5}));
    ASSERT_EQ(strict.size(), 1u);
    EXPECT_EQ(strict[0].write.start, 7);
    EXPECT_FALSE(strict[0].readFirst);
}

TEST(WritePlan, LaterVariablesWinWhereTwoSetTheSameBits) {
    const auto vars = parsed({"MW0", "MB1"});
    std::vector<int> refused;
    const auto runs = writes(vars, {{0x11, 0x22}, {0x33}}, false, refused);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].bytes[0].value, 0x11);
    EXPECT_EQ(runs[0].bytes[1].value, 0x33);
}

}  // namespace
