// SPDX-License-Identifier: Apache-2.0
// Lists of variables read and written through liborvanet against the
// in-process simulator: values as the PLC's memory holds them, the calls the
// plan promised, each variable's own result when calls fail, and writes that
// change exactly the bits and bytes they were given.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "loopback_addresses.h"
#include "orvanet.h"
#include "orvavars.h"
#include "sim_server.h"

namespace {

using orva::wire::AreaCode;

constexpr const char* simAddress = orvatest::address::varsListSim;
constexpr const char* nobody = orvatest::address::varsNobody;

orvasim::Server& simulator() {
    static std::unique_ptr<orvasim::Server> server = orvasim::Server::startedOn(simAddress);
    return *server;
}

struct ListDeleter {
    void operator()(ORVAVarList* l) const { ORVAVarsFreeList(l); }
};
using List = std::unique_ptr<ORVAVarList, ListDeleter>;

List listOf(const std::vector<std::string>& texts) {
    List list(ORVAVarsNewList());
    for (const std::string& t : texts) {
        ORVAVarsError error{};
        EXPECT_GE(ORVAVarsAdd(list.get(), t.c_str(), &error), 0) << t << ": " << error.message;
    }
    return list;
}

std::string text(const ORVAVarList* list, int i) {
    char out[256];
    return ORVAVarsValueText(list, i, out, sizeof out) >= 0 ? out : "(none)";
}

class Handle {
public:
    explicit Handle(const char* address) : h(ORVAOpen(address, "", "", 1000, 1000, 1000)) {}
    ~Handle() { ORVAClose(h); }
    int h;
};

class VarsList : public ::testing::Test {
protected:
    void SetUp() override {
        simulator().clearFaults();
        simulator().setBlockWords(AreaCode::dataBlock, 10, 2048);
        simulator().writeBytes(AreaCode::dataBlock, 10, 0, std::vector<std::uint8_t>(4096, 0));
        simulator().writeBytes(AreaCode::flags, 0, 0, std::vector<std::uint8_t>(64, 0));
        simulator().clearRecord();
    }
    Handle plc{simAddress};
};

TEST_F(VarsList, AMixedListReadsWhatThePlcHoldsInThePlannedCalls) {
    orvasim::Server& sim = simulator();
    sim.writeBytes(AreaCode::dataBlock, 10, 60, {0x04, 0x62, 0xC3, 0xEF});  // DD30: KG 12.34567
    sim.writeWord(AreaCode::dataBlock, 10, 4, 0x2127);                      // DW4: KT 127 s
    sim.writeWord(AreaCode::dataBlock, 10, 5, 0x0123);                      // DW5: KZ 123
    sim.writeWord(AreaCode::dataBlock, 10, 7, 0xFFF9);                      // DW7: -7
    sim.writeBytes(AreaCode::dataBlock, 10, 20, {'A', 'B', 'C', 'D'});      // DW10..DW11
    sim.writeBytes(AreaCode::flags, 0, 20, {0x08, 0x00, 0xFF, 0xFE});       // M20.3, MW22
    sim.writeWord(AreaCode::timers, 0, 3, 0x1234);
    List list = listOf({"DB10.DD30:KG", "DB10.DW4:KT", "DB10.DW5:KZ", "DB10.DW7:KF", "DB10.DW10:KS4", "DB10.DR10:KC",
                        "M20.3", "M20.4", "MW22", "MW22:KF", "T3", "DB10.D7.15"});
    ORVAVarsPlanInfo plan{};
    ASSERT_EQ(ORVAVarsPlan(list.get(), &plan), 0);
    EXPECT_EQ(plan.variables, 12);
    EXPECT_EQ(plan.calls, 4) << "DB10 DW4..DW11, DB10 DD30 (36 bytes on: past the gap), MB20..MB23, T3";
    EXPECT_EQ(plan.telegrams, 4);
    ASSERT_EQ(ORVAVarsSetOption(list.get(), ORVAVARS_OPTION_GAP, 36), 0);
    ASSERT_EQ(ORVAVarsPlan(list.get(), &plan), 0);
    EXPECT_EQ(plan.calls, 3) << "with a gap of 36 bytes DB10 is one call, DW4..DW31";
    EXPECT_EQ(plan.bytes, 56 + 4 + 2);

    std::vector<ORVAVarResult> results(12);
    ASSERT_EQ(ORVAVarsRead(plc.h, list.get(), results.data(), 12), 0);
    EXPECT_EQ(sim.requests().size(), 3u) << "the planned calls, one telegram each";
    EXPECT_EQ(results[0].kind, ORVAVARS_KIND_REAL);
    EXPECT_EQ(results[0].real, 12.345670700073242);
    EXPECT_EQ(text(list.get(), 0), "12.34567");
    EXPECT_EQ(results[1].kind, ORVAVARS_KIND_TIME);
    EXPECT_EQ(results[1].integer, 127000);
    EXPECT_EQ(results[1].timeBase, 2);
    EXPECT_EQ(results[1].timeDigits, 127);
    EXPECT_EQ(results[2].integer, 123);
    EXPECT_EQ(results[3].integer, -7);
    EXPECT_EQ(std::string(results[4].text, static_cast<std::size_t>(results[4].length)), "ABCD");
    EXPECT_EQ(text(list.get(), 5), "B");
    EXPECT_EQ(results[6].kind, ORVAVARS_KIND_BOOLEAN);
    EXPECT_EQ(results[6].integer, 1);
    EXPECT_EQ(results[7].integer, 0);
    EXPECT_EQ(results[8].integer, 0xFFFE);
    EXPECT_EQ(results[9].integer, -2);
    EXPECT_EQ(results[10].integer, 0x1234) << "a timer cell: the raw word";
    EXPECT_EQ(results[11].integer, 1) << "bit 15 of DW7 (FFF9)";
    for (const ORVAVarResult& r : results) EXPECT_EQ(r.status, 0);

    // Read again: the same plan, new values.
    sim.writeWord(AreaCode::dataBlock, 10, 5, 0x0999);
    sim.clearRecord();
    ASSERT_EQ(ORVAVarsRead(plc.h, list.get(), results.data(), 12), 0);
    EXPECT_EQ(results[2].integer, 999);
    EXPECT_EQ(sim.requests().size(), 3u);
}

TEST_F(VarsList, AFailedCallMarksOnlyItsVariablesAndAnInvalidBcdOnlyItsOwn) {
    simulator().setBlockWords(AreaCode::dataBlock, 11, 0);  // DB11 does not exist
    simulator().writeWord(AreaCode::dataBlock, 10, 0, 0x00A0);
    simulator().writeWord(AreaCode::dataBlock, 10, 1, 0x0042);
    List list = listOf({"DB10.DW0:KZ", "DB11.DW0", "DB10.DW1:KZ", "MB0"});
    std::vector<ORVAVarResult> results(4);
    EXPECT_EQ(ORVAVarsRead(plc.h, list.get(), results.data(), 4), ORVA_ERR_PLC) << "the first call that failed";
    EXPECT_EQ(results[0].status, ORVAVARS_ERR_INVALID_BCD);
    EXPECT_EQ(results[0].kind, ORVAVARS_KIND_NONE);
    EXPECT_EQ(results[1].status, ORVA_ERR_PLC);
    EXPECT_EQ(results[2].status, 0);
    EXPECT_EQ(results[2].integer, 42);
    EXPECT_EQ(results[3].status, 0);
    char out[16];
    EXPECT_EQ(ORVAVarsValueText(list.get(), 1, out, sizeof out), ORVAVARS_ERR_NO_VALUE);

    simulator().setBlockWords(AreaCode::dataBlock, 11, 16);
    EXPECT_EQ(ORVAVarsRead(plc.h, list.get(), results.data(), 4), ORVAVARS_ERR_INVALID_BCD)
        << "every call succeeded: the first variable that did not decode";
    EXPECT_EQ(results[1].status, 0);
}

TEST(VarsListNobody, ALostConnectionEndsTheListWithTheRestNotTried) {
    Handle plc(nobody);
    List list = listOf({"MB0", "DB1.DW0", "T0"});
    std::vector<ORVAVarResult> results(3);
    EXPECT_EQ(ORVAVarsRead(plc.h, list.get(), results.data(), 3), ORVA_ERR_SOCKET);
    // Sorted by area code: DB1 first.
    EXPECT_EQ(results[1].status, ORVA_ERR_SOCKET);
    EXPECT_EQ(results[1].socketError, ORVA_WSAECONNREFUSED);
    EXPECT_EQ(results[0].status, ORVAVARS_ERR_NOT_TRIED);
    EXPECT_EQ(results[2].status, ORVAVARS_ERR_NOT_TRIED);
    EXPECT_EQ(ORVAVarsRead(-1, list.get(), nullptr, 0), ORVA_ERR_HANDLE);
}

TEST_F(VarsList, WritesChangeExactlyWhatTheyWereGiven) {
    orvasim::Server& sim = simulator();
    sim.writeBytes(AreaCode::flags, 0, 10, {0xF0});
    sim.writeWord(AreaCode::dataBlock, 10, 3, 0xABCD);
    List list = listOf({"DB10.DD30:KG", "DB10.DW4:KT", "M10.0", "M10.7", "DB10.DL3", "MB12:KS3", "DB10.DW40:KS3"});
    ORVAVarsError error{};
    ASSERT_EQ(ORVAVarsSetReal(list.get(), 0, 12.5, &error), 0) << error.message;
    ASSERT_EQ(ORVAVarsSetText(list.get(), 1, "1.5s", &error), 0) << error.message;
    ASSERT_EQ(ORVAVarsSetBoolean(list.get(), 2, 1, &error), 0);
    ASSERT_EQ(ORVAVarsSetText(list.get(), 3, "false", &error), 0);
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 4, 0x12, &error), 0);
    ASSERT_EQ(ORVAVarsSetString(list.get(), 5, "AB", 2, &error), 0);
    ASSERT_EQ(ORVAVarsSetText(list.get(), 6, "XYZ", &error), 0);
    std::vector<ORVAVarResult> results(7);
    ASSERT_EQ(ORVAVarsWrite(plc.h, list.get(), results.data(), 7), 0);
    for (const ORVAVarResult& r : results) EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim.readBytes(AreaCode::dataBlock, 10, 60, 4), (std::vector<std::uint8_t>{0x04, 0x64, 0x00, 0x00}));
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 10, 4), 0x0150);
    EXPECT_EQ(sim.readBytes(AreaCode::flags, 0, 10, 1), (std::vector<std::uint8_t>{0x71})) << "bits 0 and 7 only";
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 10, 3), 0x12CD) << "DR3 kept";
    EXPECT_EQ(sim.readBytes(AreaCode::flags, 0, 12, 3), (std::vector<std::uint8_t>{'A', 'B', ' '}));
    EXPECT_EQ(sim.readBytes(AreaCode::dataBlock, 10, 80, 4), (std::vector<std::uint8_t>{'X', 'Y', 'Z', 0}))
        << "DW41's right byte read and written back";
    // The values read back are the values written.
    List back = listOf({"DB10.DD30:KG", "DB10.DW4:KT", "M10.0", "M10.7"});
    ASSERT_EQ(ORVAVarsRead(plc.h, back.get(), nullptr, 0), 0);
    EXPECT_EQ(text(back.get(), 0), "12.5");
    EXPECT_EQ(text(back.get(), 1), "1.5s");
    EXPECT_EQ(text(back.get(), 2), "true");
    EXPECT_EQ(text(back.get(), 3), "false");
}

