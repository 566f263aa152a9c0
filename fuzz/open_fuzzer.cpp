// SPDX-License-Identifier: Apache-2.0
// Fuzz target: ORVAOpen with arbitrary address and TSAP strings (or null) and
// arbitrary time-outs. Checks the handle, the connection request built from the
// TSAPs, the time-outs kept, and that a data call on the handle either fails
// without traffic (an address that is no IPv4 address) or, for the loopback
// address of the simulator, sends that request and reads. No other address is
// ever connected to: the data call is made only for those two cases.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "connection_table.h"
#include "fuzz_peer.h"
#include "orvanet.h"
#include "sim_server.h"
#include "loopback_addresses.h"

using namespace orvafuzz;
namespace wire = orva::wire;

namespace {

constexpr const char* simAddress = orvatest::address::openFuzzSim;

orvasim::Server& simulator() {
    static std::unique_ptr<orvasim::Server> server = [] {
        auto s = orvasim::Server::startedOn(simAddress);
        s->writeBytes(orva::wire::AreaCode::flags, 0, 0, {0x5A, 0xA5});
        return s;
    }();
    return *server;
}

std::uint32_t expectedTimeout(int given, std::uint32_t fallback) {
    return given == 0 ? fallback : static_cast<std::uint32_t>(given);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    orvasim::Server& sim = simulator();
    const bool nullAddress = in.ConsumeBool(), nullOwn = in.ConsumeBool(), nullPlc = in.ConsumeBool();
    const int receiveMs = in.ConsumeIntegral<int>();
    const int sendMs = in.ConsumeIntegral<int>();
    const int connectMs = in.ConsumeIntegral<int>();
    const std::string address = in.ConsumeRandomLengthString(64);
    const std::string own = in.ConsumeRandomLengthString(32);
    const std::string plc = in.ConsumeRemainingBytesAsString();
    const char* addressArg = nullAddress ? nullptr : address.c_str();
    const char* ownArg = nullOwn ? nullptr : own.c_str();
    const char* plcArg = nullPlc ? nullptr : plc.c_str();

    const int h = ORVAOpen(addressArg, ownArg, plcArg, receiveMs, sendMs, connectMs);
    check(h >= 0 && h < ORVA_MAX_HANDLES, "ORVAOpen gives a handle while handles are free");
    check(ORVAGetSockErr(h) == 0, "a fresh handle has no socket error");

    // The connection request: both TSAPs cut to 8 characters, byte for byte.
    const std::size_t m = ownArg ? ::strnlen(ownArg, wire::maxTsapLength) : 0;
    const std::size_t n = plcArg ? ::strnlen(plcArg, wire::maxTsapLength) : 0;
    Bytes expected = {0x03,
                      0x00,
                      0x00,
                      static_cast<std::uint8_t>(18 + m + n),
                      static_cast<std::uint8_t>(13 + m + n),
                      0xE0,
                      0x00,
                      0x00,
                      0x00,
                      0x00,
                      0x00,
                      0xC1,
                      static_cast<std::uint8_t>(m)};
    expected.insert(expected.end(), ownArg, ownArg + m);
    expected.push_back(0xC2);
    expected.push_back(static_cast<std::uint8_t>(n));
    expected.insert(expected.end(), plcArg, plcArg + n);
    expected.insert(expected.end(), {0xC0, 0x01, 0x09});
    {
        orva::ConnectionTable& table = orva::connectionTable();
        std::lock_guard guard(table.lockOf(h));
        const orva::OpenHandle* open = table.handleIn(h);
        check(open != nullptr, "an open handle is in its slot");
        const orva::Transport* c = &open->transport;
        check(c->connectRequestBytes().size() == expected.size(), "the request is 18 bytes plus both TSAPs");
        Bytes built(c->connectRequestBytes().begin(), c->connectRequestBytes().end());
        built[wire::crSrcRefOffset] = built[wire::crSrcRefOffset + 1] = 0;  // the counter's value varies
        check(built == expected, "the request carries both TSAPs as given");
        check(c->receiveTimeout() == expectedTimeout(receiveMs, orva::defaultReceiveTimeoutMs) &&
                  c->sendTimeout() == expectedTimeout(sendMs, orva::defaultSendTimeoutMs) &&
                  c->connectTimeout() == expectedTimeout(connectMs, orva::defaultConnectTimeoutMs),
              "zero time-outs take their defaults, others are kept");
        check(!c->isConnected(), "ORVAOpen does not connect");
    }

    std::uint32_t parsed = 0;
    const bool isAddress = orva::platform::parseIpv4(addressArg, parsed);
    std::uint32_t simParsed = 0;
    orva::platform::parseIpv4(simAddress, simParsed);
    std::array<std::uint8_t, 2> flags{};
    if (!isAddress) {
        const int accepted = sim.connectionsAccepted();
        check(ORVARdB(h, 'M', 0, 0, 2, flags.data()) == ORVA_ERR_SOCKET, "an address that is none fails the call");
        check(ORVAGetSockErr(h) == ORVA_WSAEADDRNOTAVAIL, "with the error of an unusable address");
        check(sim.connectionsAccepted() == accepted, "and without traffic");
    } else if (parsed == simParsed) {
        sim.clearRecord();
        // Tiny time-outs may run out even on loopback; any other result is a fault.
        const int r = ORVARdB(h, 'M', 0, 0, 2, flags.data());
        const auto shortest =
            std::min({expectedTimeout(receiveMs, 500), expectedTimeout(sendMs, 500), expectedTimeout(connectMs, 5000)});
        if (shortest >= 200) {
            check(r == ORVA_OK && flags[0] == 0x5A && flags[1] == 0xA5, "the simulator's flags are read");
            // The simulator may still record a request from an earlier input whose
            // set-up timed out, so the one sent is looked for among them.
            bool found = false;
            for (Bytes sent : sim.connectRequests()) {
                if (sent.size() != expected.size()) continue;
                sent[wire::crSrcRefOffset] = sent[wire::crSrcRefOffset + 1] = 0;
                found = found || sent == expected;
            }
            check(found, "the request sent carries both TSAPs as built");
        } else {
            check(r == ORVA_OK || r == ORVA_ERR_SOCKET || r == ORVA_ERR_CONNECT || r == ORVA_ERR_DROPPED,
                  "a call with tiny time-outs succeeds or reports a documented failure");
        }
    }
    check(ORVAClose(h) == ORVA_OK, "the handle closes");
    check(ORVAClose(h) == ORVA_ERR_HANDLE && ORVAGetSockErr(h) == ORVA_ERR_HANDLE, "and is invalid afterwards");
    return 0;
}
