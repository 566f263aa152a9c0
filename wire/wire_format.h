/* SPDX-License-Identifier: Apache-2.0 */
// The bytes of the protocol in one place: RFC 1006 TPKT, ISO 8073 class 0 units
// (CR, CC, DR, DT), the S5 fetch/write header and its acknowledgement. Shared
// by the library, the adapter simulator and the tests; nobody keeps a copy of
// a layout of their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orva::wire {

inline constexpr std::uint16_t isoTcpPort = 102;

// TPKT header (RFC 1006): version, reserved, 16-bit big-endian length of the whole packet.
inline constexpr std::uint8_t tpktVersion = 0x03;
inline constexpr std::size_t tpktHeaderSize = 4;
inline constexpr std::size_t tpktLengthOffset = 2;

// ISO 8073 units: offset 4 is the length indicator, offset 5 the unit code.
inline constexpr std::size_t cotpLengthIndicatorOffset = 4;
inline constexpr std::size_t cotpCodeOffset = 5;
inline constexpr std::uint8_t cotpConnectRequest = 0xE0;  // CR, credit 0
inline constexpr std::uint8_t cotpConnectConfirm = 0xD0;  // CC; low four bits are the credit
inline constexpr std::uint8_t cotpDisconnectRequest = 0x80;
inline constexpr std::uint8_t cotpData = 0xF0;  // DT
inline constexpr std::uint8_t cotpCodeMask = 0xF0;

// Connection request layout.
inline constexpr std::size_t crDstRefOffset = 6;
inline constexpr std::size_t crSrcRefOffset = 8;
inline constexpr std::size_t crClassOffset = 10;
inline constexpr std::size_t crParametersOffset = 11;
inline constexpr std::uint8_t crClass0 = 0x00;
inline constexpr std::uint8_t paramCallingTsap = 0xC1;
inline constexpr std::uint8_t paramCalledTsap = 0xC2;
inline constexpr std::uint8_t paramTpduSize = 0xC0;
inline constexpr std::uint8_t tpduSize512 = 0x09;  // 2^9 bytes
inline constexpr std::size_t maxTsapLength = 8;
inline constexpr std::size_t crFixedSize = 18;  // CR with both TSAPs empty
inline constexpr std::size_t crMaxSize = crFixedSize + 2 * maxTsapLength;

// A connection confirm carries the fields of a request: DST-REF (the client's
// SRC-REF), SRC-REF (the adapter's own), class; its parameters may follow.
inline constexpr std::size_t ccFixedSize = crParametersOffset;  // 11

// Disconnect request: TPKT, LI 6, 0x80, DST-REF, SRC-REF, reason.
inline constexpr std::size_t drSize = 11;
inline constexpr std::uint8_t drLengthIndicator = 6;
inline constexpr std::size_t drReasonOffset = 10;
inline constexpr std::uint8_t drReasonNormal = 0;

// The source reference cycles 1, 2, ... crMaxSourceReference, 0, 1, ... Class
// 0 asks nothing of it but that the adapter echo it (as the confirm's DST-REF,
// which nobody checks), so the bound is free: 0x6000 keeps every value below
// 0x8000, never negative to a peer that reads it as a signed 16-bit number, and
// stays as it is so that traces show the same sequence from version to version.
inline constexpr std::uint16_t crFirstSourceReference = 1;
inline constexpr std::uint16_t crMaxSourceReference = 0x6000;

// DT header: TPKT plus a class 0 data unit with the end-of-TSDU mark.
inline constexpr std::size_t dtHeaderSize = 7;
inline constexpr std::uint8_t dtLengthIndicator = 0x02;
inline constexpr std::size_t dtEotOffset = 6;
inline constexpr std::uint8_t dtEndOfTsdu = 0x80;  // EOT set, TPDU number 0
inline constexpr std::uint8_t dtNoEndOfTsdu = 0x00;

// S5 fetch/write header (16 bytes), following the DT header.
inline constexpr std::size_t fwHeaderSize = 16;
inline constexpr std::size_t fwHeaderOffset = dtHeaderSize;
inline constexpr std::size_t fwDataOffset = fwHeaderOffset + fwHeaderSize;  // 23
inline constexpr std::array<std::uint8_t, fwHeaderSize> headerTemplate = {
    0x53, 0x35, 0x10, 0x01, 0x03, 0x00, 0x03, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x02};
