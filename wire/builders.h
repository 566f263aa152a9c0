/* SPDX-License-Identifier: Apache-2.0 */
// One builder per telegram, each writing into a buffer its caller owns, so
// that the library builds into its fixed buffers and allocates nothing; the
// programs that play the other end wrap the same builders (telegrams.h).
// Every builder writes the whole telegram from out[0] and returns its length;
// out must be large enough for it (the sizes are in wire_format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "wire_format.h"

namespace orva::wire {

// TPKT header and a class 0 DT unit for a telegram of totalLength bytes.
constexpr void writeDataUnitHeader(std::span<std::uint8_t> out, std::size_t totalLength,
                                   std::uint8_t eot = dtEndOfTsdu) {
    out[0] = tpktVersion;
    out[1] = 0;
    writeBe16(&out[tpktLengthOffset], static_cast<std::uint16_t>(totalLength));
    out[cotpLengthIndicatorOffset] = dtLengthIndicator;
    out[cotpCodeOffset] = cotpData;
    out[dtEotOffset] = eot;
}

// 03 00 00 07 02 F0 00: an empty data unit without end mark.
constexpr std::size_t writeEmptyDataUnit(std::span<std::uint8_t> out) {
    writeDataUnitHeader(out, dtHeaderSize, dtNoEndOfTsdu);
    return dtHeaderSize;
}

// A connection request: TSAPs cut to 8 characters and copied as they are,
// parameters in the order calling TSAP, called TSAP, TPDU size 512. out holds
// at least crMaxSize bytes.
constexpr std::size_t writeConnectRequest(std::span<std::uint8_t> out, std::string_view ownTsap,
                                          std::string_view plcTsap, std::uint16_t sourceReference) {
    ownTsap = ownTsap.substr(0, maxTsapLength);
    plcTsap = plcTsap.substr(0, maxTsapLength);
    out[0] = tpktVersion;
    out[1] = 0;
    out[cotpCodeOffset] = cotpConnectRequest;
    writeBe16(&out[crDstRefOffset], 0);
    writeBe16(&out[crSrcRefOffset], sourceReference);
    out[crClassOffset] = crClass0;
    std::size_t at = crParametersOffset;
    for (const auto& [code, tsap] : {std::pair{paramCallingTsap, ownTsap}, std::pair{paramCalledTsap, plcTsap}}) {
        out[at++] = code;
        out[at++] = static_cast<std::uint8_t>(tsap.size());
        for (char c : tsap) out[at++] = static_cast<std::uint8_t>(c);
    }
    out[at++] = paramTpduSize;
    out[at++] = 1;
    out[at++] = tpduSize512;
    out[cotpLengthIndicatorOffset] = static_cast<std::uint8_t>(at - cotpCodeOffset);
    writeBe16(&out[tpktLengthOffset], static_cast<std::uint16_t>(at));
    return at;
}

// A connection confirm: DST-REF the client's SRC-REF, SRC-REF the adapter's
// own, class 0, the credit in the low four bits of the code, then parameters
// as given (an adapter echoes the request's).
constexpr std::size_t writeConnectConfirm(std::span<std::uint8_t> out, std::uint16_t dstRef, std::uint16_t srcRef,
                                          std::uint8_t credit = 0, std::span<const std::uint8_t> parameters = {}) {
    const std::size_t length = ccFixedSize + parameters.size();
    out[0] = tpktVersion;
    out[1] = 0;
    writeBe16(&out[tpktLengthOffset], static_cast<std::uint16_t>(length));
    out[cotpLengthIndicatorOffset] = static_cast<std::uint8_t>(length - cotpCodeOffset);
    out[cotpCodeOffset] = static_cast<std::uint8_t>(cotpConnectConfirm | (credit & 0x0F));
    writeBe16(&out[crDstRefOffset], dstRef);
    writeBe16(&out[crSrcRefOffset], srcRef);
    out[crClassOffset] = crClass0;
    for (std::size_t i = 0; i < parameters.size(); ++i) out[ccFixedSize + i] = parameters[i];
    return length;
}

// A disconnect request with the normal reason.
constexpr std::size_t writeDisconnectRequest(std::span<std::uint8_t> out, std::uint16_t dstRef, std::uint16_t srcRef) {
    out[0] = tpktVersion;
    out[1] = 0;
    writeBe16(&out[tpktLengthOffset], static_cast<std::uint16_t>(drSize));
    out[cotpLengthIndicatorOffset] = drLengthIndicator;
    out[cotpCodeOffset] = cotpDisconnectRequest;
    writeBe16(&out[crDstRefOffset], dstRef);
    writeBe16(&out[crSrcRefOffset], srcRef);
    out[drReasonOffset] = drReasonNormal;
    return drSize;
}

// The 16-byte fetch/write header of a request: headerTemplate with the op
// code, area, block, start and length (in the area's unit) filled in.
constexpr void writeRequestHeader(std::span<std::uint8_t> out, std::uint8_t opCode, AreaCode area, std::uint8_t block,
                                  std::uint16_t start, std::uint16_t length) {
    for (std::size_t i = 0; i < fwHeaderSize; ++i) out[i] = headerTemplate[i];
    out[fwOpCodeOffset] = opCode;
    out[fwAreaOffset] = static_cast<std::uint8_t>(area);
    out[fwDbNumberOffset] = block;
    writeBe16(&out[fwStartOffset], start);
    writeBe16(&out[fwLengthOffset], length);
}

// The 16-byte acknowledgement an adapter answers with: ackTemplate with the
// op code (4 for a write, 6 for a fetch) and the error byte.
constexpr void writeAcknowledgement(std::span<std::uint8_t> out, std::uint8_t ackOpCode, std::uint8_t errorByte) {
    for (std::size_t i = 0; i < fwHeaderSize; ++i) out[i] = ackTemplate[i];
    out[fwOpCodeOffset] = ackOpCode;
    out[ackErrorOffset] = errorByte;
}

}  // namespace orva::wire
