/* SPDX-License-Identifier: Apache-2.0 */
// A small raw-socket client for the simulator tests. Telegrams are built here
// from literal bytes, not with wire/ (whose builders the simulator answers
// with), so that the tests check the simulator's bytes independently of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unique_handle.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// CR with calling TSAP `calling`, called TSAP `called`, SRC-REF srcRef, TPDU size 512.
Bytes connectRequest(const std::string& calling, const std::string& called, std::uint16_t srcRef);
// DT telegram with a fetch (op 5) or write (op 3) header; data follows for a write.
Bytes fetchRequest(std::uint8_t area, std::uint8_t block, std::uint16_t start, std::uint16_t length);
Bytes writeRequest(std::uint8_t area, std::uint8_t block, std::uint16_t start, std::uint16_t length, const Bytes& data);
// The reply the simulator should give: 16-byte acknowledgement after the DT header, then data.
Bytes expectedReply(std::uint8_t ackOp, std::uint8_t error, const Bytes& data = {});
Bytes concat(const Bytes& a, const Bytes& b);

// Outcome of waiting for the peer's end.
enum class PeerEnd { stillOpen, orderlyClose, reset, data };

class RawClient {
public:
    bool connect(const std::string& address, std::uint16_t port);
    // One send() call for the whole buffer.
    bool send(const Bytes& bytes);
    // Reads until n bytes are in, the peer ends, or timeoutMs passed.
    Bytes receive(std::size_t n, int timeoutMs = 2000);
    // One recv() call (waits at most timeoutMs for it to have something).
    Bytes receiveOnce(int timeoutMs = 2000);
    // One whole TPKT telegram (by its length field), or what came before the end.
    Bytes receiveTelegram(int timeoutMs = 2000);
    // Waits for the peer to end the connection (or send something).
    PeerEnd waitForEnd(int timeoutMs = 2000);
    // CR out, CC in; the CC telegram (empty on failure).
    Bytes connectTransport(const std::string& calling = "", const std::string& called = "", std::uint16_t srcRef = 1);
    // A request out, its whole reply in.
    Bytes exchange(const Bytes& request, int timeoutMs = 2000);

    void closeOrderly();
    void closeAbortive();  // SO_LINGER {1, 0}: the peer sees a reset
    int lastErrno() const { return error; }

private:
    orvatest::UniqueFd socket;
    int error = 0;
};

}  // namespace simtest
