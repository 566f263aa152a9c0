// SPDX-License-Identifier: Apache-2.0
#include "receive.h"

#include "wire_format.h"

namespace orva {

bool isEmptyDataUnit(const std::uint8_t* header) {
    return header[wire::cotpCodeOffset] == wire::cotpData &&
           header[wire::cotpLengthIndicatorOffset] == wire::dtLengthIndicator &&
           header[wire::dtEotOffset] == wire::dtNoEndOfTsdu;
}

ReadResult receiveRest(platform::SocketHandle s, std::uint8_t* destination, int received, int size,
                       const platform::Deadline& deadline) {
    while (received < size) {
        const platform::Transfer r = platform::receiveWithin(s, destination + received, size - received, deadline);
        if (r.error != platform::wsa::none) return {ReadEnd::failed, r.error};
        if (r.bytes == 0) return {ReadEnd::closed};  // the rest can never come
        received += r.bytes;
    }
    return {ReadEnd::complete};
}

ReadResult receiveExactly(platform::SocketHandle s, std::uint8_t* destination, int size,
                          const platform::Deadline& deadline) {
    const platform::Transfer first = platform::receiveFirst(s, destination, size, deadline);
    if (first.error != platform::wsa::none) return {ReadEnd::failed, first.error};
    if (first.bytes == 0) return {ReadEnd::closed};
    return receiveRest(s, destination, first.bytes, size, deadline);
}

ReadResult readTransportHeader(platform::SocketHandle s, std::uint8_t* destination,
                               const platform::Deadline& deadline) {
    const int size = static_cast<int>(wire::dtHeaderSize);
    ReadResult header = receiveExactly(s, destination, size, deadline);
    // Empty units are skipped only while time is left: a stream of them ends
    // with the deadline like silence does.
    while (header.complete() && isEmptyDataUnit(destination)) {
        if (deadline.passed()) return {ReadEnd::failed, platform::wsa::eTimedOut};
        header = receiveRest(s, destination, 0, size, deadline);
    }
    return header;
}

}  // namespace orva
