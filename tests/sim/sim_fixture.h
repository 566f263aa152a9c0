/* SPDX-License-Identifier: Apache-2.0 */
// The fixture of the simulator's suites: an orvasim on a loopback address of
// its own (a free port), and raw-socket clients to it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "raw_client.h"
#include "sim_server.h"

namespace simtest {

using Clock = std::chrono::steady_clock;

inline long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class SimFixture : public ::testing::Test {
protected:
    explicit SimFixture(std::string address) : address(std::move(address)), server(options(this->address)) {}

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        ASSERT_NE(server.port(), 0);
    }

    // A client with a TCP connection and nothing sent yet.
    std::unique_ptr<RawClient> tcpOnly() {
        auto c = std::make_unique<RawClient>();
        EXPECT_TRUE(c->connect(address, server.port()));
        return c;
    }

    // A client with a transport connection: its CR answered by a CC.
    std::unique_ptr<RawClient> connected() {
        auto c = tcpOnly();
        const Bytes cc = c->connectTransport();
        EXPECT_GE(cc.size(), 6u);
        if (cc.size() >= 6) {
            EXPECT_EQ(cc[5], 0xD0);
        }
        return c;
    }

    const std::string address;
    orvasim::Server server;

private:
    static orvasim::Options options(const std::string& address) {
        orvasim::Options o;
        o.address = address;
        o.port = 0;
        return o;
    }
};

}  // namespace simtest
