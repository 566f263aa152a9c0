/* SPDX-License-Identifier: Apache-2.0 */
// The adapter's own reading of telegrams: the CR it receives and the
// fetch/write header of a request, and the trace's lines. Offsets and codes
// come from wire_format.h; what it sends is built by telegrams.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "telegrams.h"

namespace orvasim::wire {

using orva::wire::Bytes;

// A connection request as the adapter understood it.
struct ConnectRequest {
    std::uint16_t dstRef = 0;
    std::uint16_t srcRef = 0;
    std::uint8_t classOptions = 0;
    std::string callingTsap;
    std::string calledTsap;
    int tpduSizeCode = -1;   // -1: no TPDU size parameter
    Bytes echoedParameters;  // the TSAP and TPDU size parameters, as received, in order
};

// Null when the telegram is not a well-formed CR (too short, parameters running
// past the end).
std::optional<ConnectRequest> parseConnectRequest(std::span<const std::uint8_t> telegram);

// CC: DST-REF = the client's SRC-REF, SRC-REF = ownRef, the client's TSAP and
// TPDU size parameters echoed.
Bytes confirmFor(const ConnectRequest& request, std::uint16_t ownRef, std::uint8_t credit = 0);
// DR: DST-REF = the client's SRC-REF, SRC-REF = ownRef, reason normal.
Bytes disconnectFor(const ConnectRequest& request, std::uint16_t ownRef);

// The fetch/write header of a request.
struct RequestHeader {
    std::uint8_t opCode = 0;                                 // 3 write, 5 fetch
    orva::wire::AreaCode area = orva::wire::AreaCode::none;  // as received: any code
    std::uint8_t block = 0;
    std::uint16_t start = 0;
    std::uint16_t length = 0;
};

// Reads the header of a DT telegram (the whole telegram, TPKT included).
// Null, with a reason, unless the telegram is at least 23 bytes, every byte of
// its header but op code, area, block, start and length is that of
// headerTemplate, and the op code is 3 or 5.
std::optional<RequestHeader> parseRequestHeader(std::span<const std::uint8_t> telegram, std::string* why);

// The op code that acknowledges a request's: 4 for a write, 6 for a fetch.
constexpr std::uint8_t ackOpCodeFor(std::uint8_t requestOpCode) {
    return requestOpCode == orva::wire::opFetch ? orva::wire::opFetchAck : orva::wire::opWriteAck;
}

// Lines for the trace.
std::string describeConnectRequest(const ConnectRequest& request);
std::string describeHeader(const RequestHeader& header);
std::string describeReply(std::span<const std::uint8_t> reply);
// Bytes as spaced hex pairs ("03 00 00 07"), at most max of them, then "...".
std::string spacedHex(std::span<const std::uint8_t> bytes, std::size_t max = 32);

}  // namespace orvasim::wire
