/* SPDX-License-Identifier: Apache-2.0 */
// Bounded reads of a transport unit from a socket, each within one deadline.
#pragma once

#include <cstdint>

#include "platform/socket.h"

namespace orva {

// How a read ended: every byte arrived, the peer closed the connection first,
// or a receive failed (error holds its number: 10060 when the deadline passed).
enum class ReadEnd { complete, closed, failed };
struct ReadResult {
    ReadEnd end;
    int error = platform::wsa::none;
    bool complete() const { return end == ReadEnd::complete; }
};

// Reads exactly size bytes, the first of them already received (received of
// them), the rest by the deadline.
ReadResult receiveRest(platform::SocketHandle s, std::uint8_t* destination, int received, int size,
                       const platform::Deadline& deadline);

// Opens a wait: reads exactly size bytes, the first receive of them blocking
// on the socket's own receive time-out (made into the deadline just before).
ReadResult receiveExactly(platform::SocketHandle s, std::uint8_t* destination, int size,
                          const platform::Deadline& deadline);

// Opens the wait for a reply: reads its 7 bytes of TPKT and DT header, skipping
// empty data units without end mark, all by the deadline (made of the socket's
// own receive time-out just before).
ReadResult readTransportHeader(platform::SocketHandle s, std::uint8_t* destination, const platform::Deadline& deadline);

// An empty data unit without end mark (03 00 00 07 02 F0 00), which a peer may
// send before a reply.
bool isEmptyDataUnit(const std::uint8_t* header);

}  // namespace orva
