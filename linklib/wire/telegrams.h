/* SPDX-License-Identifier: Apache-2.0 */
// Whole telegrams as byte vectors, built from the layouts of wire_format.h:
// for the tests, the benchmark and the fuzz targets, which play the adapter or
// a bare client. The library builds its own into fixed buffers.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "wire_format.h"

namespace orva::wire {

using Bytes = std::vector<std::uint8_t>;

// A TPKT packet around the unit that starts at byte 4: sets the length field.
inline Bytes withTpktLength(Bytes packet) {
    writeBe16(packet.data() + tpktLengthOffset, static_cast<std::uint16_t>(packet.size()));
    return packet;
}

// A DT unit of class 0 around payload, with the end mark given.
inline Bytes dataUnit(std::span<const std::uint8_t> payload, std::uint8_t eot = dtEndOfTsdu) {
    Bytes unit = {tpktVersion, 0, 0, 0, dtLengthIndicator, cotpData, eot};
    unit.insert(unit.end(), payload.begin(), payload.end());
    return withTpktLength(std::move(unit));
}

// 03 00 00 07 02 F0 00: an empty data unit without end mark.
inline Bytes emptyDataUnit() { return dataUnit({}, dtNoEndOfTsdu); }

// The adapter's answer: acknowledgement of a fetch (with data) or of a write.
inline Bytes acknowledgement(bool fetch, std::span<const std::uint8_t> data = {}, std::uint8_t errorByte = ackNoError) {
    Bytes payload(ackTemplate.begin(), ackTemplate.end());
    payload[fwOpCodeOffset] = fetch ? opFetchAck : opWriteAck;
    payload[ackErrorOffset] = errorByte;
    payload.insert(payload.end(), data.begin(), data.end());
    return dataUnit(payload);
}

// A fetch or write request as the library sends it: start and length in the
// area's unit; for a write, data already in PLC order.
inline Bytes request(bool write, AreaCode area, int dbNumber, int start, int length,
                     std::span<const std::uint8_t> data = {}) {
    Bytes header(headerTemplate.begin(), headerTemplate.end());
    header[fwOpCodeOffset] = write ? opWrite : opFetch;
    header[fwAreaOffset] = static_cast<std::uint8_t>(area);
    header[fwDbNumberOffset] = static_cast<std::uint8_t>(dbNumber);
    writeBe16(&header[fwStartOffset], static_cast<std::uint16_t>(start));
    writeBe16(&header[fwLengthOffset], static_cast<std::uint16_t>(length));
    header.insert(header.end(), data.begin(), data.end());
    return dataUnit(header);
}

// A connection request with the two TSAPs (cut to 8 characters) and a TPDU size of 512.
inline Bytes connectRequest(std::string_view ownTsap, std::string_view plcTsap, std::uint16_t sourceReference) {
    ownTsap = ownTsap.substr(0, maxTsapLength);
    plcTsap = plcTsap.substr(0, maxTsapLength);
    Bytes cr = {tpktVersion, 0, 0, 0, 0, cotpConnectRequest, 0, 0, 0, 0, crClass0};
    writeBe16(&cr[crSrcRefOffset], sourceReference);
    cr.push_back(paramCallingTsap);
    cr.push_back(static_cast<std::uint8_t>(ownTsap.size()));
    cr.insert(cr.end(), ownTsap.begin(), ownTsap.end());
    cr.push_back(paramCalledTsap);
    cr.push_back(static_cast<std::uint8_t>(plcTsap.size()));
    cr.insert(cr.end(), plcTsap.begin(), plcTsap.end());
    cr.insert(cr.end(), {paramTpduSize, 1, tpduSize512});
    cr[cotpLengthIndicatorOffset] = static_cast<std::uint8_t>(cr.size() - cotpCodeOffset);
    return withTpktLength(std::move(cr));
}

// A confirm without parameters: DST-REF 1, SRC-REF 2, class 0, the credit given.
inline Bytes connectConfirm(std::uint8_t credit = 0) {
    Bytes cc = {tpktVersion,
                0,
                0,
                0,
                ccFixedSize - cotpCodeOffset,
                static_cast<std::uint8_t>(cotpConnectConfirm | (credit & 0x0F)),
                0,
                1,
                0,
                2,
                crClass0};
    return withTpktLength(std::move(cc));
}

// A disconnect request in place of a confirm: DST-REF 1, SRC-REF 2, normal reason.
inline Bytes disconnectRequest() {
    Bytes dr = {tpktVersion, 0, 0, 0, drLengthIndicator, cotpDisconnectRequest, 0, 1, 0, 2, drReasonNormal};
    return withTpktLength(std::move(dr));
}

}  // namespace orva::wire
