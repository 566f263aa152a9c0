// SPDX-License-Identifier: Apache-2.0
// orvasim's control channel, served by an in-process simulator and used through
// the same client as the Windows tests: what is armed or written through it
// reaches the adapter, and what it reads back is what the adapter saw.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>

#include "control_channel.h"
#include "external_env.h"
#include "sim_control.h"
#include "sim_server.h"
#include "loopback_addresses.h"

using namespace orvaext;

namespace {

constexpr const char* address = orvatest::address::controlChannelSim;

class ControlChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        ASSERT_TRUE(channel.start(&error)) << error;
    }

    std::string endpoint() const { return std::string(address) + ":" + std::to_string(channel.port()); }

    orvasim::Server server{orvasim::Options{address, 102, false, 64}};
    orvasim::ControlChannel channel{server, address, 0};
};

}  // namespace

TEST_F(ControlChannelTest, FaultsArmedThroughTheChannelReachTheAdapter) {
    SimControl sim(endpoint());
    std::array<std::uint8_t, 2> b{};
    {
        Handle h(address);
        sim.armReplyFault("errorByte", 3);
        EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 2, b.data()), ORVA_ERR_PLC);
        sim.armReplyFault("silence");
        sim.armReplyFault("silence");
        sim.call("clear faults");
        EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 2, b.data()), ORVA_OK) << "cleared faults are not used";
    }
    {
        // The adapter answers twice; the next call still gets its own data.
        Handle h(address);
        server.writeBytes(orva::wire::AreaCode::flags, 0, 0, {1, 2, 3, 4});
        sim.armReplyFault("duplicateReply");
        ASSERT_EQ(ORVARdB(h, 'M', 0, 0, 2, b.data()), ORVA_OK);
        ASSERT_EQ(ORVARdB(h, 'M', 0, 2, 2, b.data()), ORVA_OK);
        EXPECT_EQ(b, (std::array<std::uint8_t, 2>{3, 4}));
    }
    Handle h(address);
    sim.armConfirmFault("confirmCredit", 5);
    EXPECT_EQ(ORVARdB(h, 'M', 0, 0, 2, b.data()), ORVA_OK);
    sim.armConfirmFault("disconnectInsteadOfConfirm");
    ORVAClose(h);
    Handle other(address);
    EXPECT_EQ(ORVARdB(other, 'M', 0, 0, 2, b.data()), ORVA_ERR_CONNECT);
}

TEST_F(ControlChannelTest, RecordReadBackIsWhatTheAdapterSaw) {
    SimControl sim(endpoint());
    std::array<std::uint8_t, 3> b{7, 8, 9};
    {
        Handle h(address, 0, 0, 0, "own", "plc");
        ASSERT_EQ(ORVAWrB(h, 'A', 0, 5, 3, b.data()), ORVA_OK);
        ASSERT_EQ(ORVARdB(h, 'A', 0, 5, 3, b.data()), ORVA_OK);
    }
    ASSERT_TRUE(server.waitForEnds(1, 2000));
    EXPECT_EQ(sim.connectRequests(), server.connectRequests());
    EXPECT_EQ(sim.requests(), server.requests());
    EXPECT_EQ(sim.requests().size(), 2u);
    EXPECT_EQ(sim.connectionEnds(), (std::vector<std::string>{"reset"}));
    EXPECT_EQ(sim.connectionsAccepted(), 1);
    EXPECT_EQ(sim.call("open"), (std::vector<std::string>{"0"}));

    sim.armReplyFault("silence");
    sim.reset();
    EXPECT_TRUE(sim.connectRequests().empty());
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_TRUE(sim.connectionEnds().empty());
    Handle h(address);
    EXPECT_EQ(ORVARdB(h, 'A', 0, 5, 3, b.data()), ORVA_OK) << "reset clears the faults too";
}

TEST_F(ControlChannelTest, MemoryThroughTheChannelIsTheAdaptersMemory) {
    SimControl sim(endpoint());
    sim.write('D', 4, 2, {0x12, 0x34, 0xAB});
    EXPECT_EQ(server.readWord(orva::wire::AreaCode::dataBlock, 4, 1), 0x1234);
    server.writeBytes(orva::wire::AreaCode::counters, 0, 10, {0xCA, 0xFE});
    EXPECT_EQ(sim.read('Z', 0, 10, 2), (Bytes{0xCA, 0xFE}));
    // The spellings of the other tools, the block with the area or apart.
    EXPECT_EQ(sim.call("read db4 2 2"), (std::vector<std::string>{"1234"}));
    EXPECT_EQ(sim.call("read DB 4 0x2 2"), (std::vector<std::string>{"1234"}));
    EXPECT_EQ(sim.call("read c 0 10 2"), (std::vector<std::string>{"cafe"}));
    sim.call("write O 0 7 55");
    EXPECT_EQ(server.readBytes(orva::wire::AreaCode::outputs, 0, 7, 1), Bytes{0x55});
    sim.call("blocksize X7 3");
    EXPECT_THROW(sim.call("read DX7 6 1"), std::runtime_error) << "DX7 now holds 3 words";
    sim.setBlockWords('D', 4, 0);
    Handle h(address);
    std::array<std::uint16_t, 1> w{};
    EXPECT_EQ(ORVARdW(h, 'D', 4, 0, 1, w.data()), ORVA_ERR_PLC) << "the block no longer exists";
}

TEST_F(ControlChannelTest, BadRequestsGetAnErrorAndTheChannelGoesOn) {
    SimControl sim(endpoint());
    for (const char* request :
         {"bogus", "fault reply noSuchFault", "fault confirm silence", "fault reply shortConfirm",
          "fault reply silence x", "fault confirm shortConfirm 0 5", "read Q 0 0 1", "read D 0 4095 4",
          "read DB256 0 1", "read E5 0 1", "read DB5 0 1 2", "write M 0 0 abc", "blocksize M 1 1", "clear all"})
        EXPECT_THROW(sim.call(request), std::runtime_error) << request;
    EXPECT_TRUE(sim.call("ping").empty());
    EXPECT_EQ(std::string(orvasim::controlReply(server, "   ")), "error empty request\n");
}

TEST_F(ControlChannelTest, ServesSeveralClientsAndStopsWhileTheyAreConnected) {
    SimControl first(endpoint());
    SimControl second(endpoint());
    first.write('M', 0, 0, {1});
    EXPECT_EQ(second.read('M', 0, 0, 1), Bytes{1});
    second.write('M', 0, 0, {2});
    EXPECT_EQ(first.read('M', 0, 0, 1), Bytes{2});
    const std::string where = endpoint();
    channel.stop();
    EXPECT_THROW(first.call("ping"), std::runtime_error);
    EXPECT_THROW(SimControl{where}, std::runtime_error);
}
