// SPDX-License-Identifier: Apache-2.0
#include "sim_wire.h"

#include "notation.h"

#include <algorithm>
#include <cstdio>

namespace orvasim::wire {

namespace w = orva::wire;
using orva::vars::areaText;
using orva::vars::isBlockArea;

namespace {

// Op code, area, block, start and length: what a request sets in its header.
bool isVariableHeaderByte(std::size_t i) {
    return i == w::fwOpCodeOffset || i == w::fwAreaOffset || i == w::fwDbNumberOffset || i == w::fwStartOffset ||
           i == w::fwStartOffset + 1 || i == w::fwLengthOffset || i == w::fwLengthOffset + 1;
}

}  // namespace

std::optional<ConnectRequest> parseConnectRequest(std::span<const std::uint8_t> t) {
    // TPKT (4), LI, code, DST-REF (2), SRC-REF (2), class: 11 bytes before the parameters.
    if (t.size() < w::crParametersOffset) return std::nullopt;
    ConnectRequest cr;
    cr.dstRef = w::readBe16(t.data() + w::crDstRefOffset);
    cr.srcRef = w::readBe16(t.data() + w::crSrcRefOffset);
    cr.classOptions = t[w::crClassOffset];
    // The unit ends where its length indicator says, or at the end of the TPKT.
    std::size_t end = std::min<std::size_t>(t.size(), w::cotpCodeOffset + t[w::cotpLengthIndicatorOffset]);
    std::size_t i = w::crParametersOffset;
    while (i < end) {
        if (i + 2 > end) return std::nullopt;
        std::uint8_t code = t[i];
        std::size_t len = t[i + 1];
        if (i + 2 + len > end) return std::nullopt;
        const char* value = reinterpret_cast<const char*>(t.data() + i + 2);
        bool echo = true;
        if (code == w::paramCallingTsap) {
            cr.callingTsap.assign(value, len);
        } else if (code == w::paramCalledTsap) {
            cr.calledTsap.assign(value, len);
        } else if (code == w::paramTpduSize && len == 1) {
            cr.tpduSizeCode = t[i + 2];
        } else {
            echo = false;  // unknown parameters are not confirmed
        }
        if (echo) cr.echoedParameters.insert(cr.echoedParameters.end(), t.begin() + i, t.begin() + i + 2 + len);
        i += 2 + len;
    }
    return cr;
}

Bytes confirmFor(const ConnectRequest& request, std::uint16_t ownRef, std::uint8_t credit) {
    return w::connectConfirm(credit, request.srcRef, ownRef, request.echoedParameters);
}

Bytes disconnectFor(const ConnectRequest& request, std::uint16_t ownRef) {
    return w::disconnectRequest(request.srcRef, ownRef);
}

std::optional<RequestHeader> parseRequestHeader(std::span<const std::uint8_t> t, std::string* why) {
    auto fail = [why](const char* reason) -> std::optional<RequestHeader> {
        if (why) *why = reason;
        return std::nullopt;
    };
    if (t.size() < w::fwDataOffset) return fail("shorter than 23 bytes");
    const std::uint8_t* h = t.data() + w::fwHeaderOffset;
    for (std::size_t i = 0; i < w::fwHeaderSize; ++i) {
        if (isVariableHeaderByte(i) || h[i] == w::headerTemplate[i]) continue;
        char text[96];
        std::snprintf(text, sizeof text, "header byte %zu is %02X, not the frame's %02X", i, h[i],
                      w::headerTemplate[i]);
        if (why) *why = text;
        return std::nullopt;
    }
    RequestHeader r;
    r.opCode = h[w::fwOpCodeOffset];
    if (r.opCode != w::opWrite && r.opCode != w::opFetch) return fail("op code is neither 3 (write) nor 5 (fetch)");
    r.area = static_cast<w::AreaCode>(h[w::fwAreaOffset]);
    r.block = h[w::fwDbNumberOffset];
    r.start = w::readBe16(h + w::fwStartOffset);
    r.length = w::readBe16(h + w::fwLengthOffset);
    return r;
}

std::string describeConnectRequest(const ConnectRequest& r) {
    char line[160];
    std::snprintf(line, sizeof line, "dst-ref %04X src-ref %04X class %u calling \"%s\" called \"%s\" tpdu-size %d",
                  r.dstRef, r.srcRef, r.classOptions, r.callingTsap.c_str(), r.calledTsap.c_str(), r.tpduSizeCode);
    return line;
}

std::string describeHeader(const RequestHeader& h) {
    char line[160];
    // The block byte of E, A, M, T and Z means nothing; shown only when a client sets it.
    std::string area = areaText(h.area, h.block);
    if (!isBlockArea(h.area) && h.block != 0) area += " (block byte " + std::to_string(h.block) + ")";
    std::snprintf(line, sizeof line, "%s %s start %u length %u", h.opCode == w::opFetch ? "fetch" : "write",
                  area.c_str(), h.start, h.length);
    return line;
}

std::string describeReply(std::span<const std::uint8_t> r) {
    char line[160];
    if (r.size() < w::fwDataOffset) {
        std::snprintf(line, sizeof line, "%zu bytes: %s", r.size(), spacedHex(r).c_str());
        return line;
    }
    std::uint8_t op = r[w::fwHeaderOffset + w::fwOpCodeOffset];
    std::snprintf(line, sizeof line, "%s tpkt-length %u type %02X eot %02X error %u data %zu bytes",
                  op == w::opFetchAck   ? "fetch ack"
                  : op == w::opWriteAck ? "write ack"
                                        : "ack",
                  w::readBe16(r.data() + w::tpktLengthOffset), r[w::cotpCodeOffset], r[w::dtEotOffset],
                  r[w::replyErrorByteOffset], r.size() - w::fwDataOffset);
    return line;
}

std::string spacedHex(std::span<const std::uint8_t> bytes, std::size_t max) {
    std::string s;
    char two[4];
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(two, sizeof two, i ? " %02X" : "%02X", bytes[i]);
        s += two;
    }
    if (bytes.size() > max) s += " ...";
    return s;
}

}  // namespace orvasim::wire
