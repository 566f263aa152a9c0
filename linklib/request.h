/* SPDX-License-Identifier: Apache-2.0 */
// A data call's arguments decoded once, by exports.cpp after its checks: the
// layers below work from this value and never see the area letter.
#pragma once

#include <cstdint>

#include "wire_format.h"

namespace orva {

inline constexpr int byteElement = 1;
inline constexpr int wordElement = 2;

struct Request {
    wire::AreaCode area;
    std::uint8_t block;   // the telegram's block byte: the low 8 bits of the number given
    std::uint16_t start;  // the first address, in the area's unit
    std::uint16_t count;  // elements to move: only the low 16 bits of the call's count are used
    int elementSize;      // byteElement or wordElement

    static constexpr Request of(wire::AreaCode area, int dbNumber, int start, int count, int elementSize) {
        return {area, static_cast<std::uint8_t>(dbNumber), static_cast<std::uint16_t>(start),
                static_cast<std::uint16_t>(count), elementSize};
    }

    // The addresses of the area's unit that elements cover: a word read of a
    // byte-counted area (A, E, M) covers two byte addresses per word. This is
    // also the length a telegram of that many elements carries.
    constexpr std::uint32_t unitsOf(int elements) const {
        const auto bytes = static_cast<std::uint32_t>(elements * elementSize);
        return wire::isWordCounted(area) ? bytes / 2 : bytes;
    }

    // True when the transfer ends by address 65535 of the area's unit: past it
    // the telegrams' 16-bit start would wrap to 0, and data of other addresses
    // would come back as success.
    constexpr bool fitsAddressSpace() const { return start + unitsOf(count) <= 0x10000u; }

    // True unless the area has data blocks (D, X) and dbNumber lies outside
    // 0..255: one byte of the telegram carries it, and block 261 would be block
    // 5. The areas without blocks carry the byte too, where nothing reads it.
    static constexpr bool blockNumberFits(wire::AreaCode area, int dbNumber) {
        return !wire::hasBlockNumber(area) || (dbNumber >= 0 && dbNumber <= 0xFF);
    }
};

}  // namespace orva