// Offsets inside the fetch/write header.
inline constexpr std::size_t fwOpCodeOffset = 5;
inline constexpr std::size_t fwAreaOffset = 8;
inline constexpr std::size_t fwDbNumberOffset = 9;
inline constexpr std::size_t fwStartOffset = 10;
inline constexpr std::size_t fwLengthOffset = 12;
inline constexpr std::uint8_t opWrite = 3;
inline constexpr std::uint8_t opFetch = 5;
// Acknowledgement: the same 16-byte frame; op code 4 answers a write, 6 a
// fetch, then the ack block (0x0F, 3) whose third byte is the error byte.
inline constexpr std::uint8_t opWriteAck = 4;
inline constexpr std::uint8_t opFetchAck = 6;
inline constexpr std::uint8_t ackBlockId = 0x0F;
inline constexpr std::uint8_t ackBlockLength = 0x03;
inline constexpr std::size_t ackErrorOffset = 8;  // inside the 16-byte acknowledgement
inline constexpr std::array<std::uint8_t, fwHeaderSize> ackTemplate = {
    0x53, 0x35, 0x10, 0x01, 0x03, 0x00, ackBlockId, ackBlockLength, 0x00, 0xFF, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr std::size_t replyErrorByteOffset = fwHeaderOffset + ackErrorOffset;  // 15
inline constexpr std::uint8_t ackNoError = 0;
inline constexpr std::uint8_t ackAreaMissing = 2;
inline constexpr std::uint8_t ackAreaTooSmall = 3;

// Sizes of one telegram. The connection request proposes TPDU size 512: a DT
// unit of 512 bytes holds its 3-byte header, the 16-byte fetch/write header and
// 493 data bytes, of which a telegram takes 492 (an even number, so that 246
// words are never split between telegrams).
inline constexpr std::size_t maxDataPerTelegram = 492;
inline constexpr std::size_t maxTelegramSent = fwDataOffset + maxDataPerTelegram;  // 515
// The largest unit the library reads: 1024 bytes of data (the next TPDU size,
// for an adapter that ignores the proposed 512) behind the 23 bytes of
// headers. No good reply needs more than 515 bytes: a longer one is read and
// refused as a reply of the wrong length, one that announces more than this is
// refused before its body is read. The bound only decides how much a wrong
// reply can make the library read.
inline constexpr std::size_t telegramBufferSize = fwDataOffset + 1024;  // 1047

// Area codes of the fetch/write header.
enum class AreaCode : std::uint8_t {
    none = 0,
    dataBlock = 1,
    flags = 2,
    inputs = 3,
    outputs = 4,
    counters = 6,
    timers = 7,
    extendedDataBlock = 10,
};

// Only the low 8 bits of a letter count; upper and lower case select the same area.
constexpr AreaCode areaCodeOf(int letter) {
    switch (static_cast<unsigned char>(letter)) {
    case 'A':
    case 'a':
    case 'O':
    case 'o': return AreaCode::outputs;
    case 'E':
    case 'e':
    case 'I':
    case 'i': return AreaCode::inputs;
    case 'M':
    case 'm': return AreaCode::flags;
    case 'D':
    case 'd': return AreaCode::dataBlock;
    case 'X':
    case 'x': return AreaCode::extendedDataBlock;
    case 'T':
    case 't': return AreaCode::timers;
    case 'Z':
    case 'z':
    case 'C':
    case 'c': return AreaCode::counters;
    default: return AreaCode::none;
    }
}

// The areas whose telegrams name a data block in their block byte (D, X).
constexpr bool hasBlockNumber(AreaCode code) {
    return code == AreaCode::dataBlock || code == AreaCode::extendedDataBlock;
}

// Start and length of these areas are counted in words, of the others in bytes.
constexpr bool isWordCounted(AreaCode code) {
    return code == AreaCode::dataBlock || code == AreaCode::extendedDataBlock || code == AreaCode::timers ||
           code == AreaCode::counters;
}

constexpr std::uint16_t readBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

constexpr void writeBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

}  // namespace orva::wire
