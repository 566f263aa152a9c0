// Bounded reads of a reply from a socket.
#pragma once

#include <cstdint>

#include "platform/socket.h"

namespace orva {

// Receives up to size bytes within limitMs of the call: bytes received (possibly
// fewer than size), or the first receive's result when that is 0 or negative.
int receiveWithin(platform::SocketHandle s, std::uint8_t* destination, int size, std::uint32_t limitMs);

// Reads the 7 bytes of TPKT and DT header of the next reply, skipping empty data
// units without end mark, all within limitMs of the call. 7, or what the last
// receive gave; a stream of empty units that outlasts the limit gives -1 with a
// time-out recorded as the thread's socket error.
int readTransportHeader(platform::SocketHandle s, std::uint8_t* destination, std::uint32_t limitMs);

}  // namespace orva
