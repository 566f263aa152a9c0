// SPDX-License-Identifier: Apache-2.0
// orvasim's memory by variable: --set on its command line, set and show on
// its control channel. What they put in is read back, and what they show was
// written, through the variables library (liborvavars over liborvanet), so
// that the simulator and the library read the notation alike. The program on
// simVariablesProgram, the in-process simulator on simVariablesServer.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "control_channel.h"
#include "loopback_addresses.h"
#include "orvanet.h"
#include "orvavars.h"
#include "running_program.h"
#include "sim_server.h"

namespace {

using orva::wire::AreaCode;

// Each variable's value text as a read of the whole list through the library
// gives it, or its status in words.
std::vector<std::string> readThroughLibrary(const char* address, const std::vector<std::string>& variables) {
    std::unique_ptr<ORVAVarList, void (*)(ORVAVarList*)> list(ORVAVarsNewList(), ORVAVarsFreeList);
    for (const std::string& v : variables) EXPECT_GE(ORVAVarsAdd(list.get(), v.c_str(), nullptr), 0) << v;
    const int h = ORVAOpen(address, "", "", 1000, 1000, 1000);
    std::vector<ORVAVarResult> results(variables.size());
    ORVAVarsRead(h, list.get(), results.data(), static_cast<int>(results.size()));
    ORVAClose(h);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < variables.size(); ++i) {
        char text[128] = "";
        if (results[i].status == 0) ORVAVarsValueText(list.get(), static_cast<int>(i), text, sizeof text);
        texts.push_back(results[i].status == 0 ? text : ORVAVarsResultText(results[i].status));
    }
    return texts;
}

// Writes each VARIABLE=VALUE through the library, in one list; its result.
int writeThroughLibrary(const char* address, const std::vector<std::pair<std::string, std::string>>& values) {
    std::unique_ptr<ORVAVarList, void (*)(ORVAVarList*)> list(ORVAVarsNewList(), ORVAVarsFreeList);
    for (const auto& [variable, value] : values) {
        const int i = ORVAVarsAdd(list.get(), variable.c_str(), nullptr);
        EXPECT_EQ(ORVAVarsSetText(list.get(), i, value.c_str(), nullptr), 0) << variable << "=" << value;
    }
    const int h = ORVAOpen(address, "", "", 1000, 1000, 1000);
    const int result = ORVAVarsWrite(h, list.get(), nullptr, 0);
    ORVAClose(h);
    return result;
}

TEST(SimVariablesProgram, SetPreparesTheMemoryInThePlcsNotationOnceTheBlocksExist) {
    const char* address = orvatest::address::simVariablesProgram;
    orvatest::RunningProgram sim(ORVASIM_PROGRAM, {"--address", address,
                                                   "--block",   "DB5=100",
                                                   "--set",     "DB5.DD30:KG=12.5",
                                                   "--set",     "M10.3=1",
                                                   "--set",     "m 10.0=true",
                                                   "--set",     "T3:KT=1.5s",
                                                   "--set",     "DB5.DW99:KF=-2",
                                                   "--set",     "DB5.DR40:KS3=a\\x01c",
                                                   "--set",     "DX7.DW0:KY=18,52",
                                                   "--set",     "DB5.DW99:KH=FFFF"});
    ASSERT_TRUE(sim.waitForOutput("\n", 5000)) << sim.err();
    ASSERT_EQ(sim.out(), "orvasim: listening on " + std::string(address) + ":102 (DB5 100 words)\n");
    EXPECT_EQ(readThroughLibrary(address, {"DB5.DD30:KG", "MB10", "T3:KT", "T3", "DB5.DW99:KF", "DB5.DR40:KS3",
                                           "DB5.DL40", "DX7.DW0:KH", "DB5.DW150"}),
              (std::vector<std::string>{"12.5", "9", "1.5s", "336", "-1", "a\\x01c", "0", "1234",
                                        ORVAVarsResultText(ORVA_ERR_PLC)}))
        << "in the order given, the later DW99 winning; a bit beside the other; DB5 holds 100 words";
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(), 0);
}

class SimVariablesChannel : public ::testing::Test {
protected:
    static constexpr const char* address = orvatest::address::simVariablesServer;

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
    }

    std::string reply(const std::string& request) { return orvasim::controlReply(server, request); }

    orvasim::Server server{orvasim::Options{address, 102, false, 64}};
};

