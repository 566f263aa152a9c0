/* SPDX-License-Identifier: Apache-2.0 */
// The adapter's memory of the seven data areas. Thread-safe.
#pragma once

#include "wire_format.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace orvasim {

class Memory {
public:
    using AreaCode = orva::wire::AreaCode;

    static constexpr int blockCount = 256;
    static constexpr int defaultBlockWords = 2048;
    static constexpr int maxBlockWords = 65535;
    static constexpr std::size_t byteAreaSize = 65536;   // E, A, M: bytes
    static constexpr std::size_t wordAreaWords = 65536;  // T, Z: words

    Memory();

    // Telegram access, in the area's unit (bytes for E/A/M, words for D/X/T/Z);
    // area may be any code a request carries. Return the acknowledgement error
    // byte: 0, 2 (area does not exist) or 3 (area too small).
    std::uint8_t fetch(AreaCode area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                       std::vector<std::uint8_t>& out) const;
    std::uint8_t store(AreaCode area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                       std::span<const std::uint8_t> data);
    // Byte count that a request of this length moves (length, or twice it).
    static std::size_t byteCount(AreaCode area, std::uint16_t length);

    // Direct access by byte offset; throw std::out_of_range / std::invalid_argument.
    void setBlockWords(AreaCode area, int block, int words);
    void writeBytes(AreaCode area, int block, int byteOffset, std::span<const std::uint8_t> bytes);
    // The bits of mask in each byte take those of bytes, the others keep
    // theirs, in one step (a bit written into its byte).
    void mergeBytes(AreaCode area, int block, int byteOffset, std::span<const std::uint8_t> bytes, std::uint8_t mask);
    std::vector<std::uint8_t> readBytes(AreaCode area, int block, int byteOffset, int count) const;
    // The bytes an area holds (a block of 0 words: none).
    int byteSize(AreaCode area, int block) const;

private:
    // The bytes of an area (null when it does not exist); lock held.
    const std::vector<std::uint8_t>* bytesOf(AreaCode area, std::uint8_t block) const;
    std::vector<std::uint8_t>* bytesOf(AreaCode area, std::uint8_t block);
    std::uint8_t locate(AreaCode area, std::uint8_t block, std::uint16_t start, std::uint16_t length,
                        std::size_t& offset, std::size_t& count) const;
    std::vector<std::uint8_t>& directArea(AreaCode area, int block);

    mutable std::mutex mutex;
    std::vector<std::uint8_t> inputs, outputs, flags, timers, counters;
    std::array<std::vector<std::uint8_t>, blockCount> dataBlocks, extendedBlocks;
};

}  // namespace orvasim