TEST_F(VarsList, RefusedWritesSendNothingForThemAndTheOthersAreWritten) {
    orvasim::Server& sim = simulator();
    List list = listOf({"M10.3", "EB0", "MW20", "DB10.DL3", "DB10.DR3", "MB30"});
    ASSERT_EQ(ORVAVarsSetOption(list.get(), ORVAVARS_OPTION_NO_MODIFY, 1), 0);
    ORVAVarsError error{};
    ASSERT_EQ(ORVAVarsSetBoolean(list.get(), 0, 1, &error), 0);
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 1, 1, &error), 0);
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 2, 0x1234, &error), 0);
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 3, 0x56, &error), 0);
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 4, 0x78, &error), 0);
    std::vector<ORVAVarResult> results(6);
    EXPECT_EQ(ORVAVarsWrite(plc.h, list.get(), results.data(), 6), ORVAVARS_ERR_MODIFY_REFUSED);
    EXPECT_EQ(results[0].status, ORVAVARS_ERR_MODIFY_REFUSED);
    EXPECT_EQ(results[1].status, ORVA_ERR_AREA) << "inputs, as the library refuses them";
    EXPECT_EQ(results[2].status, 0);
    EXPECT_EQ(results[3].status, 0) << "DL3 and DR3 together are all of DW3";
    EXPECT_EQ(results[4].status, 0);
    EXPECT_EQ(results[5].status, ORVAVARS_ERR_NO_VALUE);
    EXPECT_EQ(sim.requests().size(), 2u) << "MW20 and DW3, and no read";
    EXPECT_EQ(sim.readWord(AreaCode::dataBlock, 10, 3), 0x5678);
    EXPECT_EQ(sim.readBytes(AreaCode::flags, 0, 10, 1), (std::vector<std::uint8_t>{0}));
}