TEST_F(SimVariablesChannel, SetWritesWhatTheLibraryReadsBack) {
    EXPECT_EQ(reply("set DB5.DD30:KG=12.34567"), "DB5.DD30:KG = 12.34567\nok\n");
    EXPECT_EQ(reply("set M 11.7=1"), "M11.7 = true\nok\n") << "the variable may hold the PLC's blanks";
    EXPECT_EQ(reply("set M11.0=1"), "M11.0 = true\nok\n");
    EXPECT_EQ(reply("set DB6.DW50:KS8=a b c"), "DB6.DW50:KS8 = a b c   \nok\n") << "a value may hold blanks";
    EXPECT_EQ(reply("set Z5:KZ=999"), "Z5:KZ = 999\nok\n");
    EXPECT_EQ(reply("set DB5.DW40:KT=12.3s"), "DB5.DW40:KT = 12.3s\nok\n");
    EXPECT_EQ(readThroughLibrary(address,
                                 {"DB5.DD30:KG", "MB11", "M11.7", "DB6.DW50:KS8", "Z5", "DB5.DW40:KT", "DB5.DW40:KH"}),
              (std::vector<std::string>{"12.34567", "129", "true", "a b c   ", "2457", "12.3s", "1123"}));
    // The same memory through the channel's byte requests.
    EXPECT_EQ(reply("read DB5 60 4"), "0462c3ef\nok\n");
}

TEST_F(SimVariablesChannel, ShowGivesWhatTheLibraryWrote) {
    ASSERT_EQ(writeThroughLibrary(address, {{"DB6.DW2:KT", "2.5s"},
                                            {"MW20:KF", "-300"},
                                            {"DB6.DD10:KG", "-0.005"},
                                            {"A3.6", "true"},
                                            {"DB6.DR4:KC", "Z"}}),
              ORVA_OK);
    EXPECT_EQ(reply("show DB6.DW2:KT"), "DB6.DW2:KT = 2.5s\nok\n");
    EXPECT_EQ(reply("show mw20:kf"), "MW20:KF = -300\nok\n");
    EXPECT_EQ(reply("show MW20:KH"), "MW20:KH = FED4\nok\n");
    EXPECT_EQ(reply("show DB6.DD10:KG"), "DB6.DD10:KG = -0.005\nok\n");
    EXPECT_EQ(reply("show Q 3.6"), "A3.6 = true\nok\n");
    EXPECT_EQ(reply("show AB3"), "AB3 = 64\nok\n");
    EXPECT_EQ(reply("show DB6.DW4:KC"), "DB6.DW4:KC = \\x00Z\nok\n");
}

TEST_F(SimVariablesChannel, ARefusedRequestSaysWhereAndWhatWasExpected) {
    server.writeBytes(AreaCode::timers, 0, 6, {0x0A, 0xFF});
    server.setBlockWords(AreaCode::dataBlock, 7, 0);
    for (const auto& [request, answer] : std::vector<std::pair<std::string, std::string>>{
             {"set MW10:KQ=1", "unknown format \"KQ\" at 6; one of KF KH KM KY KC KT KZ KG DH KS"},
             {"set MW10", "expected \"=\" and a value at 5; as in MW10=1"},
             {"set MW10:KF=40000", "40000 does not fit MW10:KF (-32768..32767)"},
             {"set", "set needs a variable, as in DB5.DD30:KG"},
             {"show", "show needs a variable, as in DB5.DD30:KG"},
             {"show DB5.D3.16", "the bit 16 at 8 is out of range (0..15)"},
             {"show DB5.DW2048", "DB5.DW2048 lies outside DB5, which has 2048 words"},
             {"show DB7.DW0", "DB7.DW0 lies outside DB7, which has 0 words"},
             {"show T3:KT", "T3:KT: invalid value: a BCD digit above 9"}})
        EXPECT_EQ(reply(request), "error " + answer + "\n") << request;
    EXPECT_EQ(server.readBytes(AreaCode::flags, 0, 10, 2), (std::vector<std::uint8_t>{0, 0})) << "nothing written";
    EXPECT_EQ(reply("show T3"), "T3 = 2815\nok\n");
}

}  // namespace
