/* SPDX-License-Identifier: Apache-2.0 */
// Whole telegrams as byte vectors, made by the builders of builders.h: for
// orvasim, the tests, the benchmark and the fuzz targets, which play the
// adapter or a bare client. The library calls the builders into its fixed
// buffers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "builders.h"

namespace orva::wire {

using Bytes = std::vector<std::uint8_t>;

// A DT unit of class 0 around payload, with the end mark given.
inline Bytes dataUnit(std::span<const std::uint8_t> payload, std::uint8_t eot = dtEndOfTsdu) {
    Bytes unit(dtHeaderSize + payload.size());
    writeDataUnitHeader(unit, unit.size(), eot);
    std::copy(payload.begin(), payload.end(), unit.begin() + dtHeaderSize);
    return unit;
}

// 03 00 00 07 02 F0 00: an empty data unit without end mark.
inline Bytes emptyDataUnit() {
    Bytes unit(dtHeaderSize);
    writeEmptyDataUnit(unit);
    return unit;
}

// The adapter's answer: a DT unit with the acknowledgement (op code 4 for a
// write, 6 for a fetch) and, for a fetch, the data.
inline Bytes reply(std::uint8_t ackOpCode, std::uint8_t errorByte, std::span<const std::uint8_t> data = {}) {
    Bytes unit(fwDataOffset + data.size());
    writeDataUnitHeader(unit, unit.size());
    writeAcknowledgement(std::span(unit).subspan(fwHeaderOffset), ackOpCode, errorByte);
    std::copy(data.begin(), data.end(), unit.begin() + fwDataOffset);
    return unit;
}

// The acknowledgement of a fetch (with data) or of a write.
inline Bytes acknowledgement(bool fetch, std::span<const std::uint8_t> data = {}, std::uint8_t errorByte = ackNoError) {
    return reply(fetch ? opFetchAck : opWriteAck, errorByte, data);
}

// A fetch or write request as the library sends it: start and length in the
// area's unit; for a write, data already in PLC order.
inline Bytes request(bool write, AreaCode area, int dbNumber, int start, int length,
                     std::span<const std::uint8_t> data = {}) {
    Bytes unit(fwDataOffset + data.size());
    writeDataUnitHeader(unit, unit.size());
    writeRequestHeader(std::span(unit).subspan(fwHeaderOffset), write ? opWrite : opFetch, area,
                       static_cast<std::uint8_t>(dbNumber), static_cast<std::uint16_t>(start),
                       static_cast<std::uint16_t>(length));
    std::copy(data.begin(), data.end(), unit.begin() + fwDataOffset);
    return unit;
}

// A connection request with the two TSAPs (cut to 8 characters) and a TPDU size of 512.
inline Bytes connectRequest(std::string_view ownTsap, std::string_view plcTsap, std::uint16_t sourceReference) {
    Bytes cr(crMaxSize);
    cr.resize(writeConnectRequest(cr, ownTsap, plcTsap, sourceReference));
    return cr;
}

// A confirm: by default without parameters, DST-REF 1, SRC-REF 2, credit 0.
inline Bytes connectConfirm(std::uint8_t credit = 0, std::uint16_t dstRef = 1, std::uint16_t srcRef = 2,
                            std::span<const std::uint8_t> parameters = {}) {
    Bytes cc(ccFixedSize + parameters.size());
    writeConnectConfirm(cc, dstRef, srcRef, credit, parameters);
    return cc;
}

// A disconnect request in place of a confirm: by default DST-REF 1, SRC-REF 2, normal reason.
inline Bytes disconnectRequest(std::uint16_t dstRef = 1, std::uint16_t srcRef = 2) {
    Bytes dr(drSize);
    writeDisconnectRequest(dr, dstRef, srcRef);
    return dr;
}

}  // namespace orva::wire