TEST_F(VarsList, AFailedReadBeforeAWriteLeavesThePlcAsItWas) {
    simulator().setBlockWords(AreaCode::dataBlock, 12, 0);
    List list = listOf({"DB12.DL0", "MW0"});
    ORVAVarsError error{};
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 0, 1, &error), 0);
    ASSERT_EQ(ORVAVarsSetInteger(list.get(), 1, 0x4142, &error), 0);
    std::vector<ORVAVarResult> results(2);
    EXPECT_EQ(ORVAVarsWrite(plc.h, list.get(), results.data(), 2), ORVA_ERR_PLC);
    EXPECT_EQ(results[0].status, ORVA_ERR_PLC);
    EXPECT_EQ(results[1].status, 0);
    EXPECT_EQ(simulator().readWord(AreaCode::flags, 0, 0), 0x4142);
}

TEST(VarsListApi, ArgumentsAreCheckedAndNothingIsLeftHalfDone) {
    List list = listOf({"MW0"});
    ORVAVarsError error{};
    EXPECT_EQ(ORVAVarsAdd(list.get(), "MW0:KQ", &error), ORVAVARS_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(ORVAVarsCount(list.get()), 1) << "a refused text adds nothing";
    EXPECT_EQ(ORVAVarsAdd(nullptr, "MW0", &error), ORVAVARS_ERR_ARGUMENT);
    EXPECT_EQ(ORVAVarsCount(nullptr), ORVAVARS_ERR_ARGUMENT);
    ORVAVarResult r[2];
    EXPECT_EQ(ORVAVarsRead(0, list.get(), r, 2), ORVAVARS_ERR_ARGUMENT) << "count must be the list's";
    EXPECT_EQ(ORVAVarsRead(0, list.get(), nullptr, 1), ORVAVARS_ERR_ARGUMENT);
    EXPECT_EQ(ORVAVarsSetInteger(list.get(), 1, 0, &error), ORVAVARS_ERR_ARGUMENT);
    EXPECT_EQ(ORVAVarsSetOption(list.get(), ORVAVARS_OPTION_GAP, 65536), ORVAVARS_ERR_ARGUMENT);
    EXPECT_EQ(ORVAVarsSetOption(list.get(), 99, 0), ORVAVARS_ERR_ARGUMENT);
    ORVAVarInfo info{};
    EXPECT_EQ(ORVAVarsGetInfo(list.get(), 0, &info), 0);
    EXPECT_STREQ(info.text, "MW0");
    EXPECT_EQ(ORVAVarsGetInfo(list.get(), -1, &info), ORVAVARS_ERR_ARGUMENT);
    unsigned char bytes[2];
    EXPECT_EQ(ORVAVarsDecode(list.get(), 0, bytes, 1, &r[0]), ORVAVARS_ERR_ARGUMENT) << "its own byte count";
    EXPECT_EQ(ORVAVarsEncoded(list.get(), 0, bytes, 2), ORVAVARS_ERR_NO_VALUE);
    ASSERT_EQ(ORVAVarsSetText(list.get(), 0, "7", &error), 0);
    EXPECT_EQ(ORVAVarsEncoded(list.get(), 0, bytes, 1), ORVAVARS_ERR_ARGUMENT) << "too small";
    ASSERT_EQ(ORVAVarsSetText(list.get(), 0, "x", &error), ORVAVARS_ERR_VALUE_TEXT);
    EXPECT_EQ(ORVAVarsEncoded(list.get(), 0, bytes, 2), ORVAVARS_ERR_NO_VALUE) << "the refused value replaced it";
    // A long message is cut to the struct on a whole character: value "a, then two-byte characters.
    ASSERT_EQ(ORVAVarsAdd(list.get(), "MD0:KG", &error), 1);
    std::string typed = "a";
    for (int k = 0; k < 150; ++k) typed += "\xC3\xA4";
    ASSERT_EQ(ORVAVarsSetText(list.get(), 1, typed.c_str(), &error), ORVAVARS_ERR_VALUE_TEXT);
    const std::string message = error.message;
    EXPECT_EQ(message.rfind("value \"a\xC3\xA4", 0), 0u) << message;
    EXPECT_EQ(message.size() % 2, 0u) << "8 bytes, then whole characters";
    ORVAVarsFreeList(nullptr);
}

}  // namespace
