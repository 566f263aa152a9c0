/* SPDX-License-Identifier: Apache-2.0 */
// Client of orvasim's control channel (tools/orvasim/control_channel.h): the
// way a test that cannot link the simulator (a Windows program under Wine)
// arms faults and reads back what the adapter saw. Failures of the channel
// itself throw std::runtime_error, which fails the test that met them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loopback.h"

namespace orvaext {

using Bytes = std::vector<std::uint8_t>;

class SimControl {
public:
    // endpoint: "address:port" of the control channel.
    explicit SimControl(const std::string& endpoint);

    // Sends one request; the data lines of an "ok" reply.
    std::vector<std::string> call(const std::string& request);

    void reset() { call("reset"); }
    void armConfirmFault(const std::string& kind, int value = 0, int pauseMs = 0);
    void armReplyFault(const std::string& kind, int value = 0, int pauseMs = 0);

    std::vector<Bytes> connectRequests() { return telegrams("crs"); }
    std::vector<Bytes> requests() { return telegrams("dts"); }
    // Per accepted connection: "open", "orderly" or "reset".
    std::vector<std::string> connectionEnds() { return call("ends"); }
    int connectionsAccepted();
    // Polls until count connections have ended; false when timeoutMs passed first.
    bool waitForEnds(int count, int timeoutMs);

    // Memory, by area letter (D X M E A T Z), block and byte offset.
    Bytes read(char area, int block, int byteOffset, int count);
    void write(char area, int block, int byteOffset, const Bytes& bytes);
    void setBlockWords(char area, int block, int words);

private:
    std::vector<Bytes> telegrams(const std::string& request);

    LineClient client;
};

std::string toHex(const Bytes& bytes);
Bytes fromHex(const std::string& text);

}  // namespace orvaext
