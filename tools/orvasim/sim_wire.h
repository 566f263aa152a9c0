// The adapter's own reading and building of telegrams: TPKT framing, the CR it
// receives, the CC and DR it sends, the fetch/write header of a request and the
// acknowledgement it answers with. Offsets and codes come from wire_format.h;
// everything else here is the adapter's view of the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvasim::wire {

using Bytes = std::vector<std::uint8_t>;

// A connection request as the adapter understood it.
struct ConnectRequest {
    std::uint16_t dstRef = 0;
    std::uint16_t srcRef = 0;
    std::uint8_t classOptions = 0;
    std::string callingTsap;
    std::string calledTsap;
    int tpduSizeCode = -1;  // -1: no TPDU size parameter
    Bytes echoedParameters;  // the TSAP and TPDU size parameters, as received, in order
};

// Null when the telegram is not a well-formed CR (too short, parameters running
// past the end).
std::optional<ConnectRequest> parseConnectRequest(std::span<const std::uint8_t> telegram);

// CC: TPKT, LI, 0xD0 | credit, DST-REF = the client's SRC-REF, SRC-REF = ownRef,
// class 0, then the client's TSAP and TPDU size parameters echoed.
Bytes buildConnectConfirm(const ConnectRequest& request, std::uint16_t ownRef, std::uint8_t credit = 0);
// DR: TPKT, LI 6, 0x80, DST-REF, SRC-REF, reason 0 (normal disconnect).
Bytes buildDisconnectRequest(const ConnectRequest& request, std::uint16_t ownRef);
// The empty data unit without end mark: 03 00 00 07 02 F0 00.
Bytes emptyDataUnit();

// The fetch/write header of a request.
struct RequestHeader {
    std::uint8_t opCode = 0;  // 3 write, 5 fetch
    std::uint8_t area = 0;
    std::uint8_t block = 0;
    std::uint16_t start = 0;
    std::uint16_t length = 0;
};

// Reads the header of a DT telegram (the whole telegram, TPKT included).
// Null, with a reason, unless the telegram is at least 23 bytes, carries "S5",
// the fixed header bytes (0x10 0x01 0x03 . 0x03 0x08 ... 0xFF 0x02) and op code 3 or 5.
std::optional<RequestHeader> parseRequestHeader(std::span<const std::uint8_t> telegram, std::string* why);

// The reply: TPKT + DT header with end mark, 16-byte acknowledgement
// ('S' '5' 0x10 0x01 0x03 ackOp 0x0F 0x03 error 0xFF 0x07 0 0 0 0 0), then data.
Bytes buildReply(std::uint8_t ackOpCode, std::uint8_t errorByte, std::span<const std::uint8_t> data = {});

// Letter of an area code for traces: D M E A Z T X, '?' for others.
char areaLetter(std::uint8_t areaCode);

// Lines for the trace.
std::string describeConnectRequest(const ConnectRequest& request);
std::string describeHeader(const RequestHeader& header);
std::string describeReply(std::span<const std::uint8_t> reply);
std::string hex(std::span<const std::uint8_t> bytes, std::size_t max = 32);

}  // namespace orvasim::wire
